// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "InterruptedFifo.h"
#include "LogEntry.h"
#include "TestSupport.h"
#include "config/ConfigFileReader.h"

namespace {

using InternalUtils::ConfigurationReaderSettings;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::SizeIs;
using Variables = std::vector<std::pair<std::string, std::string>>;

// The settings the library reads Trelvo.conf with.
const ConfigurationReaderSettings kLibrarySettings{100, 256, "#;"};

std::string NumberedLines(const std::string& prefix, int count) {
    std::string lines;
    for (int i = 0; i < count; ++i)
        lines += prefix + std::to_string(i) + "=" + std::to_string(i) + "\n";
    return lines;
}

class ConfigFileReaderTest : public ::testing::Test {
protected:
    void useSettings(ConfigurationReaderSettings settings) {
        m_reader.reset(InternalUtils::CreateConfigurationReader(std::move(settings)));
    }
    int32_t load(const std::string& path) { return m_reader->LoadFile(path.c_str()); }
    int32_t loadText(const std::string& content) {
        return load(m_directory.write("test.conf", content));
    }
    Variables variables() const {
        Variables pairs;
        for (const auto& variable : m_reader->GetConfigurationVariables()) {
            pairs.emplace_back(variable.name, variable.value);
        }
        return pairs;
    }
    std::string message() const { return m_reader->GetLastErrorMessage(); }

    TrelvoTest::TestDirectory m_directory;
    InternalUtils::ConfigurationReaderPtr m_reader{
        InternalUtils::CreateConfigurationReader(kLibrarySettings)};
};

struct LineCase : TrelvoTest::NamedCase {
    std::string content;
    Variables expected;
};

using ConfigFileLineTest = TrelvoTest::TableTest<ConfigFileReaderTest, LineCase>;

TEST_P(ConfigFileLineTest, GivesTheVariablesOfItsLines) {
    EXPECT_EQ(loadText(GetParam().content), 0);
    EXPECT_EQ(variables(), GetParam().expected);
    EXPECT_EQ(message(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ConfigFileLineTest,
    ::testing::Values(LineCase{{"BlanksAroundNameSeparatorAndValue"},
                               " \tveltapipath \t=  /opt/My Dir \t\nveltapipath=/opt/My Dir\n",
                               {{"veltapipath", "/opt/My Dir"}, {"veltapipath", "/opt/My Dir"}}},
                      LineCase{{"ValueKeepsFurtherSeparatorsAndCommentCharacters"},
                               "a = b = c\nq = \"x\" # not a comment ;\n",
                               {{"a", "b = c"}, {"q", "\"x\" # not a comment ;"}}},
                      LineCase{{"NothingAfterSeparatorGivesEmptyValue"},
                               "empty =\nblank=  \t\n",
                               {{"empty", ""}, {"blank", ""}}},
                      LineCase{{"CommentsBlanksAndLinesWithoutSeparatorAreSkipped"},
                               "# a=1\n   ; b=2\n\t#c=3\n\n \t \nno separator\nx\n=\nk=v\n",
                               {{"k", "v"}}},
                      // Only a visible character at the very start of the line stands alone.
                      LineCase{{"SeparatorFirstGivesEmptyName"},
                               "  = value\n=v\n  =\n",
                               {{"", "value"}, {"", "v"}, {"", ""}}},
                      LineCase{{"RepeatedNamesKeepFileOrder"},
                               "k=1\nk=2\nk=1",
                               {{"k", "1"}, {"k", "2"}, {"k", "1"}}},
                      LineCase{{"CarriageReturnsAreBlanks"},
                               "a = 1\r\n b=2 \r\n# c\r\n\r\nd =\r\n",
                               {{"a", "1"}, {"b", "2"}, {"d", ""}}},
                      LineCase{{"EmptyFile"}, "", {}},
                      LineCase{{"OnlyBlankAndCommentLines"}, " \n\t\n# c=1\n; d=2\n", {}},
                      LineCase{{"NulByteEndsTheReadText"},
                               std::string("a=1\0hidden=2\nb=2\n", 17),
                               {{"a", "1"}, {"b", "2"}}},
                      LineCase{{"BytesAreKeptAsTheyAre"},
                               "\xff\xfe = \x80\x01\x7f\n",
                               {{"\xff\xfe", "\x80\x01\x7f"}}}),
    TrelvoTest::CaseName());

TEST_F(ConfigFileReaderTest, ReadsNoMoreThanMaxLinesLines) {
    for (int lines : {150, 10000}) {
        EXPECT_EQ(loadText(NumberedLines("k", lines)), 0);
        const Variables read = variables();
        ASSERT_THAT(read, SizeIs(100)) << lines;
        EXPECT_THAT(read.back(), Pair("k99", "99"));
        EXPECT_EQ(message(), "");
    }
}

TEST_F(ConfigFileReaderTest, SkippedLinesCountTowardTheLimit) {
    EXPECT_EQ(loadText(std::string(50, '\n') + NumberedLines("k", 60)), 0);
    EXPECT_THAT(variables(), SizeIs(50));
}

// maxLineLength 256: 255 characters a read, each piece a line of its own.
TEST_F(ConfigFileReaderTest, OverlongLineIsReadInPieces) {
    useSettings({3, 256, "#;"});
    const std::string first = "a=" + std::string(253, 'x');
    const std::string rest = "b=" + std::string(43, 'y');
    EXPECT_EQ(loadText(first + rest + "\nc=3\nd=4\n"), 0);
    EXPECT_THAT(variables(),
                ElementsAre(Pair("a", first.substr(2)), Pair("b", rest.substr(2)), Pair("c", "3")));
}

TEST_F(ConfigFileReaderTest, HostileInputStaysWithinTheLimits) {
    EXPECT_EQ(loadText("a=" + std::string(1 << 20, 'x') + "\nb=1\n"), 0);
    EXPECT_THAT(variables(), ElementsAre(Pair("a", std::string(253, 'x'))));
    std::string junk;
    for (int i = 0; i < 20000; ++i) junk += static_cast<char>(i * 37 % 256);
    EXPECT_EQ(loadText(junk), 0);
    EXPECT_LE(variables().size(), 100u);
}

TEST_F(ConfigFileReaderTest, EmptyCommentCharactersMakeNoComments) {
    useSettings({100, 256, ""});
    EXPECT_EQ(loadText("#a=1\n;b=2\n"), 0);
    EXPECT_THAT(variables(), ElementsAre(Pair("#a", "1"), Pair(";b", "2")));
}

TEST_F(ConfigFileReaderTest, EachLoadStartsAfresh) {
    const std::string path = m_directory.write("test.conf", "a=1\nb=2\n");
    ASSERT_EQ(load(path), 0);
    ASSERT_EQ(load(path), 0);
    EXPECT_THAT(variables(), ElementsAre(Pair("a", "1"), Pair("b", "2")));
    EXPECT_EQ(m_reader->LoadFile(nullptr), EINVAL);
    EXPECT_THAT(variables(), IsEmpty());
    EXPECT_EQ(load(path), 0);
    EXPECT_EQ(message(), "");
}

TEST_F(ConfigFileReaderTest, NullPathFailsWithEinval) {
    EXPECT_EQ(m_reader->LoadFile(nullptr), EINVAL);
    EXPECT_EQ(message(), std::string("(Internal)CConfigFileReader::LoadFile() requires a non-null "
                                     "file path: ") +
                             strerror(EINVAL));
}

TEST_F(ConfigFileReaderTest, MissingFileFailsWithTheOpenError) {
    EXPECT_EQ(load(m_directory.file("absent.conf")), ENOENT);
    EXPECT_EQ(message(), TrelvoTest::OpenFailure(ENOENT));
    EXPECT_THAT(variables(), IsEmpty());
}

TEST_F(ConfigFileReaderTest, DirectoryFailsAtTheFirstRead) {
    const std::string path = m_directory.mkdir("conf.d");
    EXPECT_EQ(load(path), EISDIR);
    EXPECT_EQ(message(), TrelvoTest::ReadFailure(1, path, EISDIR));
}

// A FIFO that nothing writes to must not hold up the library: it reads as
// an empty file.
TEST_F(ConfigFileReaderTest, FifoWithoutAWriterReadsAsEmpty) {
    const std::string path = m_directory.fifo("test.conf");
    EXPECT_EQ(load(path), 0);
    EXPECT_THAT(variables(), IsEmpty());
    EXPECT_EQ(message(), "");
}

TEST_F(ConfigFileReaderTest, UnreadableFileFailsWithTheOpenError) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads a file of mode 0000 all the same";
    const std::string path = m_directory.write("test.conf", "a=1\n");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    EXPECT_EQ(load(path), EACCES);
    EXPECT_EQ(message(), TrelvoTest::OpenFailure(EACCES));
}

TEST_F(ConfigFileReaderTest, ZeroLineLengthFailsTheFirstRead) {
    useSettings({100, 0, "#;"});
    const std::string path = m_directory.write("test.conf", "a=1\n");
    EXPECT_EQ(load(path), EINVAL);
    EXPECT_EQ(message(), TrelvoTest::ReadFailure(1, path, EINVAL));
}

TEST_F(ConfigFileReaderTest, NoLinesToReadStillOpensTheFile) {
    for (int maxLines : {0, -1}) {
        useSettings({maxLines, 256, "#;"});
        EXPECT_EQ(loadText("a=1\n"), 0);
        EXPECT_THAT(variables(), IsEmpty());
        EXPECT_EQ(load(m_directory.file("absent.conf")), ENOENT);
    }
}

TEST_F(ConfigFileReaderTest, ReadFailurePartWayKeepsEarlierVariables) {
    const std::string path = m_directory.file("test.conf");
    TrelvoTest::InterruptedFifo fifo(path, "a=1\n# c\nb=2\n");
    EXPECT_EQ(load(path), EINTR);
    EXPECT_EQ(message(), TrelvoTest::ReadFailure(4, path, EINTR));
    EXPECT_THAT(variables(), ElementsAre(Pair("a", "1"), Pair("b", "2")));
}

}  // namespace
