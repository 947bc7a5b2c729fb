// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <future>
#include <set>
#include <vector>

#include "FrontEnd.h"

namespace TrelvoTest {
namespace {

using ThreadsTest = FrontEndTest;

constexpr int kThreads = 8;

TEST_F(ThreadsTest, RacedFirstCallsInitializeOnce) {
    const std::string fake = PlaceFake("complete", library());
    const FrontEndExports& api = LoadFrontEnd();
    FakeVelt_SetResult(FAKE_VELT_Connect, 0x2A);
    std::promise<void> start;
    const std::shared_future<void> started = start.get_future().share();
    std::vector<std::future<VeltResult>> results;
    for (int i = 0; i < kThreads; ++i) {
        results.push_back(std::async(std::launch::async, [&api, started, i] {
            started.wait();
            return api.VELT_Connect(reinterpret_cast<VeltArg>(static_cast<uintptr_t>(i)));
        }));
    }
    start.set_value();
    for (auto& result : results) EXPECT_EQ(result.get(), 0x2Au);

    EXPECT_EQ(FakeVelt_LoadCount(), 1);
    EXPECT_EQ(CountLogLines(UsingEntry(fake)), 1);
    std::set<uint64_t> arguments;
    for (const FakeVeltCall& call : Calls()) arguments.insert(call.arguments[0]);
    EXPECT_EQ(arguments.size(), static_cast<size_t>(kThreads));
    EXPECT_EQ(FakeVelt_CallCount(), kThreads);
}

// After initialization every call is a flag test and an indirect call, made
// by all threads at once without the lock.
TEST_F(ThreadsTest, ManyThreadsForwardAfterInitialization) {
    constexpr int kCallsPerThread = 100000;
    PlaceFake("complete", library());
    const FrontEndExports& api = LoadFrontEnd();
    FakeVelt_SetResult(FAKE_VELT_GetService, 0x17);
    ASSERT_EQ(api.VELT_Connect(nullptr), 0u);
    std::vector<std::future<int>> failures;
    for (int i = 0; i < kThreads; ++i) {
        failures.push_back(std::async(std::launch::async, [&api] {
            int failed = 0;
            for (int call = 0; call < kCallsPerThread; ++call) {
                if (api.VELT_GetService(call, nullptr) != 0x17u) ++failed;
            }
            return failed;
        }));
    }
    for (auto& failed : failures) EXPECT_EQ(failed.get(), 0);

    EXPECT_EQ(FakeVelt_LoadCount(), 1);
    EXPECT_EQ(FakeVelt_CallCount(), 1 + kThreads * kCallsPerThread);
}

}  // namespace
}  // namespace TrelvoTest
