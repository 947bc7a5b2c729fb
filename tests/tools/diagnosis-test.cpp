#include "tools/doctor/Diagnosis.h"

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "DoctorInstallation.h"
#include "api/Trelvo.h"
#include "tools/doctor/DoctorProbe.h"

namespace {

using Internal_Trelvo::SearchStep;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using TrelvoDoctor::Diagnose;
using TrelvoDoctor::Diagnosis;
using TrelvoDoctor::Verdict;
using TrelvoTest::DoctorInstallation;

constexpr char kName[] = "libVeltApi_aarch64.so";

std::vector<std::string> ExportedEntryPoints(const Diagnosis& diagnosis) {
    std::vector<std::string> names;
    for (const auto& entryPoint : diagnosis.implementation->entryPoints) {
        if (entryPoint.exported) names.push_back(entryPoint.name);
    }
    return names;
}

TEST(DiagnosisTest, SampleBesideTheFrontEndIsChosenMappedAndUsable) {
    DoctorInstallation installation;
    const std::string veltPath = installation.root().mkdir("velt");
    installation.environment().set("VELT_PATH", veltPath);
    const std::string sample = installation.installImplementation(installation.library());

    const Diagnosis diagnosis = Diagnose(installation.frontEnd());

    ASSERT_EQ(diagnosis.failure, "");
    EXPECT_EQ(diagnosis.verdict, Verdict::kUsable);
    EXPECT_EQ(diagnosis.libraryDirectory, installation.library());
    EXPECT_EQ(diagnosis.configuration.file, installation.library() + "/Trelvo.conf");
    EXPECT_EQ(diagnosis.configuration.status, ENOENT);
    EXPECT_THAT(diagnosis.configuration.error,
                StartsWith("Trying to open the configuration file for reading: "));
    EXPECT_EQ(diagnosis.configuration.rawVeltApiPath, "$VELT_PATH");
    EXPECT_EQ(diagnosis.configuration.veltApiPath, veltPath);
    EXPECT_TRUE(diagnosis.found);
    EXPECT_EQ(diagnosis.chosen, sample);
    EXPECT_EQ(diagnosis.frontEndChoice, sample);
    ASSERT_TRUE(diagnosis.implementation);
    EXPECT_TRUE(diagnosis.implementation->mappedByFrontEnd);
    EXPECT_EQ(diagnosis.implementation->mappedPath, sample);
    EXPECT_EQ(ExportedEntryPoints(diagnosis).size(), 20u);
    std::vector<std::string> required;
    for (const auto& entryPoint : diagnosis.implementation->entryPoints) {
        if (entryPoint.required) required.push_back(entryPoint.name);
    }
    EXPECT_THAT(required, ::testing::ElementsAre("VELT_Connect", "VELT_ConnectInSameProcess",
                                                 "VELT_GetConnectionStatus", "VELT_Disconnect",
                                                 "VELT_GetAPIVersion", "VELT_GetService",
                                                 "VELT_GetLastErrorMessage"));
    EXPECT_EQ(diagnosis.initialization.result, 0u);
    EXPECT_THAT(diagnosis.warnings, ::testing::IsEmpty());
}

TEST(DiagnosisTest, ListsEveryCandidateInSearchOrderWithWhatEachFound) {
    DoctorInstallation installation;
    const std::string configured = installation.root().mkdir("configured");
    installation.writeConfiguration("veltapipath = " + configured + "\n");
    installation.installImplementation(installation.work());
    const std::string veltPath = installation.root().mkdir("velt");
    installation.installImplementation(veltPath);
    installation.environment().set("VELT_PATH", veltPath);
    const std::string pravik = installation.root().mkdir("pravik");
    installation.installImplementation(pravik);
    const std::string pravikInfo = installation.writeSharedInfo("Pravik", pravik);

    const Diagnosis diagnosis = Diagnose(installation.frontEnd());

    EXPECT_EQ(diagnosis.configuration.status, 0);
    EXPECT_EQ(diagnosis.configuration.rawVeltApiPath, configured);
    struct Expected {
        SearchStep step;
        std::string path;
        bool exists;
    };
    const std::vector<Expected> expected = {
        {SearchStep::kConfiguredDirectory, configured + "/" + kName, false},
        {SearchStep::kBesideLibrary, installation.library() + "/" + kName, false},
        {SearchStep::kCurrentDirectory, std::string("./") + kName, true},
        {SearchStep::kVeltPath, veltPath + "/" + kName, true},
        {SearchStep::kPravik, pravik + "/" + kName, true},
        {SearchStep::kFenra, "", false},
    };
    ASSERT_EQ(diagnosis.candidates.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& report = diagnosis.candidates[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(report.candidate.step, expected[i].step);
        EXPECT_EQ(report.candidate.path, expected[i].path);
        EXPECT_EQ(report.candidate.exists, expected[i].exists);
        EXPECT_TRUE(report.candidate.searched);
        EXPECT_EQ(report.chosen, i == 2);
    }
    EXPECT_EQ(diagnosis.chosen, std::string("./") + kName);
    ASSERT_TRUE(diagnosis.candidates[4].sharedInfo && diagnosis.candidates[5].sharedInfo);
    EXPECT_EQ(diagnosis.candidates[4].sharedInfo->path, pravikInfo);
    EXPECT_TRUE(diagnosis.candidates[4].sharedInfo->exists);
    EXPECT_EQ(diagnosis.candidates[5].sharedInfo->path,
              installation.root().file("home/.fenra/Korvalt/FENRA/Trunwell/sharedinfo.txt"));
    EXPECT_FALSE(diagnosis.candidates[5].sharedInfo->exists);
    EXPECT_FALSE(diagnosis.candidates[0].sharedInfo);
}

TEST(DiagnosisTest, IgnoreDefaultSearchFindsNothingAndShowsWhatItSkipped) {
    DoctorInstallation installation;
    const std::string configured = installation.root().mkdir("configured");
    installation.writeConfiguration("veltapipath=" + configured + "\nignoredefaultsearch = TRUE\n");
    installation.installImplementation(installation.library());

    const Diagnosis diagnosis = Diagnose(installation.frontEnd());

    EXPECT_EQ(diagnosis.verdict, Verdict::kNotFound);
    EXPECT_TRUE(diagnosis.configuration.ignoreDefaultSearch);
    EXPECT_FALSE(diagnosis.found);
    EXPECT_TRUE(diagnosis.candidates[0].candidate.searched);
    EXPECT_FALSE(diagnosis.candidates[1].candidate.searched);
    EXPECT_TRUE(diagnosis.candidates[1].candidate.exists);
    EXPECT_FALSE(diagnosis.candidates[1].chosen);
    EXPECT_EQ(diagnosis.initialization.result, TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
    EXPECT_EQ(diagnosis.initialization.error,
              "Unable to locate a suitable VELT API implementation: " + configured + "/" + kName);
    EXPECT_FALSE(diagnosis.frontEndChoice);
    EXPECT_FALSE(diagnosis.implementation);
}

TEST(DiagnosisTest, ImplementationWithoutARequiredEntryPointIsUnusable) {
    DoctorInstallation installation;
    installation.installImplementation(installation.library(), TRELVO_PARTIAL_IMPLEMENTATION_PATH);

    const Diagnosis diagnosis = Diagnose(installation.frontEnd());

    EXPECT_EQ(diagnosis.verdict, Verdict::kUnusable);
    ASSERT_TRUE(diagnosis.implementation);
    EXPECT_THAT(ExportedEntryPoints(diagnosis),
                ::testing::ElementsAre("VELT_Connect", "VELT_ConnectInSameProcess",
                                       "VELT_ConnectWithURI", "VELT_GetConnectionStatus",
                                       "VELT_Disconnect", "VELT_GetAPIVersion",
                                       "VELT_GetLastErrorMessage"));
    EXPECT_EQ(diagnosis.initialization.result, TRELVO_E_MISSING_ENTRY_POINTS);
    EXPECT_THAT(diagnosis.initialization.error, HasSubstr("'VELT_GetService()'"));
}

TEST(DiagnosisTest, FileThatCannotBeLoadedIsUnusableWithTheLoadersText) {
    DoctorInstallation installation;
    installation.root().write("lib/libVeltApi_aarch64.so", "not a library\n");

    const Diagnosis diagnosis = Diagnose(installation.frontEnd());

    EXPECT_EQ(diagnosis.verdict, Verdict::kUnusable);
    ASSERT_TRUE(diagnosis.implementation);
    EXPECT_FALSE(diagnosis.implementation->loaded);
    EXPECT_THAT(diagnosis.implementation->loadError, HasSubstr(kName));
    EXPECT_EQ(diagnosis.initialization.result, TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
    EXPECT_THAT(diagnosis.initialization.error, StartsWith("Unable to load interface DLL: "));
}

// An empty configured directory gives the bare name: it is tested in the
// current directory, but the loader finds it through the front end's RUNPATH.
TEST(DiagnosisTest, BareNameIsReportedAsTheFileTheLoaderMapped) {
    DoctorInstallation installation;
    installation.environment().unset("TRELVO_DOCTOR_TEST_UNSET");
    installation.writeConfiguration("veltapipath = $TRELVO_DOCTOR_TEST_UNSET\n");
    installation.installImplementation(installation.work(), TRELVO_PARTIAL_IMPLEMENTATION_PATH);
    const std::string sample = installation.installImplementation(installation.library());

    const Diagnosis diagnosis = Diagnose(installation.frontEnd());

    EXPECT_EQ(diagnosis.chosen, kName);
    EXPECT_TRUE(diagnosis.candidates[0].chosen);
    ASSERT_TRUE(diagnosis.implementation);
    EXPECT_TRUE(diagnosis.implementation->mappedByFrontEnd);
    EXPECT_EQ(diagnosis.implementation->mappedPath, sample);
    EXPECT_EQ(diagnosis.verdict, Verdict::kUsable);
    ASSERT_EQ(diagnosis.warnings.size(), 1u);
    EXPECT_THAT(diagnosis.warnings[0], HasSubstr("the loader mapped " + sample));
}

TEST(DiagnosisTest, WarnsWhenOthersCanWriteTheImplementation) {
    DoctorInstallation installation;
    const std::string sample = installation.installImplementation(installation.library());
    chmod(sample.c_str(), 0775);

    const Diagnosis diagnosis = Diagnose(installation.frontEnd());

    ASSERT_EQ(diagnosis.warnings.size(), 1u);
    EXPECT_THAT(diagnosis.warnings[0], HasSubstr(sample + " can be written by users other"));
    EXPECT_THAT(diagnosis.warnings[0], HasSubstr("0775"));
    EXPECT_EQ(diagnosis.verdict, Verdict::kUsable);
}

TEST(DiagnosisTest, WarnsWhenOthersCanWriteTheImplementationsDirectory) {
    DoctorInstallation installation;
    const std::string veltPath = installation.root().mkdir("velt");
    installation.installImplementation(veltPath);
    chmod(veltPath.c_str(), 01777);
    installation.environment().set("VELT_PATH", veltPath);

    const Diagnosis diagnosis = Diagnose(installation.frontEnd());

    ASSERT_EQ(diagnosis.warnings.size(), 1u);
    EXPECT_THAT(diagnosis.warnings[0], HasSubstr("directory " + veltPath + " can be written"));
}

TEST(DiagnosisTest, LeavesTheDebugLogAsItWasAndSaysItWasOn) {
    DoctorInstallation installation;
    installation.installImplementation(installation.library());
    const std::string log = installation.root().write("lib/Trelvo.log", "earlier run\n");
    installation.environment().set("TRELVODEBUG", "1").set("VELTAPIOPTS", "quiet,debugaccess");

    const Diagnosis diagnosis = Diagnose(installation.frontEnd());

    EXPECT_TRUE(diagnosis.debugLogWasOn);
    EXPECT_EQ(diagnosis.logFile, log);
    EXPECT_EQ(TrelvoTest::ReadFile(log), "earlier run\n");
    EXPECT_EQ(getenv("TRELVODEBUG"), nullptr);
    EXPECT_STREQ(getenv("VELTAPIOPTS"), "quiet,");
    EXPECT_EQ(diagnosis.verdict, Verdict::kUsable);
}

TEST(DiagnosisTest, FrontEndWithoutItsCompanionIsNotDiagnosed) {
    TrelvoTest::TestDirectory directory;
    const std::string frontEnd = directory.copy(TRELVO_FRONT_END_PATH, "libTrelvo_aarch64.so");

    const Diagnosis diagnosis = Diagnose(frontEnd);

    EXPECT_EQ(diagnosis.verdict, Verdict::kNotDiagnosed);
    EXPECT_THAT(diagnosis.failure, HasSubstr(directory.file(TrelvoDoctor::kProbeFileName)));
    EXPECT_TRUE(diagnosis.candidates.empty());
}

}  // namespace
