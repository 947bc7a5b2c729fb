#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "DoctorInstallation.h"
#include "api/Trelvo.h"
#include "tools/doctor/Doctor.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using TrelvoDoctor::Diagnosis;

constexpr char kName[] = "/libVeltApi_aarch64.so";

class DiagnosisTest : public ::testing::Test {
protected:
    Diagnosis Diagnose() { return TrelvoDoctor::Diagnose(installation.frontEnd()); }
    // A new directory of the installation that holds the sample.
    std::string SampleIn(const std::string& directory) {
        return installation.installImplementation(installation.root().mkdir(directory));
    }

    TrelvoTest::DoctorInstallation installation;
};

// Every member of expected is in diagnosis, with that value (null values
// cannot be expected this way).
::testing::AssertionResult Has(const Diagnosis& diagnosis, const Diagnosis& expected) {
    Diagnosis merged = diagnosis;
    merged.merge_patch(expected);
    if (merged == diagnosis) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << diagnosis.dump(1) << "\nlacks " << expected.dump(1);
}

Diagnosis Candidate(const char* step, const Diagnosis& path, bool exists, bool chosen,
                    bool searched = true) {
    Diagnosis candidate = {{"step", step}, {"path", path}, {"exists", exists}};
    candidate.update({{"searched", searched}, {"chosen", chosen}});
    return candidate;
}

// The names of the entry points for which flag ("exported", "required") is true.
std::vector<std::string> EntryPoints(const Diagnosis& diagnosis, const char* flag) {
    std::vector<std::string> names;
    for (const Diagnosis& entryPoint : diagnosis["implementation"]["entryPoints"]) {
        if (entryPoint[flag]) names.push_back(entryPoint["name"]);
    }
    return names;
}

TEST_F(DiagnosisTest, SampleBesideTheFrontEndIsChosenMappedAndUsable) {
    const std::string veltPath = installation.root().mkdir("velt");
    installation.environment().set("VELT_PATH", veltPath);
    const std::string sample = installation.installImplementation(installation.library());
    const Diagnosis d = Diagnose();

    EXPECT_TRUE(Has(d, {{"libraryDirectory", installation.library()},
                        {"found", true},
                        {"configuration",
                         {{"file", installation.library() + "/Trelvo.conf"},
                          {"status", ENOENT},
                          {"veltapipath", {{"raw", "$VELT_PATH"}, {"resolved", veltPath}}}}},
                        {"chosen", sample},
                        {"frontEndChoice", sample},
                        {"implementation", {{"mappedByFrontEnd", true}, {"mappedPath", sample}}},
                        {"initialization", {{"result", 0}}},
                        {"warnings", Diagnosis::array()},
                        {"exitStatus", 0}}));
    EXPECT_THAT(d["configuration"]["error"], StartsWith("Trying to open the configuration file "));
    EXPECT_EQ(EntryPoints(d, "exported").size(), 20u);
    EXPECT_THAT(EntryPoints(d, "required"),
                ElementsAre("VELT_Connect", "VELT_ConnectInSameProcess", "VELT_GetConnectionStatus",
                            "VELT_Disconnect", "VELT_GetAPIVersion", "VELT_GetService",
                            "VELT_GetLastErrorMessage"));
}

TEST_F(DiagnosisTest, ListsEveryCandidateInSearchOrderWithWhatEachFound) {
    const std::string configured = installation.root().mkdir("configured");
    installation.writeConfiguration("veltapipath = " + configured + "\n");
    installation.installImplementation(installation.work());
    const std::string veltPath = SampleIn("velt");
    installation.environment().set("VELT_PATH", installation.root().file("velt"));
    const std::string pravik = SampleIn("pravik");
    const std::string pravikInfo =
        installation.writeSharedInfo("Pravik", installation.root().file("pravik"));
    const std::string fenraInfo =
        installation.root().file("home/.fenra/Korvalt/FENRA/Trunwell/sharedinfo.txt");
    const Diagnosis d = Diagnose();

    Diagnosis expected = {Candidate("configuredDirectory", configured + kName, false, false),
                          Candidate("besideLibrary", installation.library() + kName, false, false),
                          Candidate("currentDirectory", std::string(".") + kName, true, true),
                          Candidate("veltPath", veltPath, true, false),
                          Candidate("pravik", pravik, true, false),
                          Candidate("fenra", nullptr, false, false)};
    expected[4]["sharedInfo"] = {{"path", pravikInfo}, {"exists", true}};
    expected[5]["sharedInfo"] = {{"path", fenraInfo}, {"exists", false}};
    EXPECT_TRUE(Has(d, {{"configuration", {{"status", 0}, {"veltapipath", {{"raw", configured}}}}},
                        {"candidates", expected}}));
}

TEST_F(DiagnosisTest, IgnoreDefaultSearchFindsNothingAndShowsWhatItSkipped) {
    const std::string configured = installation.root().mkdir("configured");
    installation.writeConfiguration("veltapipath=" + configured + "\nignoredefaultsearch = TRUE\n");
    const std::string beside = installation.installImplementation(installation.library());
    const Diagnosis d = Diagnose();

    EXPECT_EQ(d["candidates"][0]["searched"], true);
    EXPECT_EQ(d["candidates"][1], Candidate("besideLibrary", beside, true, false, false));
    const std::string error =
        "Unable to locate a suitable VELT API implementation: " + configured + kName;
    EXPECT_TRUE(Has(
        d, {{"configuration", {{"ignoredefaultsearch", true}}},
            {"found", false},
            {"initialization", {{"result", TRELVO_E_IMPLEMENTATION_UNAVAILABLE}, {"error", error}}},
            {"exitStatus", 1}}));
    EXPECT_TRUE(d["frontEndChoice"].is_null() && d["implementation"].is_null());
}

TEST_F(DiagnosisTest, ImplementationWithoutARequiredEntryPointIsUnusable) {
    installation.installImplementation(installation.library(), TRELVO_PARTIAL_IMPLEMENTATION_PATH);
    const Diagnosis d = Diagnose();

    EXPECT_THAT(EntryPoints(d, "exported"),
                ElementsAre("VELT_Connect", "VELT_ConnectInSameProcess", "VELT_ConnectWithURI",
                            "VELT_GetConnectionStatus", "VELT_Disconnect", "VELT_GetAPIVersion",
                            "VELT_GetLastErrorMessage"));
    EXPECT_TRUE(Has(
        d, {{"initialization", {{"result", TRELVO_E_MISSING_ENTRY_POINTS}}}, {"exitStatus", 2}}));
    EXPECT_THAT(d["initialization"]["error"], HasSubstr("'VELT_GetService()'"));
}

TEST_F(DiagnosisTest, FileThatCannotBeLoadedIsUnusableWithTheLoadersText) {
    installation.root().write("lib/libVeltApi_aarch64.so", "not a library\n");
    const Diagnosis d = Diagnose();

    EXPECT_TRUE(Has(d, {{"implementation", {{"loaded", false}}},
                        {"initialization", {{"result", TRELVO_E_IMPLEMENTATION_UNAVAILABLE}}},
                        {"exitStatus", 2}}));
    EXPECT_THAT(d["implementation"]["loadError"], HasSubstr(kName));
    EXPECT_THAT(d["initialization"]["error"], StartsWith("Unable to load interface DLL: "));
}

// An empty configured directory gives the bare name: it is tested in the
// current directory, but the loader finds it through the front end's RUNPATH.
TEST_F(DiagnosisTest, BareNameIsReportedAsTheFileTheLoaderMapped) {
    installation.environment().unset("TRELVO_DOCTOR_TEST_UNSET");
    installation.writeConfiguration("veltapipath = $TRELVO_DOCTOR_TEST_UNSET\n");
    installation.installImplementation(installation.work(), TRELVO_PARTIAL_IMPLEMENTATION_PATH);
    const std::string sample = installation.installImplementation(installation.library());
    const Diagnosis d = Diagnose();

    EXPECT_TRUE(Has(d, {{"chosen", kName + 1},
                        {"implementation", {{"mappedByFrontEnd", true}, {"mappedPath", sample}}},
                        {"exitStatus", 0}}));
    EXPECT_EQ(d["candidates"][0]["chosen"], true);
    ASSERT_EQ(d["warnings"].size(), 1u);
    EXPECT_THAT(d["warnings"][0], HasSubstr("the loader mapped " + sample));
}

TEST_F(DiagnosisTest, WarnsWhenOthersCanWriteTheImplementation) {
    const std::string sample = installation.installImplementation(installation.library());
    chmod(sample.c_str(), 0775);
    const Diagnosis d = Diagnose();

    const std::string warning = "the implementation " + sample +
                                " can be written by users other than its owner (mode 0775)";
    EXPECT_TRUE(Has(d, {{"warnings", {warning}}, {"exitStatus", 0}}));
}

TEST_F(DiagnosisTest, WarnsWhenOthersCanWriteTheImplementationsDirectory) {
    SampleIn("velt");
    const std::string veltPath = installation.root().file("velt");
    chmod(veltPath.c_str(), 01777);
    installation.environment().set("VELT_PATH", veltPath);
    const Diagnosis d = Diagnose();

    ASSERT_EQ(d["warnings"].size(), 1u);
    EXPECT_THAT(d["warnings"][0], HasSubstr("directory " + veltPath + " can be written"));
}

TEST_F(DiagnosisTest, LeavesTheDebugLogAsItWasAndSaysItWasOn) {
    installation.installImplementation(installation.library());
    const std::string log = installation.root().write("lib/Trelvo.log", "earlier run\n");
    installation.environment().set("TRELVODEBUG", "1").set("VELTAPIOPTS", "quiet,debugaccess");
    const Diagnosis d = Diagnose();

    EXPECT_TRUE(Has(d, {{"debugLog", {{"wasOn", true}, {"file", log}}}, {"exitStatus", 0}}));
    EXPECT_EQ(TrelvoTest::ReadFile(log), "earlier run\n");
    EXPECT_EQ(getenv("TRELVODEBUG"), nullptr);
    EXPECT_STREQ(getenv("VELTAPIOPTS"), "quiet,");
}

TEST_F(DiagnosisTest, FrontEndWithoutItsCompanionIsNotDiagnosed) {
    TrelvoTest::TestDirectory directory;
    const Diagnosis d =
        TrelvoDoctor::Diagnose(directory.copy(TRELVO_FRONT_END_PATH, "libTrelvo_aarch64.so"));

    EXPECT_EQ(d["exitStatus"], 3);
    EXPECT_THAT(d["failure"], HasSubstr(directory.file(TrelvoDoctor::kProbeFileName)));
    EXPECT_FALSE(d.contains("candidates"));
}

}  // namespace
