#include <future>
#include <set>
#include <thread>
#include <vector>

#include "FrontEnd.h"

namespace TrelvoTest {
namespace {

using ThreadsTest = FrontEndTest;

TEST_F(ThreadsTest, RacedFirstCallsInitializeOnce) {
    constexpr int kThreads = 8;
    const std::string fake = PlaceFake(Fake::kComplete, m_root.path());
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
    EXPECT_EQ(CountLogLines(UsingLine(fake)), 1);
    std::set<uint64_t> arguments;
    for (const FakeVeltCall& call : Calls()) arguments.insert(call.arguments[0]);
    EXPECT_EQ(arguments.size(), static_cast<size_t>(kThreads));
    EXPECT_EQ(FakeVelt_CallCount(), kThreads);
}

}  // namespace
}  // namespace TrelvoTest
