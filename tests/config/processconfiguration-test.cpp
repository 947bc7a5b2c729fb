// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "InterruptedFifo.h"
#include "LogEntry.h"
#include "ModuleProbe.h"
#include "TestSupport.h"

namespace {

using Internal_Trelvo::TrelvoConfiguration;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using TrelvoTest::ConfigurationErrorEntry;
using TrelvoTest::IsLogEntry;
using TrelvoTest::ResolvedEntry;

// Every case runs with the log on, so that what was logged can be checked.
class ProcessConfigurationTest : public ::testing::Test, public TrelvoTest::Installation {
protected:
    ProcessConfigurationTest() {
        environment().set("TRELVODEBUG", "1").set("VELT_PATH", "/velt");
        m_probe = std::make_unique<TrelvoTest::ModuleProbe>(library());
    }

    int32_t process(TrelvoConfiguration& configuration) {
        return (*m_probe)->ProcessConfiguration(&configuration);
    }
    // Writes content as Trelvo.conf and processes a record with the defaults.
    TrelvoConfiguration processText(const std::string& content) {
        writeConfiguration(content);
        TrelvoConfiguration configuration;
        EXPECT_EQ(process(configuration), 0);
        return configuration;
    }
    std::vector<std::string> log() const { return TrelvoTest::ReadLines(logFile()); }
    std::string configPath() const { return library() + "/Trelvo.conf"; }
    // A failure with code applies nothing, and is reported and logged with message.
    void expectFailure(int32_t code, const std::string& message) {
        TrelvoConfiguration configuration;
        EXPECT_EQ(process(configuration), code);
        EXPECT_EQ(configuration.veltApiPath, "/velt");
        EXPECT_FALSE(configuration.ignoreDefaultSearch);
        EXPECT_EQ((*m_probe)->GetConfigLastErrorMessage(), message);
        EXPECT_THAT(
            log(), ElementsAre(IsLogEntry(ConfigurationErrorEntry(code, configPath(), message)), "",
                               IsLogEntry(ResolvedEntry("/velt"))));
    }

    std::unique_ptr<TrelvoTest::ModuleProbe> m_probe;
};

TEST_F(ProcessConfigurationTest, AppliesAndLogsTheFileBesideTheLibrary) {
    const TrelvoConfiguration configuration =
        processText("veltapipath = /opt/My Dir\nother =  x = y \n");
    EXPECT_EQ(configuration.veltApiPath, "/opt/My Dir");
    EXPECT_FALSE(configuration.ignoreDefaultSearch);
    EXPECT_EQ((*m_probe)->GetConfigFilePath(), configPath());
    EXPECT_EQ((*m_probe)->GetConfigLastErrorMessage(), "");
    EXPECT_THAT(log(),
                ElementsAre(IsLogEntry("Read the following configuration variables:"),
                            IsLogEntry("veltapipath = /opt/My Dir"), IsLogEntry("other = x = y")));
}

TEST_F(ProcessConfigurationTest, EmptyFileLogsHeadingAndResolvesDefault) {
    EXPECT_EQ(processText("").veltApiPath, "/velt");
    EXPECT_THAT(log(), ElementsAre(IsLogEntry("Read the following configuration variables:"),
                                   IsLogEntry(ResolvedEntry("/velt"))));
}

TEST_F(ProcessConfigurationTest, LastNonEmptyVeltApiPathWins) {
    EXPECT_EQ(processText("veltapipath=/a\nveltapipath=/b\nveltapipath=\n").veltApiPath, "/b");
}

// An empty value leaves the record's value as it was.
TEST_F(ProcessConfigurationTest, IgnoreDefaultSearchIsTrueOnlyForTrueOrOne) {
    const struct {
        const char* value;
        bool previous, expected;
    } cases[] = {{"TRUE", false, true}, {"True", false, true},  {"1", false, true},
                 {"0", true, false},    {"false", true, false}, {"yes", true, false},
                 {"", true, true},      {"", false, false}};
    for (const auto& [value, previous, expected] : cases) {
        writeConfiguration(std::string("ignoredefaultsearch = ") + value + "\n");
        TrelvoConfiguration configuration;
        configuration.ignoreDefaultSearch = previous;
        EXPECT_EQ(process(configuration), 0);
        EXPECT_EQ(configuration.ignoreDefaultSearch, expected) << value;
    }
}

TEST_F(ProcessConfigurationTest, KeysAreCaseSensitive) {
    const TrelvoConfiguration configuration =
        processText("VeltApiPath=/x\nIGNOREDEFAULTSEARCH=1\n");
    EXPECT_EQ(configuration.veltApiPath, "/velt");
    EXPECT_FALSE(configuration.ignoreDefaultSearch);
    EXPECT_THAT(log(),
                ElementsAre(IsLogEntry("Read the following configuration variables:"),
                            IsLogEntry("VeltApiPath = /x"), IsLogEntry("IGNOREDEFAULTSEARCH = 1"),
                            IsLogEntry(ResolvedEntry("/velt"))));
}

TEST_F(ProcessConfigurationTest, ResolvesALeadingEnvironmentReferenceOnce) {
    environment().set("TRELVO_TEST_DIR", "/opt/velt").set("TRELVO_TEST_REF", "$TRELVO_TEST_DIR");
    const std::pair<const char*, const char*> cases[] = {
        {"$TRELVO_TEST_DIR", "/opt/velt"},
        {"$TRELVO_TEST_DIR/lib", ""},
        {"%TRELVO_TEST_DIR%/lib", "/opt/velt"},
        {"%TRELVO_TEST_DIR", "/opt/velt"},
        {"$TRELVO_TEST_REF", "$TRELVO_TEST_DIR"},
        {"/opt/$TRELVO_TEST_DIR", "/opt/$TRELVO_TEST_DIR"}};
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(processText(std::string("veltapipath=") + value).veltApiPath, expected) << value;
    }
    EXPECT_THAT(log().back(), IsLogEntry("veltapipath = /opt/$TRELVO_TEST_DIR"));
}

TEST_F(ProcessConfigurationTest, MissingFileKeepsDefaultsAndReportsIt) {
    expectFailure(ENOENT, TrelvoTest::OpenFailure(ENOENT));
}

TEST_F(ProcessConfigurationTest, MissingFileWithoutVeltPathResolvesToEmpty) {
    environment().unset("VELT_PATH");
    TrelvoConfiguration configuration;
    EXPECT_EQ(process(configuration), ENOENT);
    EXPECT_EQ(configuration.veltApiPath, "");
    EXPECT_THAT(log().back(), IsLogEntry(ResolvedEntry("")));
}

TEST_F(ProcessConfigurationTest, ReadFailurePartWayAppliesNothing) {
    TrelvoTest::InterruptedFifo fifo(configPath(), "veltapipath=/opt/x\nignoredefaultsearch=1\n");
    expectFailure(EINTR, TrelvoTest::ReadFailure(3, configPath(), EINTR));
}

TEST_F(ProcessConfigurationTest, NullRecordChangesNothing) {
    writeConfiguration("veltapipath=/opt/x\n");
    EXPECT_EQ((*m_probe)->ProcessConfiguration(nullptr), EINVAL);
    EXPECT_EQ((*m_probe)->GetConfigFilePath(), "");
    EXPECT_THAT(log(), IsEmpty());
}

}  // namespace
