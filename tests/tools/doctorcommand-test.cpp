#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "DoctorInstallation.h"
#include "tools/doctor/Doctor.h"

namespace {

using ::testing::HasSubstr;
using TrelvoDoctor::RunDoctor;

TEST(DoctorCommandTest, ExitsWithZeroWhenAUsableImplementationIsFound) {
    TrelvoTest::DoctorInstallation installation;
    installation.installImplementation(installation.library());
    std::ostringstream out, err;

    EXPECT_EQ(RunDoctor({"--library", installation.frontEnd()}, out, err), 0);
    EXPECT_THAT(out.str(), HasSubstr("Result: a usable implementation was found"));
    EXPECT_EQ(err.str(), "");
}

TEST(DoctorCommandTest, ExitsWithOneWhenNoImplementationIsFound) {
    TrelvoTest::DoctorInstallation installation;
    std::ostringstream out, err;

    EXPECT_EQ(RunDoctor({"--json", "--library=" + installation.frontEnd()}, out, err), 1);
    const auto json = nlohmann::json::parse(out.str(), nullptr, false);
    EXPECT_EQ(json["exitStatus"], 1) << out.str();
    EXPECT_EQ(json["usable"], false);
}

TEST(DoctorCommandTest, MissingFrontEndCannotBeDiagnosed) {
    TrelvoTest::TestDirectory directory;
    std::ostringstream out, err;

    EXPECT_EQ(RunDoctor({"--library", directory.file("libTrelvo_aarch64.so")}, out, err), 3);
    EXPECT_THAT(out.str(), HasSubstr("Cannot diagnose: "));
}

TEST(DoctorCommandTest, ArgumentsNotUnderstoodAreAUsageError) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--bogus"}, {"--library"}, {"extra"}}) {
        std::ostringstream out, err;
        EXPECT_EQ(RunDoctor(arguments, out, err), TrelvoDoctor::kUsageError.code) << arguments[0];
        EXPECT_THAT(err.str(), HasSubstr("Usage: trelvo-doctor"));
        EXPECT_EQ(out.str(), "");
    }
}

}  // namespace
