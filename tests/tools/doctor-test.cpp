// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
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

const std::string kName = std::string("/") + TrelvoTest::kImplementationName;

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
    // The JSON text with $ROOT standing for the test's directory and $NAME for
    // the implementation's file name.
    Diagnosis Expected(const std::string& text) const {
        const std::string rooted = std::regex_replace(text, std::regex("\\$ROOT"), root().path());
        return Diagnosis::parse(
            std::regex_replace(rooted, std::regex("\\$NAME"), TrelvoTest::kImplementationName));
    }

    // Every member of the expected diagnosis (as Expected reads it) is in
    // diagnosis, with that value; an empty array or object expects one that is
    // empty.
    ::testing::AssertionResult Has(const Diagnosis& diagnosis, const std::string& expected) const {
        const Diagnosis flat = diagnosis.flatten(), facts = Expected(expected).flatten();
        for (const auto& [pointer, value] : facts.items()) {
            if (!flat.contains(pointer) || flat[pointer] != value) {
                return ::testing::AssertionFailure() << diagnosis.dump(1) << "\nlacks " << pointer;
            }
        }
        return ::testing::AssertionSuccess();
    }

    // Runs the command; its exit status, with what it wrote in out and err.
    int Doctor(const std::vector<std::string>& arguments,
               const std::string& programDirectory = "") {
        out.str(""), err.str("");
        return TrelvoDoctor::RunDoctor(arguments, programDirectory, out, err);
    }
    std::ostringstream out, err;

    static std::vector<std::string> Warnings(const Diagnosis& d) { return d["warnings"]; }
};
using ReportTest = DiagnosisTest;
using DoctorCommandTest = DiagnosisTest;

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
    SampleIn("lib");
    const Diagnosis d = Diagnose();
    EXPECT_TRUE(Has(d, R"({"libraryDirectory": "$ROOT/lib",
        "configuration": {"file": "$ROOT/lib/Trelvo.conf", "read": false,
                          "veltapipath": {"raw": "$VELT_PATH", "resolved": "$ROOT/velt"}},
        "chosen": "$ROOT/lib/$NAME", "frontEndChoice": "$ROOT/lib/$NAME",
        "implementation": {"mappedByFrontEnd": true, "mappedPath": "$ROOT/lib/$NAME"},
        "warnings": [], "exitStatus": 0})"));
    EXPECT_EQ(d["configuration"]["status"], ENOENT);
    EXPECT_EQ(EntryPoints(d, "exported").size(), 20u);
    EXPECT_THAT(EntryPoints(d, "required"),
                ElementsAre("VELT_Connect", "VELT_ConnectInSameProcess", "VELT_GetConnectionStatus",
                            "VELT_Disconnect", "VELT_GetAPIVersion", "VELT_GetService",
                            "VELT_GetLastErrorMessage"));
}

TEST_F(DiagnosisTest, ListsEveryCandidateInSearchOrderWithWhatEachFound) {
    writeConfiguration("veltapipath = " + root().mkdir("configured") + "\n");
    for (const char* directory : {"work", "velt", "pravik"}) SampleIn(directory);
    environment().set("VELT_PATH", root().file("velt"));
    writeSharedInfo("Pravik", root().file("pravik"));
    const Diagnosis d = Diagnose();
    EXPECT_EQ(d["candidates"], Expected(R"([
        {"step": "configuredDirectory", "path": "$ROOT/configured/$NAME",
         "exists": false, "searched": true, "chosen": false},
        {"step": "besideLibrary", "path": "$ROOT/lib/$NAME",
         "exists": false, "searched": true, "chosen": false},
        {"step": "currentDirectory", "path": "./$NAME", "exists": true, "searched": true,
         "chosen": true},
        {"step": "veltPath", "path": "$ROOT/velt/$NAME", "exists": true, "searched": true,
         "chosen": false},
        {"step": "pravik", "path": "$ROOT/pravik/$NAME", "exists": true, "searched": true,
         "chosen": false, "sharedInfo": {
          "path": "$ROOT/home/.fenra/Korvalt/Pravik/sharedinfo.txt", "exists": true}},
        {"step": "fenra", "path": null, "exists": false, "searched": true, "chosen": false,
         "sharedInfo": {
          "path": "$ROOT/home/.fenra/Korvalt/FENRA/Trunwell/sharedinfo.txt", "exists": false}}])"));
    EXPECT_EQ(d["configuration"]["veltapipath"]["raw"], root().file("configured"));
}

TEST_F(DiagnosisTest, IgnoreDefaultSearchFindsNothingAndShowsWhatItSkipped) {
    writeConfiguration("veltapipath=" + root().mkdir("configured") +
                       "\nignoredefaultsearch = TRUE\n");
    SampleIn("lib");
    const Diagnosis d = Diagnose();
    EXPECT_TRUE(Has(d, R"({"configuration": {"ignoredefaultsearch": true},
        "found": false, "frontEndChoice": null, "implementation": null, "exitStatus": 1,
        "candidates": [{"searched": true}, {"step": "besideLibrary", "path": "$ROOT/lib/$NAME",
                                            "exists": true, "searched": false, "chosen": false}],
        "initialization": {"error":
            "Unable to locate a suitable VELT API implementation: $ROOT/configured/$NAME"}})"));
    EXPECT_EQ(d["initialization"]["result"], TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
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
    root().write("lib" + kName, "not a library\n");
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
    EXPECT_TRUE(Has(d, R"({"candidates": [{"chosen": true}], "chosen": "$NAME",
        "implementation": {"mappedByFrontEnd": true, "mappedPath": "$ROOT/lib/$NAME"},
        "exitStatus": 0})"));
    EXPECT_THAT(Warnings(d), ElementsAre(HasSubstr("the loader mapped " + sample)));
}

TEST_F(DiagnosisTest, WarnsWhenOthersCanWriteTheImplementation) {
    chmod(SampleIn("lib").c_str(), 0775);
    EXPECT_TRUE(Has(Diagnose(), R"j({"exitStatus": 0, "warnings": [
    "the implementation $ROOT/lib/$NAME can be written by users other than its owner (mode 0775)"
        ]})j"));
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
    EXPECT_TRUE(Has(Diagnose(), R"({"debugLog": {"wasOn": true,
        "file": "$ROOT/lib/Trelvo.log"}, "exitStatus": 0})"));
    EXPECT_EQ(TrelvoTest::ReadFile(log), "earlier run\n");
    EXPECT_EQ(getenv("TRELVODEBUG"), nullptr);
    EXPECT_STREQ(getenv("VELTAPIOPTS"), "quiet,");
}

struct CallTraceCase : TrelvoTest::NamedCase {
    const char* variable;
    const char* file;  // a relative one to the current directory, %p as the doctor's id
    const char* format;
    const char* problem;
    const char* text;  // the report's line
};

using CallTraceTest = TrelvoTest::TableTest<DiagnosisTest, CallTraceCase>;

// It says what the front end would write, or why it would refuse it, and
// opens nothing itself.
TEST_P(CallTraceTest, ShowsTheTraceAndWritesNone) {
    const CallTraceCase& c = GetParam();
    SampleIn("lib");
    environment().set("TRELVOTRACE", c.variable);
    const std::string file = (c.file[0] == '/' ? "" : work() + "/") +
                             std::regex_replace(c.file, std::regex("%p"), std::to_string(getpid()));
    const Diagnosis d = Diagnose();
    EXPECT_EQ(d["callTrace"],
              Diagnosis({{"variable", c.variable},
                         {"file", file},
                         {"format", c.format},
                         {"problem", c.problem != nullptr ? Diagnosis(c.problem) : Diagnosis()}}));
    EXPECT_THAT(Text(d), HasSubstr(std::regex_replace(c.text, std::regex("FILE"), file) + "\n"));
    EXPECT_EQ(getenv("TRELVOTRACE"), nullptr);
    EXPECT_EQ(TrelvoTest::Exists(file), c.file[0] == '/');
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
                      "refused: FILE: No such file or directory; calls are not traced"},
        CallTraceCase{{"NotATerminal"},
                      "/dev/null",
                      "/dev/null",
                      "text",
                      "it is not a terminal",
                      "refused: FILE: it is not a terminal; calls are not traced"}),
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
    EXPECT_EQ(ReadBack(diagnosis), diagnosis);  // every member, in order
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
        text.find("  3 current directory     not found     ." + kName + "  (not reached)"),
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
    EXPECT_EQ(Doctor({"--library", frontEnd()}), 0);
    EXPECT_THAT(out.str(), HasSubstr("Result: a usable implementation was found"));
    EXPECT_EQ(err.str(), "");
}

TEST_F(DoctorCommandTest, ExitsWithOneWhenNoImplementationIsFound) {
    EXPECT_EQ(Doctor({"--json", "--library=" + frontEnd()}), 1);
    EXPECT_TRUE(Has(Diagnosis::parse(out.str()), R"({"usable": false, "exitStatus": 1})"));
}

TEST_F(DoctorCommandTest, MissingFrontEndCannotBeDiagnosed) {
    EXPECT_EQ(Doctor({"--library", root().file("libTrelvo_aarch64.so")}), 3);
    EXPECT_THAT(out.str(), HasSubstr("Cannot diagnose: "));
}

// Without /proc: the path it was executed by, then argv[0] if it is a path,
// followed through links; a bare argv[0] is a name looked up in PATH.
TEST_F(DoctorCommandTest, FindsItsOwnDirectoryWithoutProc) {
    const std::string program = root().write("bin/trelvo-doctor", ""),
                      link = root().mkdir("links") + "/trelvo-doctor",
                      noProc = root().file("proc/self/exe");
    ASSERT_EQ(symlink(program.c_str(), link.c_str()), 0);
    root().write("work/trelvo-doctor", "");
    const std::string bin = std::filesystem::canonical(root().file("bin")).string();
    const struct {
        const char *selfLink, *executedPath, *invokedAs;
        std::string directory;
    } rows[] = {
        {program.c_str(), nullptr, nullptr, bin},
        {noProc.c_str(), link.c_str(), "trelvo-doctor", bin},
        {noProc.c_str(), nullptr, "../links/trelvo-doctor", bin},
        {noProc.c_str(), noProc.c_str(), "trelvo-doctor", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TrelvoDoctor::ProgramDirectory(row.selfLink, row.executedPath, row.invokedAs),
                  row.directory)
            << "row " << &row - rows;
    }
    EXPECT_EQ(Doctor({}), 3);
    EXPECT_THAT(err.str(), HasSubstr("cannot tell which directory this program lies in"));
    EXPECT_THAT(err.str(), HasSubstr("--library PATH"));
}

TEST_F(DoctorCommandTest, ArgumentsNotUnderstoodAreAUsageError) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--bogus"}, {"--library"}, {"extra"}}) {
        EXPECT_EQ(Doctor(arguments), TrelvoDoctor::kUsageError.code) << arguments[0];
        EXPECT_THAT(err.str(), HasSubstr("Usage: trelvo-doctor"));
        EXPECT_EQ(out.str(), "");
    }
}

}  // namespace
