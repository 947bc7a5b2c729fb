// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/files.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "TestSupport.h"

namespace {

using namespace InternalUtils;
using TrelvoTest::Exists;
using TrelvoTest::TestDirectory;

TEST(FilesTest, ExistenceTestsAcceptFilesAndDirectoriesAlike) {
    TestDirectory directory;
    const std::string file = directory.write("file", "");
    for (const auto exists : {direxists, fileexists}) {
        EXPECT_TRUE(exists(file.c_str()));
        EXPECT_TRUE(exists(directory.path().c_str()));
        EXPECT_FALSE(exists(directory.file("missing").c_str()));
        EXPECT_FALSE(exists(nullptr));
    }
}

TEST(FilesTest, CandidateExistsAcceptsRelativePathsInAnOrdinaryProcess) {
    TestDirectory directory;
    directory.write("libfile.so", "");
    TrelvoTest::ScopedCurrentDirectory current(directory.path());
    EXPECT_TRUE(candidateexists("./libfile.so"));
    EXPECT_TRUE(candidateexists(directory.file("libfile.so").c_str()));
    EXPECT_FALSE(candidateexists("./missing.so"));
    EXPECT_FALSE(candidateexists(nullptr));
}

TEST(FilesTest, RemoveFileDeletesFilesAndEmptyDirectories) {
    TestDirectory directory;
    const std::string file = directory.write("file", "content");
    const std::string folder = directory.mkdir("folder");
    EXPECT_EQ(removefile(file.c_str()), 0);
    EXPECT_EQ(removefile(folder.c_str()), 0);
    EXPECT_FALSE(Exists(file));
    EXPECT_FALSE(Exists(folder));
}

TEST(FilesTest, RemoveFileFailureSetsErrno) {
    TestDirectory directory;
    directory.write("full/file", "");
    errno = 0;
    EXPECT_EQ(removefile(nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(removefile(directory.file("missing").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(removefile(directory.file("full").c_str()), -1);
    EXPECT_EQ(errno, ENOTEMPTY);
}

}  // namespace
