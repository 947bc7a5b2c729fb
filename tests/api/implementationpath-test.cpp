// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <cstdio>
#include <string>

#include "FrontEnd.h"
#include "SystemSeams.h"

namespace TrelvoTest {
namespace {

using ImplementationPathTest = FrontEndTest;

TEST_F(ImplementationPathTest, GetterAsFirstCallSearchesTestLoadsAndKeepsThePath) {
    const std::string fake = PlaceFake("complete", library());
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), fake.c_str());
    EXPECT_EQ(FakeVelt_LoadCount(), 1);
    EXPECT_FALSE(IsMapped(fake));
    EXPECT_EQ(CountLogLines(UsingEntry(fake)), 0);

    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_EQ(CountLogLines(UsingEntry(fake)), 1);
    EXPECT_EQ(CountLogLines(kResolvedLine), 1);
    EXPECT_EQ(SystemSeams_ConfigurationOpenCount(), 1);
}

TEST_F(ImplementationPathTest, GetterGivesNullWhileNothingLoadableIsFound) {
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_EQ(api.Trelvo_GetVeltApiImplementationPath(), nullptr);
    root().write(std::string("lib/") + kImplementationName, "not a shared object\n");
    EXPECT_EQ(api.Trelvo_GetVeltApiImplementationPath(), nullptr);
    const std::string fake = PlaceFake("complete", library());
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), fake.c_str());
}

TEST_F(ImplementationPathTest, GetterGivesNullWhenTheConfigurationExhaustsMemory) {
    PlaceFake("complete", library());
    const FrontEndExports& api = LoadFrontEnd();
    SystemSeams_SetConfigurationOpenFails(1);
    EXPECT_EQ(api.Trelvo_GetVeltApiImplementationPath(), nullptr);
    SystemSeams_SetConfigurationOpenFails(0);
    EXPECT_NE(api.Trelvo_GetVeltApiImplementationPath(), nullptr);
    EXPECT_EQ(SystemSeams_ConfigurationOpenCount(), 1);
}

// The setter takes the path as written: no configuration, no search.
TEST_F(ImplementationPathTest, SetPathIsUsedWithoutReadingTheConfiguration) {
    writeConfiguration("veltapipath=" + root().mkdir("configured") + "\n");
    PlaceFake("complete", root().file("configured"));
    const std::string second = PlaceFake("second", root().mkdir("chosen"));
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(second.c_str()), 0u);
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_STREQ(Calls().at(0).variant, "second");
    EXPECT_EQ(CountLogLines(UsingEntry(second)), 1);
    EXPECT_EQ(CountLogLines("Read the following configuration variables:"), 0);
    EXPECT_EQ(SystemSeams_ConfigurationOpenCount(), 0);
}

TEST_F(ImplementationPathTest, GetterReturnsTheSetPathEvenWhenTheFileIsGone) {
    const std::string fake = PlaceFake("complete", root().mkdir("chosen"));
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(fake.c_str()), 0u);
    EXPECT_EQ(FakeVelt_LoadCount(), 1);
    EXPECT_FALSE(IsMapped(fake));
    ASSERT_EQ(std::remove(fake.c_str()), 0);
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), fake.c_str());
}

TEST_F(ImplementationPathTest, NullPathIsRefusedAndChangesNothing) {
    const std::string fake = PlaceFake("complete", root().mkdir("chosen"));
    const FrontEndExports& api = LoadFrontEnd();
    ASSERT_EQ(api.Trelvo_SetVeltApiImplementationPath(fake.c_str()), 0u);
    EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(nullptr), TRELVO_E_NULL_ARGUMENT);
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), fake.c_str());
}

using RejectedPathTest = TableTest<FrontEndTest, const char*>;

// A rejected path is forgotten, also the one known before it.
TEST_P(RejectedPathTest, UnloadablePathIsForgottenAndTheGetterSearchesAfresh) {
    const std::string beside = PlaceFake("complete", library());
    const std::string chosen = PlaceFake("second", root().mkdir("chosen"));
    root().write("garbage", "not a shared object\n");
    const FrontEndExports& api = LoadFrontEnd();
    ASSERT_EQ(api.Trelvo_SetVeltApiImplementationPath(chosen.c_str()), 0u);
    const std::string rejected = *GetParam() == '\0' ? "" : root().file(GetParam());
    EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(rejected.c_str()),
              TRELVO_E_PATH_NOT_LOADABLE);
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), beside.c_str());
}

INSTANTIATE_TEST_SUITE_P(Paths, RejectedPathTest, ::testing::Values("", "missing", "garbage"),
                         [](const auto& info) {
                             const std::string name = info.param;
                             return name.empty() ? std::string("Empty") : name;
                         });

struct Replacement : NamedCase {
    uint32_t status;
    bool replaces;
};

using ReplacementTest = TableTest<FrontEndTest, Replacement>;

// A loaded implementation is replaced only when its status allows it.
TEST_P(ReplacementTest, StatusDecidesWhetherTheLoadedImplementationIsReplaced) {
    const std::string first = PlaceFake("complete", library());
    const std::string second = PlaceFake("second", root().mkdir("chosen"));
    const FrontEndExports& api = LoadFrontEnd();
    ASSERT_EQ(api.VELT_Connect(nullptr), 0u);
    FakeVelt_SetConnectionStatus(GetParam().status);
    EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(second.c_str()), 0u);
    EXPECT_EQ(CallCountOf(FAKE_VELT_GetConnectionStatus), 1);
    EXPECT_EQ(IsMapped(first), !GetParam().replaces);
    const std::string& inUse = GetParam().replaces ? second : first;
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), inUse.c_str());
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_STREQ(Calls().back().variant, GetParam().replaces ? "second" : "complete");
    EXPECT_EQ(CountLogLines(UsingEntry(second)), GetParam().replaces ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Statuses, ReplacementTest,
                         ::testing::Values(Replacement{{"Status0"}, 0, true},
                                           Replacement{{"Status1"}, 1, false},
                                           Replacement{{"Status2"}, 2, false},
                                           Replacement{{"Status3"}, 3, true}),
                         CaseName());

TEST_F(ImplementationPathTest, FailingStatusQueryIsReturnedAndChangesNothing) {
    const std::string first = PlaceFake("complete", library());
    const std::string second = PlaceFake("second", root().mkdir("chosen"));
    const FrontEndExports& api = LoadFrontEnd();
    ASSERT_EQ(api.VELT_Connect(nullptr), 0u);
    FakeVelt_SetResult(FAKE_VELT_GetConnectionStatus, TRELVO_E_PATH_NOT_LOADABLE);
    FakeVelt_SetConnectionStatus(3);
    EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(second.c_str()), TRELVO_E_PATH_NOT_LOADABLE);
    EXPECT_TRUE(IsMapped(first));
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), first.c_str());
}

// A library that failed to bind stays the one bound until it is unloaded;
// only then does a newly set path take effect.
TEST_F(ImplementationPathTest, SetPathTakesEffectAfterAnUnboundLibraryIsUnloaded) {
    PlaceFake("without-required", library());
    const std::string complete = PlaceFake("complete", root().mkdir("chosen"));
    const FrontEndExports& api = LoadFrontEnd();
    ASSERT_EQ(api.VELT_Connect(nullptr), TRELVO_E_MISSING_ENTRY_POINTS);
    EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(complete.c_str()), 0u);
    EXPECT_EQ(api.VELT_Connect(nullptr), TRELVO_E_MISSING_ENTRY_POINTS);
    EXPECT_EQ(api.VELT_Disconnect(), TRELVO_E_NOT_IMPLEMENTED);
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_STREQ(Calls().back().variant, "complete");
}

}  // namespace
}  // namespace TrelvoTest
