// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The front end itself unloaded from the process with dlclose, and loaded
// again. Each case also runs under valgrind, as a test labelled valgrind.
#include <malloc.h>

#include <string>

#include "FrontEnd.h"

namespace TrelvoTest {
namespace {

// Bytes the process has allocated with malloc. mallinfo2 (glibc 2.33) does not
// wrap at 2 GiB, and makes glibc deprecate mallinfo, which older ones only have.
long AllocatedBytes() {
#if __GLIBC_PREREQ(2, 33)
    return static_cast<long>(mallinfo2().uordblks);
#else
    return static_cast<long>(mallinfo().uordblks);
#endif
}

class UnloadTest : public FrontEndTest {
protected:
    // A call that loads the implementation, then a disconnect that unloads it.
    static void ConnectAndDisconnect(const FrontEndExports& api) {
        EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
        EXPECT_EQ(api.VELT_Disconnect(), 0u);
    }
};

// Nothing in the build (unique symbols, nodelete) may pin the library.
TEST_F(UnloadTest, UnloadedFrontEndLeavesTheProcess) {
    const std::string fake = PlaceFake("complete", library());
    ConnectAndDisconnect(LoadFrontEnd());
    ASSERT_TRUE(IsMapped(frontEnd()));

    EXPECT_TRUE(m_frontEnd->close());
    EXPECT_FALSE(IsMapped(frontEnd()));
    EXPECT_FALSE(IsMapped(fake));
}

// The second load neither remembers the path set in the first nor skips the
// configuration, and with the log on it starts an empty log again.
TEST_F(UnloadTest, ReloadedFrontEndStartsFromFreshState) {
    const std::string fake = PlaceFake("complete", library());
    const std::string second = PlaceFake("second", root().mkdir("second"));
    writeConfiguration("ignoredefaultsearch = false\n");
    const FrontEndExports& first = LoadFrontEnd();
    ConnectAndDisconnect(first);
    ASSERT_EQ(first.Trelvo_SetVeltApiImplementationPath(second.c_str()), 0u);
    ConnectAndDisconnect(first);
    ASSERT_EQ(CountLogLines(UsingEntry(second)), 1);
    ASSERT_TRUE(m_frontEnd->close());
    ASSERT_FALSE(IsMapped(frontEnd()));

    const FrontEndExports& again = LoadFrontEnd();
    EXPECT_FALSE(Exists(logFile()));
    EXPECT_EQ(again.VELT_Connect(nullptr), 0u);
    EXPECT_STREQ(again.Trelvo_GetVeltApiImplementationPath(), fake.c_str());
    EXPECT_EQ(again.VELT_Disconnect(), 0u);
    EXPECT_EQ(CountLogLines("Read the following configuration variables:"), 1);
    EXPECT_EQ(CountLogLines(UsingEntry(fake)), 1);
    EXPECT_EQ(CountLogLines(UsingEntry(second)), 0);
    EXPECT_TRUE(m_frontEnd->close());
    EXPECT_FALSE(IsMapped(frontEnd()));
}

// Whatever a load allocates (its private C++ runtime's exception pool, for
// one) its unload gives back, however often the two repeat.
TEST_F(UnloadTest, RepeatedLoadsLeaveNoMemoryBehind) {
    PlaceFake("complete", library());
    const auto loadUseAndUnload = [this] {
        ConnectAndDisconnect(LoadFrontEnd());
        EXPECT_TRUE(m_frontEnd->close());
    };
    loadUseAndUnload();  // lets the loader and the test set up what they keep
    const long before = AllocatedBytes();
    for (int cycle = 0; cycle < 10; ++cycle) loadUseAndUnload();
    EXPECT_LT(AllocatedBytes() - before, 16 * 1024);
}

}  // namespace
}  // namespace TrelvoTest
