// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <sstream>

#include "FakeVelt.h"
#include "TestSupport.h"
#include "api/Trelvo.h"
#include "tools/doctor/Doctor.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using TrelvoDoctor::Diagnosis;
using TrelvoDoctor::RunDoctor;

constexpr char kName[] = "/libVeltApi_aarch64.so";

// The front end and the doctor's companion in lib/, as installed.
class DiagnosisTest : public ::testing::Test, public TrelvoTest::Installation {
protected:
    DiagnosisTest() {
        installFrontEnd();
        root().copy(TRELVO_DOCTOR_PROBE_PATH, std::string("lib/") + TrelvoDoctor::kProbeFileName);
    }

    Diagnosis Diagnose() { return TrelvoDoctor::Diagnose(frontEnd()); }
    // The sample in directory (made if needed); its path.
    std::string SampleIn(const std::string& directory,
                         const std::string& source = TrelvoTest::FakePath("complete")) {
        return installImplementation(root().mkdir(directory), source);
    }

    static std::vector<std::string> Warnings(const Diagnosis& d) { return d["warnings"]; }
};
using ReportTest = DiagnosisTest;
using DoctorCommandTest = DiagnosisTest;

// Every member of the JSON text expected is in diagnosis, with that value.
::testing::AssertionResult Has(const Diagnosis& diagnosis, const char* expected) {
    const Diagnosis flat = diagnosis.flatten(), facts = Diagnosis::parse(expected).flatten();
    for (const auto& [pointer, value] : facts.items()) {
        if (!flat.contains(pointer) || flat[pointer] != value) {
            return ::testing::AssertionFailure() << diagnosis.dump(1) << "\nlacks " << pointer;
        }
    }
    return ::testing::AssertionSuccess();
}

Diagnosis Candidate(const char* step, const Diagnosis& path, bool exists, bool chosen,
                    bool searched = true) {
    Diagnosis candidate = {{"step", step}, {"path", path}, {"exists", exists}};
    candidate.update({{"searched", searched}, {"chosen", chosen}});
    return candidate;
}

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

// The names of the entry points whose flag ("exported", "required") has the value.
std::vector<std::string> EntryPoints(const Diagnosis& diagnosis, const char* flag,
                                     bool value = true) {
    std::vector<std::string> names;
    for (const Diagnosis& entryPoint : diagnosis["implementation"]["entryPoints"]) {
        if (entryPoint[flag] == value) names.push_back(entryPoint["name"]);
    }
    return names;
}

TEST_F(DiagnosisTest, SampleBesideTheFrontEndIsChosenMappedAndUsable) {
    environment().set("VELT_PATH", root().mkdir("velt"));
    const std::string sample = SampleIn("lib");
    const Diagnosis d = Diagnose();
    EXPECT_TRUE(Has(d, R"({"implementation": {"mappedByFrontEnd": true}, "exitStatus": 0})"));
    EXPECT_THAT(Warnings(d), ::testing::IsEmpty());
    EXPECT_EQ(d["libraryDirectory"], library());
    EXPECT_EQ(d["configuration"]["file"], library() + "/Trelvo.conf");
    EXPECT_EQ(d["configuration"]["status"], ENOENT);
    EXPECT_EQ(d["configuration"]["veltapipath"],
              Diagnosis({{"raw", "$VELT_PATH"}, {"resolved", root().file("velt")}}));
    EXPECT_EQ(d["chosen"], sample);
    EXPECT_EQ(d["frontEndChoice"], sample);
    EXPECT_EQ(d["implementation"]["mappedPath"], sample);
    EXPECT_EQ(EntryPoints(d, "exported").size(), 20u);
    EXPECT_THAT(EntryPoints(d, "required"),
                ElementsAre("VELT_Connect", "VELT_ConnectInSameProcess", "VELT_GetConnectionStatus",
                            "VELT_Disconnect", "VELT_GetAPIVersion", "VELT_GetService",
                            "VELT_GetLastErrorMessage"));
}

TEST_F(DiagnosisTest, ListsEveryCandidateInSearchOrderWithWhatEachFound) {
    const std::string configured = root().mkdir("configured");
    writeConfiguration("veltapipath = " + configured + "\n");
    SampleIn("work");
    const std::string veltPath = SampleIn("velt"), pravik = SampleIn("pravik");
    environment().set("VELT_PATH", root().file("velt"));
    const std::string pravikInfo = writeSharedInfo("Pravik", root().file("pravik"));
    const Diagnosis d = Diagnose();
    Diagnosis expected = {Candidate("configuredDirectory", configured + kName, false, false),
                          Candidate("besideLibrary", library() + kName, false, false),
                          Candidate("currentDirectory", std::string(".") + kName, true, true),
                          Candidate("veltPath", veltPath, true, false),
                          Candidate("pravik", pravik, true, false),
                          Candidate("fenra", nullptr, false, false)};
    expected[4]["sharedInfo"] = {{"path", pravikInfo}, {"exists", true}};
    expected[5]["sharedInfo"] = {
        {"path", root().file("home/.fenra/Korvalt/FENRA/Trunwell/sharedinfo.txt")},
        {"exists", false}};
    EXPECT_EQ(d["candidates"], expected);
    EXPECT_EQ(d["configuration"]["veltapipath"]["raw"], configured);
}

TEST_F(DiagnosisTest, IgnoreDefaultSearchFindsNothingAndShowsWhatItSkipped) {
    const std::string configured = root().mkdir("configured");
    writeConfiguration("veltapipath=" + configured + "\nignoredefaultsearch = TRUE\n");
    const std::string beside = SampleIn("lib");
    const Diagnosis d = Diagnose();
    EXPECT_TRUE(Has(d, R"({"configuration": {"ignoredefaultsearch": true}, "found": false,
                           "candidates": [{"searched": true}], "frontEndChoice": null,
                           "implementation": null, "exitStatus": 1})"));
    EXPECT_EQ(d["candidates"][1], Candidate("besideLibrary", beside, true, false, false));
    EXPECT_EQ(d["initialization"]["result"], TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
    EXPECT_EQ(d["initialization"]["error"],
              "Unable to locate a suitable VELT API implementation: " + configured + kName);
}

TEST_F(DiagnosisTest, ImplementationWithoutARequiredEntryPointIsUnusable) {
    SampleIn("lib", TrelvoTest::FakePath("without-required"));
    const Diagnosis d = Diagnose();
    EXPECT_THAT(EntryPoints(d, "exported", false),
                ElementsAre("VELT_Disconnect", "VELT_GetService"));
    EXPECT_EQ(d["initialization"]["result"], TRELVO_E_MISSING_ENTRY_POINTS);
    EXPECT_THAT(d["initialization"]["error"], HasSubstr("'VELT_Disconnect()' 'VELT_GetService()'"));
    EXPECT_EQ(d["exitStatus"], 2);
}

TEST_F(DiagnosisTest, FileThatCannotBeLoadedIsUnusableWithTheLoadersText) {
    root().write("lib/libVeltApi_aarch64.so", "not a library\n");
    const Diagnosis d = Diagnose();
    EXPECT_TRUE(Has(d, R"({"implementation": {"loaded": false}, "exitStatus": 2})"));
    EXPECT_THAT(d["implementation"]["loadError"], HasSubstr(kName));
    EXPECT_EQ(d["initialization"]["result"], TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
    EXPECT_THAT(d["initialization"]["error"],
                ::testing::StartsWith("Unable to load interface DLL: "));
}

// An empty configured directory gives the bare name: it is tested in the
// current directory, but the loader finds it through the front end's RUNPATH.
TEST_F(DiagnosisTest, BareNameIsReportedAsTheFileTheLoaderMapped) {
    environment().unset("TRELVO_DOCTOR_TEST_UNSET");
    writeConfiguration("veltapipath = $TRELVO_DOCTOR_TEST_UNSET\n");
    SampleIn("work", TrelvoTest::FakePath("without-required"));
    const std::string sample = SampleIn("lib");
    const Diagnosis d = Diagnose();
    EXPECT_TRUE(Has(d, R"({"chosen": "libVeltApi_aarch64.so", "exitStatus": 0,
                           "implementation": {"mappedByFrontEnd": true}})"));
    EXPECT_EQ(d["candidates"][0]["chosen"], true);
    EXPECT_EQ(d["implementation"]["mappedPath"], sample);
    EXPECT_THAT(Warnings(d), ElementsAre(HasSubstr("the loader mapped " + sample)));
}

TEST_F(DiagnosisTest, WarnsWhenOthersCanWriteTheImplementation) {
    const std::string sample = SampleIn("lib");
    chmod(sample.c_str(), 0775);
    const Diagnosis d = Diagnose();
    EXPECT_THAT(Warnings(d),
                ElementsAre("the implementation " + sample +
                            " can be written by users other than its owner (mode 0775)"));
    EXPECT_EQ(d["exitStatus"], 0);
}

TEST_F(DiagnosisTest, WarnsWhenOthersCanWriteTheImplementationsDirectory) {
    SampleIn("velt");
    const std::string veltPath = root().file("velt");
    chmod(veltPath.c_str(), 01777);
    environment().set("VELT_PATH", veltPath);
    const Diagnosis d = Diagnose();
    EXPECT_THAT(Warnings(d), ElementsAre(HasSubstr("directory " + veltPath + " can be written")));
}

TEST_F(DiagnosisTest, LeavesTheDebugLogAsItWasAndSaysItWasOn) {
    SampleIn("lib");
    const std::string log = root().write("lib/Trelvo.log", "earlier run\n");
    environment().set("TRELVODEBUG", "1").set("VELTAPIOPTS", "quiet,debugaccess");
    const Diagnosis d = Diagnose();
    EXPECT_EQ(d["debugLog"], Diagnosis({{"wasOn", true}, {"file", log}}));
    EXPECT_EQ(TrelvoTest::ReadFile(log), "earlier run\n");
    EXPECT_EQ(getenv("TRELVODEBUG"), nullptr);
    EXPECT_STREQ(getenv("VELTAPIOPTS"), "quiet,");
    EXPECT_EQ(d["exitStatus"], 0);
}

struct CallTraceCase : TrelvoTest::NamedCase {
    const char* variable;
    const char* file;  // relative to the current directory, %p as the doctor's id
    const char* format;
    const char* problem;
    const char* text;  // the report's line
};

class CallTraceTest : public DiagnosisTest, public ::testing::WithParamInterface<CallTraceCase> {};

// It says what the front end would write, and writes nothing itself.
TEST_P(CallTraceTest, ShowsTheTraceAndWritesNone) {
    const CallTraceCase& c = GetParam();
    SampleIn("lib");
    environment().set("TRELVOTRACE", c.variable);
    const std::string file =
        work() + "/" + std::regex_replace(c.file, std::regex("%p"), std::to_string(getpid()));
    const Diagnosis d = Diagnose();
    EXPECT_EQ(d["callTrace"],
              Diagnosis({{"variable", c.variable},
                         {"file", file},
                         {"format", c.format},
                         {"problem", c.problem != nullptr ? Diagnosis(c.problem) : Diagnosis()}}));
    EXPECT_THAT(Text(d), HasSubstr(std::regex_replace(c.text, std::regex("FILE"), file) + "\n"));
    EXPECT_EQ(getenv("TRELVOTRACE"), nullptr);
    EXPECT_FALSE(TrelvoTest::Exists(file));
}

INSTANTIATE_TEST_SUITE_P(
    Variables, CallTraceTest,
    ::testing::Values(
        CallTraceCase{{"PerProcessText"},
                      "trace-%p.txt",
                      "trace-%p.txt",
                      "text",
                      nullptr,
                      "on, text, to FILE  (%p is each process's id; here this one's)"},
        CallTraceCase{{"MissingDirectory"},
                      "missing/trace.json",
                      "missing/trace.json",
                      "json",
                      "No such file or directory",
                      "cannot be written to FILE: No such file or directory; calls are not "
                      "traced"}),
    TrelvoTest::CaseName());

TEST_F(DiagnosisTest, FrontEndWithoutItsCompanionIsNotDiagnosed) {
    const Diagnosis d =
        TrelvoDoctor::Diagnose(root().copy(TRELVO_FRONT_END_PATH, "bare/libTrelvo_aarch64.so"));
    EXPECT_EQ(d["exitStatus"], 3);
    EXPECT_THAT(d["failure"], HasSubstr(root().file("bare/") + TrelvoDoctor::kProbeFileName));
    EXPECT_FALSE(d.contains("candidates"));
}

TEST_F(ReportTest, JsonCarriesTheFactsOfARealDiagnosis) {
    SampleIn("lib");
    const Diagnosis diagnosis = Diagnose();
    const Diagnosis json = ReadBack(diagnosis);
    EXPECT_EQ(json, diagnosis);  // every member, in order
}

TEST_F(ReportTest, JsonEscapesQuotesBackslashesAndControlCharacters) {
    const Diagnosis diagnosis = {{"frontEnd", "/a \"b\" \\c\n\t\x01/libTrelvo_aarch64.so"},
                                 {"failure", "not UTF-8: \xff"}};
    const Diagnosis json = ReadBack(diagnosis);
    EXPECT_EQ(json["frontEnd"], diagnosis["frontEnd"]);
    EXPECT_EQ(json["failure"], "not UTF-8: \xef\xbf\xbd");
}

TEST_F(ReportTest, FailureReportsOnlyWhatWasLearnt) {
    const Diagnosis diagnosis = TrelvoDoctor::Diagnose(root().file("libTrelvo_aarch64.so"));
    const Diagnosis json = ReadBack(diagnosis);
    EXPECT_TRUE(Has(json, R"({"usable": false, "exitStatus": 3})"));
    EXPECT_THAT(json["failure"], HasSubstr("cannot load the front end: "));
    EXPECT_FALSE(json.contains("candidates"));
    EXPECT_THAT(Text(diagnosis),
                ::testing::ContainsRegex("Cannot diagnose: +cannot load the front"));
}

TEST_F(ReportTest, TextListsCandidatesInOrderAndMarksWhatTheSearchDidNotReach) {
    const std::string configured = root().mkdir("configured");
    writeConfiguration("veltapipath = " + configured + "\n");
    const std::string beside = SampleIn("lib"), veltPath = SampleIn("velt");
    chmod(beside.c_str(), 0775);
    environment().set("VELT_PATH", root().file("velt"));
    const std::string text = Text(Diagnose());
    const size_t lines[] = {
        text.find("  1 configured directory  not found     " + configured + kName + "\n"),
        text.find("  2 beside the library    found         " + beside + "  <- chosen\n"),
        text.find("  3 current directory     not found     ./libVeltApi_aarch64.so  (not reached)"),
        text.find("  4 VELT_PATH             found         " + veltPath + "  (not reached)\n"),
        text.find("  ! the implementation " + beside + " can be written"),
        text.find("\nResult: a usable implementation was found (exit status 0)\n"),
    };
    EXPECT_EQ(std::find(std::begin(lines), std::end(lines), std::string::npos), std::end(lines))
        << text;
    EXPECT_TRUE(std::is_sorted(std::begin(lines), std::end(lines))) << text;
}

TEST_F(DoctorCommandTest, ExitsWithZeroWhenAUsableImplementationIsFound) {
    SampleIn("lib");
    std::ostringstream out, err;
    EXPECT_EQ(RunDoctor({"--library", frontEnd()}, out, err), 0);
    EXPECT_THAT(out.str(), HasSubstr("Result: a usable implementation was found"));
    EXPECT_EQ(err.str(), "");
}

TEST_F(DoctorCommandTest, ExitsWithOneWhenNoImplementationIsFound) {
    std::ostringstream out, err;
    EXPECT_EQ(RunDoctor({"--json", "--library=" + frontEnd()}, out, err), 1);
    EXPECT_TRUE(Has(Diagnosis::parse(out.str()), R"({"usable": false, "exitStatus": 1})"));
}

TEST_F(DoctorCommandTest, MissingFrontEndCannotBeDiagnosed) {
    std::ostringstream out, err;
    EXPECT_EQ(RunDoctor({"--library", root().file("libTrelvo_aarch64.so")}, out, err), 3);
    EXPECT_THAT(out.str(), HasSubstr("Cannot diagnose: "));
}

TEST_F(DoctorCommandTest, ArgumentsNotUnderstoodAreAUsageError) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--bogus"}, {"--library"}, {"extra"}}) {
        std::ostringstream out, err;
        EXPECT_EQ(RunDoctor(arguments, out, err), TrelvoDoctor::kUsageError.code) << arguments[0];
        EXPECT_THAT(err.str(), HasSubstr("Usage: trelvo-doctor"));
        EXPECT_EQ(out.str(), "");
    }
}

}  // namespace
