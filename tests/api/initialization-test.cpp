// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "FrontEnd.h"
#include "SystemSeams.h"

namespace TrelvoTest {
namespace {

using InitializationTest = FrontEndTest;

// The front end's own text is handed out only after the failure it reports;
// the call that finds it empty initializes instead and returns the
// implementation's text (empty when initialization failed).
TEST_F(InitializationTest, FirstGetLastErrorMessageIsEmptyTheSecondNamesTheFailure) {
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_STREQ(api.VELT_GetLastErrorMessage(0), "");
    const std::string failure = NotFoundError(kCurrentDirectoryCandidate);
    EXPECT_EQ(api.VELT_GetLastErrorMessage(0), failure);
    EXPECT_EQ(api.VELT_GetLastErrorMessage(0), failure);
}

TEST_F(InitializationTest, FailedSearchIsRetriedWithoutProcessingTheConfigurationAgain) {
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_EQ(api.VELT_Connect(nullptr), TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
    const std::string fake = PlaceFake("complete", library());
    FakeVelt_SetResult(FAKE_VELT_Connect, 0x2A);
    FakeVelt_SetErrorMessage("from the implementation");
    EXPECT_EQ(api.VELT_Connect(nullptr), 0x2Au);
    // The failure's text went with the successful call.
    EXPECT_STREQ(api.VELT_GetLastErrorMessage(0), "from the implementation");
    EXPECT_EQ(api.VELT_Connect(nullptr), 0x2Au);
    EXPECT_EQ(CountLogLines(kResolvedLine), 1);
    EXPECT_EQ(CountLogLines(UsingEntry(fake)), 1);
    EXPECT_EQ(FakeVelt_LoadCount(), 1);
}

// Files that the search takes, since they exist, but that the loader refuses.
struct UnloadableCase : NamedCase {
    void (*place)(const std::string& path);
};

using UnloadableImplementationTest = TableTest<FrontEndTest, UnloadableCase>;

TEST_P(UnloadableImplementationTest, FailsWithTheLoadersTextAndIsRefusedAsPath) {
    const std::string path = library() + "/" + kImplementationName;
    GetParam().place(path);
    ASSERT_EQ(dlopen(path.c_str(), RTLD_LAZY), nullptr);
    const std::string loaderText = dlerror();
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_EQ(api.VELT_Connect(nullptr), TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
    EXPECT_EQ(api.VELT_GetLastErrorMessage(0),
              "Unable to load interface DLL: " + path + " : " + loaderText);
    EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(path.c_str()), TRELVO_E_PATH_NOT_LOADABLE);
    EXPECT_EQ(api.Trelvo_GetVeltApiImplementationPath(), nullptr);
    // The path was forgotten: the next call searches, and finds, afresh.
    std::filesystem::remove(path);
    PlaceFake("complete", library());
    EXPECT_EQ(api.VELT_ConnectInSameProcess(nullptr), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnloadableImplementationTest,
    ::testing::Values(
        UnloadableCase{
            {"NotASharedObject"},
            [](const std::string& path) { std::ofstream(path) << "not a shared object\n"; }},
        UnloadableCase{{"ForeignArchitecture"},
                       [](const std::string& path) {
                           TestDirectory::copyFile(TRELVO_FOREIGN_LIBRARY_PATH, path);
                       }},
        UnloadableCase{{"Truncated"},
                       [](const std::string& path) {
                           TestDirectory::copyFile(FakePath("complete"), path);
                           std::filesystem::resize_file(path, 100);
                       }},
        UnloadableCase{{"Empty"}, [](const std::string& path) { std::ofstream{path}; }},
        UnloadableCase{{"Directory"},
                       [](const std::string& path) { std::filesystem::create_directory(path); }}),
    CaseName());

struct Incomplete : NamedCase {
    const char* variant;
    const char* missing;
};

using IncompleteImplementationTest = TableTest<FrontEndTest, Incomplete>;

// The library stays loaded, and every call binds it again, logging it anew.
TEST_P(IncompleteImplementationTest, FailsOnEveryCallNamingTheMissingEntryPoints) {
    const std::string fake = PlaceFake(GetParam().variant, library());
    const FrontEndExports& api = LoadFrontEnd();
    const std::string failure =
        "The following methods were not found in '" + fake + "': " + GetParam().missing;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        EXPECT_EQ(api.VELT_GetAPIVersion(nullptr, nullptr), TRELVO_E_MISSING_ENTRY_POINTS);
        EXPECT_EQ(api.VELT_GetLastErrorMessage(0), failure);
        EXPECT_EQ(CountLogLines(UsingEntry(fake)), attempt);
    }
    EXPECT_EQ(FakeVelt_LoadCount(), 1);
    EXPECT_EQ(FakeVelt_CallCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Variants, IncompleteImplementationTest,
                         ::testing::Values(Incomplete{{"WithoutRequired"},
                                                      "without-required",
                                                      "'VELT_Disconnect()' 'VELT_GetService()'"},
                                           Incomplete{{"WithoutGetLastErrorMessage"},
                                                      "without-get-last-error-message",
                                                      "'VELT_GetLastErrorMessage()'"}),
                         CaseName());

TEST_F(InitializationTest, ExhaustedMemoryInTheConfigurationFailsOnlyThatCall) {
    environment().set("VELT_PATH", root().mkdir("velt"));
    PlaceFake("complete", root().file("velt"));
    const FrontEndExports& api = LoadFrontEnd();
    SystemSeams_SetConfigurationOpenFails(1);
    EXPECT_EQ(api.VELT_Connect(nullptr), TRELVO_E_OUT_OF_MEMORY);
    SystemSeams_SetConfigurationOpenFails(0);
    EXPECT_EQ(FakeVelt_LoadCount(), 0);
    // No text of its own: this call initializes and asks the implementation.
    FakeVelt_SetErrorMessage("from the implementation");
    EXPECT_STREQ(api.VELT_GetLastErrorMessage(0), "from the implementation");
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_EQ(SystemSeams_ConfigurationOpenCount(), 1);
}

}  // namespace
}  // namespace TrelvoTest
