#include "tools/doctor/DoctorCommand.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "DoctorInstallation.h"
#include "JsonValue.h"

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
    const auto json = TrelvoTest::ParseJson(out.str());
    ASSERT_TRUE(json) << out.str();
    EXPECT_EQ((*json)["exitStatus"].number, 1);
    EXPECT_FALSE((*json)["usable"].boolean);
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
        EXPECT_EQ(RunDoctor(arguments, out, err), TrelvoDoctor::kUsageError) << arguments[0];
        EXPECT_THAT(err.str(), HasSubstr("Usage: trelvo-doctor"));
        EXPECT_EQ(out.str(), "");
    }
}

}  // namespace
