// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <string>

#include "FrontEnd.h"

namespace TrelvoTest {
namespace {

// The places searched, in their order, each with the directory it has here.
struct Place : NamedCase {
    const char* directory;
};
const Place kPlaces[] = {{{"Configured"}, "configured"}, {{"BesideLibrary"}, "lib"},
                         {{"CurrentDirectory"}, "work"}, {{"VeltPath"}, "velt"},
                         {{"Pravik"}, "pravik"},         {{"Fenra"}, "fenra"}};

class SearchTest : public FrontEndTest {
protected:
    // Every place has its directory: configured in Trelvo.conf, named by
    // VELT_PATH and by the two products' shared-info files.
    SearchTest() {
        writeConfiguration("veltapipath=" + root().mkdir("configured") + "\n");
        environment().set("VELT_PATH", root().mkdir("velt"));
        writeSharedInfo("Pravik", root().mkdir("pravik"));
        writeSharedInfo("FENRA/Trunwell", root().mkdir("fenra"));
    }

    // The path under which the search reports the file in that directory.
    std::string Candidate(const std::string& directory) const {
        if (directory == "work") return kCurrentDirectoryCandidate;
        return root().file(directory) + "/" + kImplementationName;
    }
};

using SearchOrderTest = TableTest<SearchTest, Place>;

TEST_P(SearchOrderTest, EachPlaceBeatsEveryLaterOne) {
    bool reached = false;
    for (const Place& place : kPlaces) {
        reached = reached || place.directory == GetParam().directory;
        if (reached) PlaceFake("complete", root().file(place.directory));
    }
    const FrontEndExports& api = LoadFrontEnd();
    const std::string expected = Candidate(GetParam().directory);
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), expected.c_str());
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_EQ(CountLogLines(UsingEntry(expected)), 1);
}

INSTANTIATE_TEST_SUITE_P(Places, SearchOrderTest, ::testing::ValuesIn(kPlaces), CaseName());

TEST_F(SearchTest, IgnoreDefaultSearchTriesOnlyTheConfiguredDirectory) {
    writeConfiguration("veltapipath=" + root().file("configured") + "\nignoredefaultsearch=true\n");
    PlaceFake("complete", library());
    PlaceFake("complete", root().file("velt"));
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_EQ(api.VELT_Connect(nullptr), TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
    EXPECT_EQ(api.VELT_GetLastErrorMessage(0), NotFoundError(Candidate("configured")));
}

using UnconfiguredSearchTest = FrontEndTest;

TEST_F(UnconfiguredSearchTest, NothingInstalledNamesTheCurrentDirectoryCandidate) {
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_EQ(api.VELT_SetClientInfo(nullptr, nullptr), TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
    EXPECT_EQ(api.VELT_GetLastErrorMessage(0), NotFoundError(kCurrentDirectoryCandidate));
}

// With no directory configured the bare name is found in the current
// directory, but the loader resolves it by its own rules: through the front
// end's $ORIGIN, beside the front end.
TEST_F(UnconfiguredSearchTest, EmptyConfiguredPathFindsTheBareNameInTheCurrentDirectory) {
    PlaceFake("complete", work());
    PlaceFake("second", library());
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), kImplementationName);
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_STREQ(Calls().at(0).variant, "second");
    EXPECT_EQ(CountLogLines(UsingEntry(kImplementationName)), 1);
}

struct LogSwitch : NamedCase {
    const char* variable;
    const char* suffix;
};

using OversizedEnvironmentTest = TableTest<FrontEndTest, LogSwitch>;

// Values of 64 KiB, far past what a path may be, are read, resolved, searched,
// logged and reported whole, like any other.
TEST_P(OversizedEnvironmentTest, IsSearchedLoggedAndReportedWhole) {
    const std::string huge(64 << 10, 'v');
    const std::string directory = "/" + huge;
    environment()
        .unset("TRELVODEBUG")
        .set(GetParam().variable, huge + GetParam().suffix)
        .set("VELT_PATH", directory)
        .set("HOME", directory)
        .set("TRELVO_TEST_HUGE", directory);
    writeConfiguration("veltapipath = $TRELVO_TEST_HUGE\n");
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_EQ(api.VELT_Connect(nullptr), TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
    EXPECT_EQ(api.VELT_GetLastErrorMessage(0),
              NotFoundError(directory + "/" + kImplementationName));
    EXPECT_EQ(CountLogLines(ResolvedEntry(directory)), 1);

    const std::string fake = PlaceFake("complete", library());
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_EQ(CountLogLines(UsingEntry(fake)), 1);
}

INSTANTIATE_TEST_SUITE_P(Switches, OversizedEnvironmentTest,
                         ::testing::Values(LogSwitch{{"TrelvoDebug"}, "TRELVODEBUG", ""},
                                           LogSwitch{
                                               {"VeltApiOpts"}, "VELTAPIOPTS", "debugaccess"}),
                         CaseName());

}  // namespace
}  // namespace TrelvoTest
