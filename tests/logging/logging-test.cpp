// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "LogEntry.h"
#include "ModuleProbe.h"
#include "TestSupport.h"
#include "logging/timestamp.h"

namespace {

using ::testing::ElementsAre;
using TrelvoTest::ConfigurationErrorEntry;
using TrelvoTest::IsLogEntry;

constexpr int32_t kUnloadFailed = static_cast<int32_t>(0x8000000f);

class LoggingTest : public ::testing::Test, public TrelvoTest::Installation {
protected:
    // Loads the probe in directory (by default library()) under the
    // environment set so far; its load-time reset runs now.
    const TrelvoTest::ModuleProbe& load(const std::string& directory = "") {
        m_probe =
            std::make_unique<TrelvoTest::ModuleProbe>(directory.empty() ? library() : directory);
        return *m_probe;
    }

    std::unique_ptr<TrelvoTest::ModuleProbe> m_probe;
};

TEST_F(LoggingTest, EntryIsTimestampSpaceTextAndLineFeed) {
    environment().set("TRELVODEBUG", "1");
    const auto& probe = load();
    const std::string usingEntry = TrelvoTest::UsingEntry("/opt/x/libVeltApi_aarch64.so");
    probe->LogText(usingEntry.c_str());
    probe->LogText("");
    probe->LogText("first\nsecond");
    probe->LogText(nullptr);
    EXPECT_THAT(TrelvoTest::ReadLines(logFile()),
                ElementsAre(IsLogEntry(usingEntry), IsLogEntry(""), IsLogEntry("first"), "second"));
    EXPECT_EQ(TrelvoTest::ReadFile(logFile()).value_or("").back(), '\n');
}

TEST_F(LoggingTest, NullTextCreatesNoFile) {
    environment().set("TRELVODEBUG", "1");
    load()->LogText(nullptr);
    EXPECT_FALSE(TrelvoTest::Exists(logFile()));
}

struct Switch : TrelvoTest::NamedCase {
    std::optional<std::string> trelvoDebug, veltApiOpts;  // nullopt: unset
    bool on;
};

using LogSwitchTest = TrelvoTest::TableTest<LoggingTest, Switch>;

TEST_P(LogSwitchTest, DecidesWhetherEntriesAreWritten) {
    environment()
        .set("TRELVODEBUG", GetParam().trelvoDebug)
        .set("VELTAPIOPTS", GetParam().veltApiOpts);
    load()->LogText("entry");
    EXPECT_EQ(TrelvoTest::Exists(logFile()), GetParam().on);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, LogSwitchTest,
    ::testing::Values(Switch{{"TrelvoDebugZero"}, "0", std::nullopt, true},
                      Switch{{"TrelvoDebugFalse"}, "false", std::nullopt, true},
                      Switch{{"TrelvoDebugEmpty"}, "", std::nullopt, false},
                      Switch{{"NothingSet"}, std::nullopt, std::nullopt, false},
                      Switch{{"DebugAccessAmongOptions"}, std::nullopt, "-v -debugaccess -x", true},
                      Switch{{"DebugAccessInsideAWord"}, std::nullopt, "xdebugaccessy", true},
                      Switch{{"UpperCaseDebugAccess"}, std::nullopt, "DEBUGACCESS", false},
                      Switch{{"MixedCaseDebugAccess"}, std::nullopt, "DebugAccess", false},
                      Switch{{"TrelvoDebugWithUpperCaseOptions"}, "1", "DEBUGACCESS", true},
                      Switch{{"TrelvoDebugEmptyWithDebugAccess"}, "", "debugaccess", true}),
    TrelvoTest::CaseName());

TEST_F(LoggingTest, LoadWithLogOnDeletesTheOldFile) {
    root().write("lib/Trelvo.log", "old\n");
    environment().set("VELTAPIOPTS", "debugaccess");
    const auto& probe = load();
    EXPECT_FALSE(TrelvoTest::Exists(logFile()));
    probe->LogText("new");
    EXPECT_THAT(TrelvoTest::ReadLines(logFile()), ElementsAre(IsLogEntry("new")));
}

TEST_F(LoggingTest, LogSwitchedOnAfterLoadAppendsToTheOldFile) {
    root().write("lib/Trelvo.log", "old\n");
    const auto& probe = load();
    probe->LogText("off");
    environment().set("TRELVODEBUG", "1");
    probe->LogText("on");
    environment().unset("TRELVODEBUG");
    probe->LogText("off again");
    EXPECT_THAT(TrelvoTest::ReadLines(logFile()), ElementsAre("old", IsLogEntry("on")));
}

std::set<std::string> EntryNames(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.insert(entry.path().filename());
    }
    return names;
}

// The log's failures must not reach the caller: configuration still works,
// and nothing appears beside the library.
void ExpectUnaffectedByTheLog(const TrelvoTest::ModuleProbe& probe, const std::string& directory) {
    const std::set<std::string> before = EntryNames(directory);
    probe->LogText("entry");
    probe->LogConfigFileErrors(kUnloadFailed);
    Internal_Trelvo::TrelvoConfiguration configuration;
    EXPECT_EQ(probe->ProcessConfiguration(&configuration), 0);
    EXPECT_EQ(configuration.veltApiPath, "/opt/x");
    EXPECT_EQ(EntryNames(directory), before);
}

TEST_F(LoggingTest, UnwritableDirectoryChangesNothing) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write to a directory of mode 0555; "
                        "LogPathThatCannotBeOpenedChangesNothing covers the failed open";
    }
    writeConfiguration("veltapipath=/opt/x\n");
    environment().set("TRELVODEBUG", "1");
    const auto& probe = load();
    ASSERT_EQ(chmod(library().c_str(), 0555), 0);
    ExpectUnaffectedByTheLog(probe, library());
    EXPECT_FALSE(TrelvoTest::Exists(logFile()));
}

// A non-empty directory named Trelvo.log can be neither deleted nor opened for
// writing, whoever runs the test.
TEST_F(LoggingTest, LogPathThatCannotBeOpenedChangesNothing) {
    writeConfiguration("veltapipath=/opt/x\n");
    root().write("lib/Trelvo.log/kept", "kept\n");
    environment().set("TRELVODEBUG", "1");
    const auto& probe = load();
    ExpectUnaffectedByTheLog(probe, library());
    EXPECT_EQ(TrelvoTest::ReadFile(library() + "/Trelvo.log/kept"), "kept\n");
}

TEST_F(LoggingTest, ReportPrintsCodeAsSignedDecimalAndEndsWithEmptyLine) {
    environment().set("TRELVODEBUG", "1");
    const auto& probe = load();
    probe->LogConfigFileErrors(kUnloadFailed);
    EXPECT_EQ(TrelvoTest::ReadFile(logFile()).value_or("").substr(23),
              " Error (-2147483633) accessing configuration file \"\": \n\n");
    writeConfiguration("");
    Internal_Trelvo::TrelvoConfiguration configuration;
    ASSERT_EQ(probe->ProcessConfiguration(&configuration), 0);
    std::remove(logFile().c_str());
    probe->LogConfigFileErrors(kUnloadFailed);
    EXPECT_THAT(TrelvoTest::ReadLines(logFile()),
                ElementsAre(IsLogEntry(ConfigurationErrorEntry(kUnloadFailed,
                                                               library() + "/Trelvo.conf", "")),
                            ""));
}

TEST_F(LoggingTest, ReportRepeatsTheLastReadErrorAndTheRawPath) {
    environment().set("TRELVODEBUG", "1");
    const std::string directory = root().mkdir("say \"cheese\"");
    const auto& probe = load(directory);
    Internal_Trelvo::TrelvoConfiguration configuration;
    ASSERT_EQ(probe->ProcessConfiguration(&configuration), ENOENT);
    const std::string log = directory + "/Trelvo.log";
    std::remove(log.c_str());
    probe->LogConfigFileErrors(kUnloadFailed);
    EXPECT_THAT(
        TrelvoTest::ReadLines(log),
        ElementsAre(IsLogEntry(ConfigurationErrorEntry(kUnloadFailed, directory + "/Trelvo.conf",
                                                       TrelvoTest::OpenFailure(ENOENT))),
                    ""));
}

TEST_F(LoggingTest, ReportWithLogOffWritesNothing) {
    load()->LogConfigFileErrors(ENOENT);
    EXPECT_FALSE(TrelvoTest::Exists(logFile()));
}

// Formats t (UTC) as the local time of a zone 13:45 ahead of UTC.
std::string ChathamStamp(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto local = t + hours(13) + minutes(45);
    const time_t whole = system_clock::to_time_t(floor<seconds>(local));
    std::tm fields{};
    gmtime_r(&whole, &fields);
    char text[32];
    const size_t length = strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields);
    const auto fraction = duration_cast<milliseconds>(local - floor<seconds>(local));
    snprintf(text + length, sizeof text - length, ",%03d", static_cast<int>(fraction.count()));
    return text;
}

TEST(TimestampTest, IsTheClockInTheLocalZone) {
    TrelvoTest::ScopedEnvironment environment;
    environment.set("TZ", "<+1345>-13:45");
    tzset();
    const auto before = std::chrono::system_clock::now();
    const std::string stamp = InternalUtils::GetTimestamp();
    const auto after = std::chrono::system_clock::now();
    EXPECT_TRUE(TrelvoTest::IsTimestamp(stamp)) << stamp;
    EXPECT_EQ(stamp.size(), 23u);
    // Fixed-width fields: text order is time order.
    EXPECT_LE(ChathamStamp(before), stamp);
    EXPECT_GE(ChathamStamp(after), stamp);
}

TEST(TimestampTest, MillisecondsAreZeroPadded) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    bool sawSingleDigit = false;
    while (!sawSingleDigit && std::chrono::steady_clock::now() < deadline) {
        const std::string stamp = InternalUtils::GetTimestamp();
        ASSERT_TRUE(TrelvoTest::IsTimestamp(stamp)) << stamp;
        sawSingleDigit = stamp.compare(20, 2, "00") == 0;
    }
    EXPECT_TRUE(sawSingleDigit);
}

}  // namespace
