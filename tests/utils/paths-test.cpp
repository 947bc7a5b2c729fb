// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/paths.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using InternalUtils::addextension;
using InternalUtils::appendtail;
using InternalUtils::combinepaths;
using InternalUtils::removeextension;
using InternalUtils::removetail;

struct OneArgument {
    const char* path;
    const char* expected;
};

struct TwoArguments {
    const char* first;
    const char* second;
    const char* expected;
};

void ExpectRows(std::string (*function)(const char*), const std::vector<OneArgument>& rows) {
    for (const auto& row : rows) EXPECT_EQ(function(row.path), row.expected) << row.path;
}

void ExpectRows(std::string (*function)(const char*, const char*),
                const std::vector<TwoArguments>& rows) {
    for (const auto& row : rows) {
        EXPECT_EQ(function(row.first, row.second), row.expected)
            << row.first << " + " << row.second;
    }
}

TEST(PathsTest, RemoveTailFollowsDirname) {
    ExpectRows(removetail, {{"/usr/lib/libfile.so", "/usr/lib"},
                            {"/usr/lib/", "/usr"},
                            {"libfile.so", "."},
                            {nullptr, ""}});
}

TEST(PathsTest, RemoveTailDropsTheLastNamedComponent) {
    ExpectRows(
        removetail,
        {{"/usr/lib//", "/usr"}, {"/usr//lib", "/usr"}, {"relative/dir/file", "relative/dir"}});
}

TEST(PathsTest, RemoveTailKeepsSeparatorsThatOnlyLeadThePath) {
    ExpectRows(removetail,
               {{"/libfile.so", "/"}, {"//libfile.so", "//"}, {"///libfile.so", "/"}, {"/", "/"}});
}

TEST(PathsTest, RemoveTailWithoutSeparatorIsDot) {
    ExpectRows(removetail, {{"libfile.tar.gz", "."}, {"", "."}});
}

TEST(PathsTest, AppendTailAddsOneSeparator) {
    ExpectRows(appendtail, {{"/opt/dir", "libfile.so", "/opt/dir/libfile.so"},
                            {"/opt/dir/", "libfile.so", "/opt/dir/libfile.so"},
                            {nullptr, "libfile.so", "libfile.so"}});
}

TEST(PathsTest, AppendTailSeparatorDependsOnTheLastCharacterOfTheBaseOnly) {
    ExpectRows(appendtail, {{".", "libfile.so", "./libfile.so"},
                            {"/", "libfile.so", "/libfile.so"},
                            {"/opt/dir", "/libfile.so", "/opt/dir//libfile.so"},
                            {"/opt/dir/", "/libfile.so", "/opt/dir//libfile.so"},
                            {"/opt/dir", "", "/opt/dir/"}});
}

TEST(PathsTest, AppendTailToEmptyBaseIsTheTailAlone) {
    ExpectRows(appendtail,
               {{"", "libfile.so", "libfile.so"}, {nullptr, "/libfile.so", "/libfile.so"}});
}

TEST(PathsTest, AppendTailOfNullTailIsTheBase) {
    ExpectRows(appendtail, {{"/opt/dir", nullptr, "/opt/dir"}, {nullptr, nullptr, ""}});
}

TEST(PathsTest, CombinePathsAppendsEachPartInTurn) {
    const char* parts[] = {"Korvalt", "Pravik", "sharedinfo.txt"};
    EXPECT_EQ(combinepaths("/usr/share", parts, 3), "/usr/share/Korvalt/Pravik/sharedinfo.txt");
    EXPECT_EQ(combinepaths("/usr/share/", parts, 1), "/usr/share/Korvalt");
    EXPECT_EQ(combinepaths(nullptr, parts, 2), "Korvalt/Pravik");
}

TEST(PathsTest, CombinePathsWithoutPartsIsTheBase) {
    EXPECT_EQ(combinepaths("/usr/share", nullptr, 0), "/usr/share");
    EXPECT_EQ(combinepaths(nullptr, nullptr, 0), "");
}

TEST(PathsTest, CombinePathsSkipsNullPartsAndReusesTheSeparatorOfAnEmptyOne) {
    const char* parts[] = {nullptr, "a", nullptr, "", "b", nullptr};
    EXPECT_EQ(combinepaths("/base", parts, 6), "/base/a/b");
    const char* trailingEmpty[] = {"a", ""};
    EXPECT_EQ(combinepaths("/base", trailingEmpty, 2), "/base/a/");
}

TEST(PathsTest, RemoveExtensionCutsAtTheLastDotAnywhere) {
    ExpectRows(removeextension, {{"libfile.so", "libfile"},
                                 {"archive.tar.gz", "archive.tar"},
                                 {"/opt/a.d/file", "/opt/a"},
                                 {".profile", ""},
                                 {"libfile.", "libfile"}});
}

TEST(PathsTest, RemoveExtensionWithoutDotIsUnchanged) {
    ExpectRows(removeextension,
               {{"/opt/dir/libfile", "/opt/dir/libfile"}, {"", ""}, {nullptr, ""}});
}

TEST(PathsTest, AddExtensionPutsExactlyOneDotBetweenPathAndExtension) {
    ExpectRows(addextension, {{"libfile", "so", "libfile.so"},
                              {"libfile", ".so", "libfile.so"},
                              {"libfile.", "so", "libfile..so"}});
}

TEST(PathsTest, AddExtensionWithAnEmptySideAddsNoDot) {
    ExpectRows(addextension, {{"libfile", "", "libfile"},
                              {"libfile", nullptr, "libfile"},
                              {"", "so", "so"},
                              {nullptr, "so", "so"},
                              {nullptr, nullptr, ""}});
}

}  // namespace
