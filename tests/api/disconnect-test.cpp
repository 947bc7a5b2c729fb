// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <string>

#include "FrontEnd.h"
#include "SystemSeams.h"

namespace TrelvoTest {
namespace {

class DisconnectTest : public FrontEndTest {
protected:
    // A front end that has loaded the variant beside it, and been answered
    // connected by its first call (ready, for the complete fake).
    const FrontEndExports& Loaded(const char* variant = "complete", VeltResult connected = 0) {
        m_fake = PlaceFake(variant, library());
        const FrontEndExports& api = LoadFrontEnd();
        EXPECT_EQ(api.VELT_Connect(nullptr), connected);
        EXPECT_TRUE(IsMapped(m_fake));
        return api;
    }

    std::string m_fake;
    uint32_t m_lastClient = 0;  // where VELT_DisconnectIfLastClient writes
};

TEST_F(DisconnectTest, DisconnectingFirstLoadsAndReadsNothing) {
    PlaceFake("complete", library());
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_EQ(api.VELT_Disconnect(), TRELVO_E_NOT_LOADED);
    EXPECT_EQ(api.VELT_DisconnectIfLastClient(&m_lastClient), TRELVO_E_NOT_LOADED);
    EXPECT_EQ(FakeVelt_LoadCount(), 0);
    EXPECT_FALSE(Exists(logFile()));
}

// Whatever the implementation answers, it is unloaded; the next call loads
// the same file again without searching or reading the configuration.
TEST_F(DisconnectTest, DisconnectUnloadsAndTheNextCallReloadsTheSamePath) {
    const FrontEndExports& api = Loaded();
    FakeVelt_SetResult(FAKE_VELT_Disconnect, 0x8000000f);
    EXPECT_EQ(api.VELT_Disconnect(), 0x8000000fu);
    EXPECT_EQ(CallCountOf(FAKE_VELT_Disconnect), 1);
    EXPECT_FALSE(IsMapped(m_fake));
    EXPECT_EQ(api.VELT_DisconnectIfLastClient(&m_lastClient), TRELVO_E_NOT_LOADED);
    EXPECT_EQ(api.VELT_Disconnect(), TRELVO_E_NOT_LOADED);

    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_TRUE(IsMapped(m_fake));
    EXPECT_EQ(FakeVelt_LoadCount(), 2);
    EXPECT_EQ(CountLogLines(UsingEntry(m_fake)), 2);
    EXPECT_EQ(CountLogLines(kResolvedLine), 1);
}

struct LastClient : NamedCase {
    uint32_t value;
    bool unloads;
};

using LastClientTest = TableTest<DisconnectTest, LastClient>;

TEST_P(LastClientTest, OnlyTheValueOneUnloads) {
    const FrontEndExports& api = Loaded();
    FakeVelt_SetLastClient(GetParam().value);
    uint32_t lastClient = 0xDEAD;
    EXPECT_EQ(api.VELT_DisconnectIfLastClient(&lastClient), 0u);
    EXPECT_EQ(lastClient, GetParam().value);
    EXPECT_EQ(IsMapped(m_fake), !GetParam().unloads);
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_EQ(CountLogLines(UsingEntry(m_fake)), GetParam().unloads ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Values, LastClientTest,
                         ::testing::Values(LastClient{{"Value0"}, 0, false},
                                           LastClient{{"Value1"}, 1, true},
                                           LastClient{{"Value2"}, 2, false}),
                         CaseName());

TEST_F(DisconnectTest, FailingDisconnectIfLastClientKeepsTheLibrary) {
    const FrontEndExports& api = Loaded();
    FakeVelt_SetResult(FAKE_VELT_DisconnectIfLastClient, TRELVO_E_NOT_LOADED);
    FakeVelt_SetLastClient(1);
    EXPECT_EQ(api.VELT_DisconnectIfLastClient(&m_lastClient), TRELVO_E_NOT_LOADED);
    EXPECT_TRUE(IsMapped(m_fake));
}

TEST_F(DisconnectTest, NullLastClientIsPassedOnAndUnloadsNothing) {
    const FrontEndExports& api = Loaded();
    FakeVelt_SetLastClient(1);
    EXPECT_EQ(api.VELT_DisconnectIfLastClient(nullptr), 0u);
    ASSERT_EQ(CallCountOf(FAKE_VELT_DisconnectIfLastClient), 1);
    EXPECT_EQ(FakeVelt_Call(FakeVelt_CallCount() - 1)->arguments[0], 0u);
    EXPECT_TRUE(IsMapped(m_fake));
}

TEST_F(DisconnectTest, DisconnectIfLastClientNotProvidedIsNotSupported) {
    const FrontEndExports& api = Loaded("without-optional");
    EXPECT_EQ(api.VELT_DisconnectIfLastClient(&m_lastClient), TRELVO_E_NOT_SUPPORTED);
    EXPECT_TRUE(IsMapped(m_fake));
}

// The front end cannot tell an implementation without VELT_Disconnect that
// it goes, but must still be able to unload it.
TEST_F(DisconnectTest, DisconnectUnloadsALibraryThatFailedToBind) {
    const FrontEndExports& api = Loaded("without-required", TRELVO_E_MISSING_ENTRY_POINTS);
    EXPECT_EQ(api.VELT_Disconnect(), TRELVO_E_NOT_IMPLEMENTED);
    EXPECT_FALSE(IsMapped(m_fake));
    EXPECT_EQ(api.VELT_Connect(nullptr), TRELVO_E_MISSING_ENTRY_POINTS);
    EXPECT_EQ(FakeVelt_LoadCount(), 2);
}

struct RefusedUnload : NamedCase {
    bool ifLastClient;  // else VELT_Disconnect
    VeltResult expected;
};

using RefusedUnloadTest = TableTest<DisconnectTest, RefusedUnload>;

// The library stays loaded but not initialized: the next call binds it again,
// and clears the loader's text.
TEST_P(RefusedUnloadTest, KeepsTheLibraryAndReportsTheLoadersText) {
    const FrontEndExports& api = Loaded();
    FakeVelt_SetResult(FAKE_VELT_Disconnect, 0x2A);
    FakeVelt_SetLastClient(1);
    FakeVelt_SetErrorMessage("from the implementation");
    SystemSeams_FailNextDlclose();
    EXPECT_EQ(GetParam().ifLastClient ? api.VELT_DisconnectIfLastClient(&m_lastClient)
                                      : api.VELT_Disconnect(),
              GetParam().expected);
    ASSERT_STRNE(SystemSeams_RefusedUnloadText(), "");
    EXPECT_STREQ(api.VELT_GetLastErrorMessage(0), SystemSeams_RefusedUnloadText());
    EXPECT_STREQ(api.VELT_GetLastErrorMessage(0), SystemSeams_RefusedUnloadText());
    const int32_t unloadFailed = static_cast<int32_t>(TRELVO_E_UNLOAD_FAILED);
    EXPECT_EQ(CountLogLines(ConfigurationErrorEntry(unloadFailed, library() + "/Trelvo.conf", "")),
              1);
    EXPECT_TRUE(IsMapped(m_fake));

    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_STREQ(api.VELT_GetLastErrorMessage(0), "from the implementation");
    EXPECT_EQ(CountLogLines(UsingEntry(m_fake)), 2);
    EXPECT_EQ(FakeVelt_LoadCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Exports, RefusedUnloadTest,
                         ::testing::Values(RefusedUnload{{"Disconnect"}, false, 0x2A},
                                           RefusedUnload{{"DisconnectIfLastClient"}, true, 0}),
                         CaseName());

}  // namespace
}  // namespace TrelvoTest
