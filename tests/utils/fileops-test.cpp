// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/fileops.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "TestSupport.h"

namespace {

using namespace InternalUtils;
using TrelvoTest::ReadFile;
using TrelvoTest::TestDirectory;

// An address no stream has, to tell whether a function wrote the stream slot.
int notAStream;
FILE* const kUntouched = reinterpret_cast<FILE*>(&notAStream);

// An open stream, closed at the end of the test; fails the test if it cannot
// be opened.
UniqueFile Open(const std::string& path, const char* mode) {
    FILE* stream = nullptr;
    EXPECT_EQ(openfile(&stream, path.c_str(), mode), 0) << path;
    return UniqueFile(stream);
}

class FileopsTest : public ::testing::Test {
protected:
    TestDirectory m_directory;
};

TEST_F(FileopsTest, NullArgumentsAreInvalidAndLeaveTheStreamSlotAlone) {
    const std::string path = m_directory.write("file", "content");
    for (const auto open : {openfile, openfile_unbuffered}) {
        FILE* stream = kUntouched;
        EXPECT_EQ(open(nullptr, path.c_str(), "r"), EINVAL);
        EXPECT_EQ(open(&stream, nullptr, "r"), EINVAL);
        EXPECT_EQ(open(&stream, path.c_str(), nullptr), EINVAL);
        EXPECT_EQ(stream, kUntouched);
    }
    EXPECT_EQ(closefile(nullptr), EINVAL);
    EXPECT_EQ(flushfile(nullptr), EINVAL);
}

TEST_F(FileopsTest, NullBufferStreamOrCapacityIsInvalid) {
    const UniqueFile file = Open(m_directory.write("file", "content"), "r+");
    char buffer[8] = {};
    long size = -1;
    EXPECT_EQ(getfilesize(nullptr, &size), EINVAL);
    EXPECT_EQ(getfilesize(file.get(), nullptr), EINVAL);
    EXPECT_EQ(size, -1);
    EXPECT_EQ(writefile(nullptr, 1, 1, file.get()), EINVAL);
    EXPECT_EQ(writefile(buffer, 1, 1, nullptr), EINVAL);
    EXPECT_EQ(readfile(nullptr, 1, 1, file.get()), EINVAL);
    EXPECT_EQ(readfile(buffer, 1, 1, nullptr), EINVAL);
    EXPECT_EQ(readline(nullptr, sizeof buffer, file.get()), EINVAL);
    EXPECT_EQ(readline(buffer, sizeof buffer, nullptr), EINVAL);
    EXPECT_EQ(readline(buffer, 0, file.get()), EINVAL);
}

TEST_F(FileopsTest, OpeningAMissingFileIsENOENTWithANullStream) {
    const std::string missing = m_directory.file("missing");
    for (const auto open : {openfile, openfile_unbuffered}) {
        FILE* stream = kUntouched;
        EXPECT_EQ(open(&stream, missing.c_str(), "r"), ENOENT);
        EXPECT_EQ(stream, nullptr);
    }
}

TEST_F(FileopsTest, BufferedWritesAppearOnFlushUnbufferedOnesAtOnce) {
    const std::string buffered = m_directory.file("buffered");
    const UniqueFile file = Open(buffered, "w");
    ASSERT_EQ(writefile("abc", 1, 3, file.get()), 0);
    EXPECT_EQ(ReadFile(buffered), "");
    EXPECT_EQ(flushfile(file.get()), 0);
    EXPECT_EQ(ReadFile(buffered), "abc");

    const std::string unbuffered = m_directory.file("unbuffered");
    FILE* stream = nullptr;
    ASSERT_EQ(openfile_unbuffered(&stream, unbuffered.c_str(), "w"), 0);
    EXPECT_EQ(writefile("abc", 1, 3, stream), 0);
    EXPECT_EQ(ReadFile(unbuffered), "abc");
    EXPECT_EQ(closefile(stream), 0);
}

TEST_F(FileopsTest, ReadlineReturnsALongLineInPiecesWithTheNewlineLast) {
    const UniqueFile file = Open(m_directory.write("lines", "abcdefgh\nxy"), "r");
    char buffer[4];
    for (const char* piece : {"abc", "def", "gh\n", "xy"}) {
        ASSERT_EQ(readline(buffer, sizeof buffer, file.get()), 0);
        EXPECT_STREQ(buffer, piece);
    }
    memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(readline(buffer, sizeof buffer, file.get()), -1);
    EXPECT_STREQ(buffer, "");
}

// A directory opens for reading, but every read of it fails: a real stream
// whose error indicator gets set.
TEST_F(FileopsTest, FailedReadsAndWritesReturnTheErrorNumber) {
    const UniqueFile folder = Open(m_directory.path(), "r");
    char buffer[8];
    EXPECT_EQ(readline(buffer, sizeof buffer, folder.get()), EISDIR);
    EXPECT_EQ(readfile(buffer, 1, sizeof buffer, folder.get()), EISDIR);

    const UniqueFile readOnly = Open(m_directory.write("file", "content"), "r");
    EXPECT_EQ(writefile("x", 1, 1, readOnly.get()), EBADF);
}

TEST_F(FileopsTest, ReadfileShortOfTheRequestAtEndOfFileSucceeds) {
    const UniqueFile file = Open(m_directory.write("file", "abc"), "r");
    char buffer[10] = {};
    EXPECT_EQ(readfile(buffer, 1, sizeof buffer, file.get()), 0);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(readfile(buffer, 1, 1, file.get()), 0);
}

// getfilesize's size, checking that it succeeded and left the position alone.
long SizeAtUnchangedPosition(FILE* stream) {
    const long position = ftell(stream);
    long size = -1;
    EXPECT_EQ(getfilesize(stream, &size), 0);
    EXPECT_EQ(ftell(stream), position);
    return size;
}

TEST_F(FileopsTest, GetfilesizeMeasuresWithoutMovingThePosition) {
    const UniqueFile file = Open(m_directory.write("file", "0123456789"), "r");
    EXPECT_EQ(SizeAtUnchangedPosition(file.get()), 10);
    char buffer[3];
    ASSERT_EQ(readfile(buffer, 1, sizeof buffer, file.get()), 0);
    EXPECT_EQ(SizeAtUnchangedPosition(file.get()), 10);
    EXPECT_EQ(ftell(file.get()), 3);
}

TEST_F(FileopsTest, GetfilesizeOfAnEmptyFileIsZero) {
    const UniqueFile file = Open(m_directory.write("empty", ""), "r");
    EXPECT_EQ(SizeAtUnchangedPosition(file.get()), 0);
    EXPECT_EQ(ftell(file.get()), 0);
}

// Opening for reading must not wait for a writer that may never come.
TEST_F(FileopsTest, FifoWithoutAWriterOpensAtOnceAndReadsAsEmpty) {
    const std::string path = m_directory.fifo("fifo");
    const UniqueFile file = Open(path, "r");
    char buffer[16];
    EXPECT_EQ(readline(buffer, sizeof buffer, file.get()), -1);
}

// The stream blocks again once open: it waits for data still to come instead
// of failing with EAGAIN.
TEST_F(FileopsTest, FifoWithAWriterReadsWhatItSends) {
    const std::string path = m_directory.fifo("fifo");
    // A reader of our own lets the writer open without waiting.
    const int keeper = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    const int writer = open(path.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const UniqueFile file = Open(path, "r");
    close(keeper);
    std::thread late([writer] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(write(writer, "late\n", 5), 5);
        close(writer);
    });
    char buffer[16];
    EXPECT_EQ(readline(buffer, sizeof buffer, file.get()), 0);
    EXPECT_STREQ(buffer, "late\n");
    EXPECT_EQ(readline(buffer, sizeof buffer, file.get()), -1);
    late.join();
}

}  // namespace
