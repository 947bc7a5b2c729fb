#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "DoctorInstallation.h"
#include "tools/doctor/Doctor.h"

namespace {

using ::testing::HasSubstr;
using TrelvoDoctor::Diagnosis;

// The JSON report, read back; it must be one line.
Diagnosis ReadBack(const Diagnosis& diagnosis) {
    std::ostringstream out;
    TrelvoDoctor::WriteJsonReport(diagnosis, out);
    EXPECT_EQ(out.str().find('\n'), out.str().size() - 1) << out.str();
    return Diagnosis::parse(out.str(), nullptr, false);
}

std::string Text(const Diagnosis& diagnosis) {
    std::ostringstream out;
    TrelvoDoctor::WriteTextReport(diagnosis, out);
    return out.str();
}

TEST(ReportTest, JsonCarriesTheFactsOfARealDiagnosis) {
    TrelvoTest::DoctorInstallation installation;
    installation.installImplementation(installation.library());
    const Diagnosis diagnosis = TrelvoDoctor::Diagnose(installation.frontEnd());

    const Diagnosis json = ReadBack(diagnosis);

    EXPECT_EQ(json, diagnosis);
    EXPECT_EQ(json.front(), diagnosis["frontEnd"]);
    EXPECT_EQ(json["implementation"]["entryPoints"].size(), 20u);
    EXPECT_EQ(json["usable"], true);
    EXPECT_EQ(json.back(), 0);
}

TEST(ReportTest, JsonEscapesQuotesBackslashesAndControlCharacters) {
    const Diagnosis diagnosis = {{"frontEnd", "/a \"b\" \\c\n\t\x01/libTrelvo_aarch64.so"},
                                 {"failure", "not UTF-8: \xff"}};

    const Diagnosis json = ReadBack(diagnosis);

    EXPECT_EQ(json["frontEnd"], diagnosis["frontEnd"]);
    EXPECT_EQ(json["failure"], "not UTF-8: \xef\xbf\xbd");
}

TEST(ReportTest, FailureReportsOnlyWhatWasLearnt) {
    TrelvoTest::TestDirectory directory;
    const Diagnosis diagnosis = TrelvoDoctor::Diagnose(directory.file("libTrelvo_aarch64.so"));

    const Diagnosis json = ReadBack(diagnosis);

    EXPECT_THAT(json["failure"], HasSubstr("cannot load the front end: "));
    EXPECT_FALSE(json.contains("candidates"));
    EXPECT_EQ(json["usable"], false);
    EXPECT_EQ(json["exitStatus"], 3);
    EXPECT_THAT(Text(diagnosis),
                ::testing::ContainsRegex("Cannot diagnose: +cannot load the front"));
}

TEST(ReportTest, TextListsCandidatesInOrderAndMarksWhatTheSearchDidNotReach) {
    TrelvoTest::DoctorInstallation installation;
    const std::string configured = installation.root().mkdir("configured");
    installation.writeConfiguration("veltapipath = " + configured + "\n");
    const std::string beside = installation.installImplementation(installation.library());
    chmod(beside.c_str(), 0775);
    const std::string veltPath = installation.root().mkdir("velt");
    installation.installImplementation(veltPath);
    installation.environment().set("VELT_PATH", veltPath);

    const std::string text = Text(TrelvoDoctor::Diagnose(installation.frontEnd()));

    const size_t lines[] = {
        text.find("  1 configured directory  not found     " + configured + "/"),
        text.find("  2 beside the library    found         " + beside + "  <- chosen\n"),
        text.find("  3 current directory     not found     ./libVeltApi_aarch64.so  (not reached)"),
        text.find("  4 VELT_PATH             found         " + veltPath +
                  "/libVeltApi_aarch64.so  (not reached)\n"),
        text.find("  ! the implementation " + beside + " can be written"),
        text.find("\nResult: a usable implementation was found (exit status 0)\n"),
    };
    for (size_t i = 0; i < std::size(lines); ++i) {
        ASSERT_NE(lines[i], std::string::npos) << i << '\n' << text;
        if (i > 0) {
            EXPECT_LT(lines[i - 1], lines[i]);
        }
    }
}

}  // namespace
