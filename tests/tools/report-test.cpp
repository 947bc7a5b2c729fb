#include "tools/doctor/Report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "DoctorInstallation.h"
#include "JsonValue.h"

namespace {

using Internal_Trelvo::SearchCandidate;
using Internal_Trelvo::SearchStep;
using ::testing::HasSubstr;
using TrelvoDoctor::Diagnosis;
using TrelvoTest::JsonValue;

JsonValue ParsedJson(const Diagnosis& diagnosis) {
    std::ostringstream out;
    TrelvoDoctor::WriteJsonReport(diagnosis, out);
    const std::optional<JsonValue> json = TrelvoTest::ParseJson(out.str());
    EXPECT_TRUE(json) << out.str();
    return json.value_or(JsonValue());
}

std::string Text(const Diagnosis& diagnosis) {
    std::ostringstream out;
    TrelvoDoctor::WriteTextReport(diagnosis, out);
    return out.str();
}

// Two candidates found, the first chosen, after the library's search.
Diagnosis TwoFoundCandidates() {
    Diagnosis diagnosis;
    diagnosis.frontEnd = "/opt/lib/libTrelvo_aarch64.so";
    diagnosis.found = true;
    diagnosis.chosen = "/opt/lib/libVeltApi_aarch64.so";
    diagnosis.candidates = {
        {{SearchStep::kConfiguredDirectory, "/etc/velt/libVeltApi_aarch64.so"}, std::nullopt, false},
        {{SearchStep::kBesideLibrary, diagnosis.chosen, true}, std::nullopt, true},
        {{SearchStep::kVeltPath, "/velt/libVeltApi_aarch64.so", true}, std::nullopt, false},
    };
    diagnosis.warnings = {"the implementation is writable"};
    diagnosis.verdict = TrelvoDoctor::Verdict::kUsable;
    return diagnosis;
}

TEST(ReportTest, JsonCarriesTheFactsOfARealDiagnosis) {
    TrelvoTest::DoctorInstallation installation;
    installation.installImplementation(installation.library());
    const std::string veltPath = installation.root().mkdir("velt");
    installation.installImplementation(veltPath);
    installation.environment().set("VELT_PATH", veltPath);
    const Diagnosis diagnosis = TrelvoDoctor::Diagnose(installation.frontEnd());

    const JsonValue json = ParsedJson(diagnosis);

    EXPECT_EQ(json["frontEnd"].string, diagnosis.frontEnd);
    EXPECT_EQ(json["configuration"]["file"].string, diagnosis.configuration.file);
    EXPECT_FALSE(json["configuration"]["read"].boolean);
    EXPECT_EQ(json["configuration"]["error"].string, diagnosis.configuration.error);
    EXPECT_EQ(json["configuration"]["veltapipath"]["raw"].string, "$VELT_PATH");
    EXPECT_EQ(json["configuration"]["veltapipath"]["resolved"].string, veltPath);
    ASSERT_EQ(json["candidates"].elements.size(), diagnosis.candidates.size());
    for (size_t i = 0; i < diagnosis.candidates.size(); ++i) {
        const auto& report = diagnosis.candidates[i];
        const JsonValue& candidate = json["candidates"][i];
        SCOPED_TRACE(i);
        EXPECT_EQ(candidate["step"].string, TrelvoDoctor::StepName(report.candidate.step));
        EXPECT_EQ(candidate["path"].string, report.candidate.path);
        EXPECT_EQ(candidate["path"].isNull(), report.candidate.path.empty());
        EXPECT_EQ(candidate["exists"].boolean, report.candidate.exists);
        EXPECT_EQ(candidate["chosen"].boolean, report.chosen);
        EXPECT_EQ(candidate.has("sharedInfo"), report.sharedInfo.has_value());
    }
    EXPECT_EQ(json["chosen"].string, diagnosis.chosen);
    EXPECT_EQ(json["implementation"]["mappedPath"].string, diagnosis.implementation->mappedPath);
    ASSERT_EQ(json["implementation"]["entryPoints"].elements.size(), 20u);
    EXPECT_EQ(json["implementation"]["entryPoints"][19]["name"].string, "VELT_GetLastErrorMessage");
    EXPECT_TRUE(json["implementation"]["entryPoints"][19]["required"].boolean);
    EXPECT_EQ(json["initialization"]["result"].number, 0);
    EXPECT_TRUE(json["usable"].boolean);
    EXPECT_EQ(json["exitStatus"].number, 0);
}

TEST(ReportTest, JsonEscapesQuotesBackslashesAndControlCharacters) {
    Diagnosis diagnosis;
    diagnosis.frontEnd = "/a \"b\" \\c\n\t\x01/libTrelvo_aarch64.so";
    diagnosis.failure = "cannot load";

    const JsonValue json = ParsedJson(diagnosis);

    EXPECT_EQ(json["frontEnd"].string, diagnosis.frontEnd);
}

TEST(ReportTest, FailureReportsOnlyWhatWasLearnt) {
    Diagnosis diagnosis;
    diagnosis.frontEnd = "/opt/lib/libTrelvo_aarch64.so";
    diagnosis.failure = "no companion library beside the front end";

    const JsonValue json = ParsedJson(diagnosis);

    EXPECT_EQ(json["failure"].string, diagnosis.failure);
    EXPECT_FALSE(json.has("candidates"));
    EXPECT_FALSE(json["usable"].boolean);
    EXPECT_EQ(json["exitStatus"].number, 3);
    EXPECT_THAT(Text(diagnosis), ::testing::ContainsRegex("Cannot diagnose: +no companion library"));
}

TEST(ReportTest, TextListsCandidatesInOrderAndMarksWhatTheSearchDidNotReach) {
    const std::string text = Text(TwoFoundCandidates());

    const size_t configured = text.find("1 configured directory  not found     /etc/velt/");
    const size_t beside = text.find("2 beside the library    found         /opt/lib/"
                                    "libVeltApi_aarch64.so  <- chosen\n");
    const size_t veltPath = text.find("3 VELT_PATH             found         "
                                      "/velt/libVeltApi_aarch64.so  (not reached)\n");
    ASSERT_NE(configured, std::string::npos) << text;
    ASSERT_NE(beside, std::string::npos) << text;
    ASSERT_NE(veltPath, std::string::npos) << text;
    EXPECT_LT(configured, beside);
    EXPECT_LT(beside, veltPath);
    EXPECT_THAT(text, HasSubstr("  ! the implementation is writable\n"));
    EXPECT_THAT(text, HasSubstr("Result: a usable implementation was found (exit status 0)"));
}

}  // namespace
