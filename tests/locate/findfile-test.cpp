// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "locate/findfile.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "ModuleProbe.h"

namespace {

using InternalUtils::findfiles;
using TrelvoTest::ModuleProbe;
using TrelvoTest::TestDirectory;
using Paths = std::vector<std::string>;

const std::string kModule = TrelvoTest::kImplementationName;

// findmodule of a probe copy in library(), run from work().
class FindModuleTest : public testing::Test, public TrelvoTest::Installation {
protected:
    // What findmodule returns, and the path it leaves in place of path.
    std::pair<bool, std::string> findmodule(std::string path = "") {
        const bool found = m_probe->findmodule(kModule, path);
        return {found, path};
    }

    ModuleProbe m_probe{library()};
};

TEST_F(FindModuleTest, FileBesideTheLibraryWinsOverTheCurrentDirectory) {
    const std::string beside = root().write("lib/" + kModule, "");
    root().write("work/" + kModule, "");
    EXPECT_EQ(findmodule(), std::pair(true, beside));
}

TEST_F(FindModuleTest, FileOnlyInTheCurrentDirectoryIsFoundRelativeToIt) {
    root().write("work/" + kModule, "");
    EXPECT_EQ(findmodule(), std::pair(true, "./" + kModule));
}

TEST_F(FindModuleTest, FileInNeitherPlaceLeavesTheLastCandidate) {
    EXPECT_EQ(findmodule("stale"), std::pair(false, "./" + kModule));
}

TEST(FindFilesTest, MissingDirectoryOrNoMatchGivesNothing) {
    TestDirectory directory;
    directory.write("libfile.txt", "");
    EXPECT_EQ(findfiles(directory.file("missing"), "*"), Paths());
    EXPECT_EQ(findfiles(directory.path(), "*.so"), Paths());
}

TEST(FindFilesTest, MatchesComeSortedAsFullPathsWhateverTheirType) {
    TestDirectory directory;
    for (const char* name : {"c.so", "a.so", "b.txt"}) directory.write(name, "");
    directory.mkdir("b.so");
    const std::string& base = directory.path();
    EXPECT_EQ(findfiles(base, "*.so"), Paths({base + "/a.so", base + "/b.so", base + "/c.so"}));
    EXPECT_EQ(findfiles(base + "/", "a.so"), Paths({base + "/a.so"}));
}

TEST(FindFilesTest, WildcardMatchesTheDotEntries) {
    TestDirectory directory;
    directory.write(".hidden", "");
    const std::string& base = directory.path();
    EXPECT_EQ(findfiles(base, "*"), Paths({base + "/.", base + "/..", base + "/.hidden"}));
}

// The pattern is shared by every call while a scan runs; each call must still
// see only its own.
TEST(FindFilesTest, ConcurrentCallsEachGetTheirOwnPatternsMatches) {
    TestDirectory directory;
    Paths first;
    Paths second;
    for (int i = 0; i < 100; ++i) {
        first.push_back(directory.write("file" + std::to_string(100 + i) + ".first", ""));
        second.push_back(directory.write("file" + std::to_string(100 + i) + ".second", ""));
    }
    const auto scanRepeatedly = [&directory](const char* pattern, const Paths& expected) {
        for (int round = 0; round < 200; ++round) {
            ASSERT_EQ(findfiles(directory.path(), pattern), expected) << "round " << round;
        }
    };
    std::thread other(scanRepeatedly, "*.second", std::cref(second));
    scanRepeatedly("*.first", first);
    other.join();
}

}  // namespace
