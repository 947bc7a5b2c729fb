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
        EXPECT_EQ(function(row.first, row.second), row.expected) << row.first << " + " << row.second;
    }
}

TEST(PathsTest, RemoveTailFollowsDirname) {
    EXPECT_EQ(removetail("/usr/lib/libfile.so"), "/usr/lib");
    EXPECT_EQ(removetail("/usr/lib/"), "/usr");
    EXPECT_EQ(removetail("libfile.so"), ".");
    EXPECT_EQ(removetail(nullptr), "");
}

TEST(PathsTest, RemoveTailDropsTheLastNamedComponent) {
    ExpectRows(removetail, {
        {"/usr/lib//", "/usr"},
        {"/usr//lib", "/usr"},
        {"relative/dir/file", "relative/dir"},
    });
}

TEST(PathsTest, RemoveTailKeepsSeparatorsThatOnlyLeadThePath) {
    ExpectRows(removetail, {
        {"/libfile.so", "/"}, {"//libfile.so", "//"}, {"///libfile.so", "/"}, {"/", "/"},
    });
}

TEST(PathsTest, RemoveTailWithoutSeparatorIsDot) {
    EXPECT_EQ(removetail("libfile.tar.gz"), ".");
    EXPECT_EQ(removetail(""), ".");
}

TEST(PathsTest, AppendTailAddsOneSeparator) {
    EXPECT_EQ(appendtail("/opt/dir", "libfile.so"), "/opt/dir/libfile.so");
    EXPECT_EQ(appendtail("/opt/dir/", "libfile.so"), "/opt/dir/libfile.so");
    EXPECT_EQ(appendtail(nullptr, "libfile.so"), "libfile.so");
}

TEST(PathsTest, AppendTailSeparatorDependsOnTheLastCharacterOfTheBaseOnly) {
    ExpectRows(appendtail, {
        {".", "libfile.so", "./libfile.so"},
        {"/", "libfile.so", "/libfile.so"},
        {"/opt/dir", "/libfile.so", "/opt/dir//libfile.so"},
        {"/opt/dir/", "/libfile.so", "/opt/dir//libfile.so"},
        {"/opt/dir", "", "/opt/dir/"},
    });
}

TEST(PathsTest, AppendTailToEmptyBaseIsTheTailAlone) {
    EXPECT_EQ(appendtail("", "libfile.so"), "libfile.so");
    EXPECT_EQ(appendtail(nullptr, "/libfile.so"), "/libfile.so");
}

TEST(PathsTest, AppendTailOfNullTailIsTheBase) {
    EXPECT_EQ(appendtail("/opt/dir", nullptr), "/opt/dir");
    EXPECT_EQ(appendtail(nullptr, nullptr), "");
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
    ExpectRows(removeextension, {
        {"libfile.so", "libfile"},
        {"archive.tar.gz", "archive.tar"},
        {"/opt/a.d/file", "/opt/a"},
        {".profile", ""},
        {"libfile.", "libfile"},
    });
}

TEST(PathsTest, RemoveExtensionWithoutDotIsUnchanged) {
    EXPECT_EQ(removeextension("/opt/dir/libfile"), "/opt/dir/libfile");
    EXPECT_EQ(removeextension(""), "");
    EXPECT_EQ(removeextension(nullptr), "");
}

TEST(PathsTest, AddExtensionPutsExactlyOneDotBetweenPathAndExtension) {
    ExpectRows(addextension, {
        {"libfile", "so", "libfile.so"},
        {"libfile", ".so", "libfile.so"},
        {"libfile.", "so", "libfile..so"},
    });
}

TEST(PathsTest, AddExtensionWithAnEmptySideAddsNoDot) {
    ExpectRows(addextension, {
        {"libfile", "", "libfile"},
        {"libfile", nullptr, "libfile"},
        {"", "so", "so"},
        {nullptr, "so", "so"},
        {nullptr, nullptr, ""},
    });
}

}  // namespace
