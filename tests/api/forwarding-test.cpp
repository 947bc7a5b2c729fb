// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <tuple>
#include <type_traits>
#include <vector>

#include "FrontEnd.h"

namespace TrelvoTest {
namespace {

// The widths in which the front end passes its arguments on are those of its
// declarations.
static_assert(std::is_same_v<VeltResult, uint32_t>);
static_assert(std::is_same_v<VeltInt, uint32_t>);
static_assert(std::is_pointer_v<VeltArg> && sizeof(VeltArg) == 8);
static_assert(std::is_same_v<decltype(&VELT_ConnectSingleton), VeltResult (*)(VeltArg, uint32_t)>);
static_assert(
    std::is_same_v<decltype(&VELT_GetAvailableConfigurations), VeltResult (*)(uint32_t, VeltArg)>);
static_assert(std::is_same_v<decltype(&VELT_SetConfigurationParameters),
                             VeltResult (*)(uint32_t, VeltArg, VeltArg)>);
static_assert(std::is_same_v<decltype(&VELT_GetService), VeltResult (*)(uint32_t, VeltArg)>);
static_assert(std::is_same_v<decltype(&VELT_GetLastErrorMessage), const char* (*)(uint32_t)>);

// Distinct in every position and in both halves, so that a truncated, swapped
// or sign-extended argument shows.
constexpr uint64_t kWide[] = {0xFFFFFFFF12345671u, 0x80000000FEDCBA92u, 0x0123456789ABCDE3u};
constexpr uint32_t kNarrow = 0x89ABCDEFu;

uint32_t s_status;  // where VELT_GetConnectionStatus writes

// What a forwarder is called with in the next position: the narrow value,
// the status to write, or the wide value of that position.
template <typename Parameter>
Parameter NextArgument(size_t& position) {
    const size_t at = position++;
    if constexpr (std::is_same_v<Parameter, VeltInt>) {
        return kNarrow;
    } else if constexpr (std::is_same_v<Parameter, uint32_t*>) {
        return &s_status;
    } else {
        return reinterpret_cast<VeltArg>(kWide[at]);
    }
}

template <typename... Parameters>
std::tuple<Parameters...> Arguments(VeltResult (*)(Parameters...)) {
    [[maybe_unused]] size_t position = 0;
    return {NextArgument<Parameters>(position)...};
}

// The arguments as the fake records them, widened from their own width.
template <typename Function>
std::array<uint64_t, 3> Received(Function function) {
    const auto widened = [](auto argument) -> uint64_t {
        if constexpr (std::is_pointer_v<decltype(argument)>) {
            return reinterpret_cast<uintptr_t>(argument);
        } else {
            return argument;
        }
    };
    return std::apply(
        [&](auto... arguments) { return std::array<uint64_t, 3>{widened(arguments)...}; },
        Arguments(function));
}

struct Forwarder {
    const char* name;
    FakeVeltFunction function;
    VeltResult (*call)(const FrontEndExports& api);
    std::array<uint64_t, 3> received;  // what the fake must record
};

// The seventeen plain forwarders, each called with Arguments().
const std::vector<Forwarder>& Forwarders() {
#define TRELVO_FORWARDER_ROW(symbol, binding, forwarding, ...) \
    TRELVO_FORWARDER_ROW_##forwarding(symbol)
#define TRELVO_FORWARDER_ROW_Own(symbol)
#define TRELVO_FORWARDER_ROW_Forwarded(symbol)                                                 \
    {#symbol, FAKE_##symbol,                                                                   \
     [](const FrontEndExports& api) { return std::apply(api.symbol, Arguments(api.symbol)); }, \
     Received(&::symbol)},
    static const std::vector<Forwarder> forwarders = {TRELVO_ENTRY_POINTS(TRELVO_FORWARDER_ROW)};
#undef TRELVO_FORWARDER_ROW_Forwarded
#undef TRELVO_FORWARDER_ROW_Own
#undef TRELVO_FORWARDER_ROW
    return forwarders;
}

void ExpectReceived(const FakeVeltCall& call, const Forwarder& forwarder, const char* variant) {
    EXPECT_EQ(call.function, forwarder.function) << forwarder.name;
    for (size_t i = 0; i < forwarder.received.size(); ++i) {
        EXPECT_EQ(call.arguments[i], forwarder.received[i])
            << forwarder.name << " argument " << i + 1;
    }
    EXPECT_STREQ(call.variant, variant) << forwarder.name;
}

using ForwardingTest = FrontEndTest;

// Results that coincide with the front end's own codes are not told apart.
TEST_F(ForwardingTest, EveryForwarderPassesItsArgumentsAndResultUnchanged) {
    PlaceFake("complete", library());
    const FrontEndExports& api = LoadFrontEnd();
    ASSERT_EQ(Forwarders().size(), 17u);
    const uint32_t results[] = {0,           0x80000001u, 0x80000003u, 0x80000004u,
                                0x80000006u, 0x80000007u, 0x8000000eu, 0x8000000fu,
                                0x80000013u, 0x80000014u, 0xFFFFFFFFu, 0x00000001u};
    for (const Forwarder& forwarder : Forwarders()) {
        for (const uint32_t result : results) {
            FakeVelt_SetResult(forwarder.function, result);
            EXPECT_EQ(forwarder.call(api), result) << forwarder.name;
            ExpectReceived(*FakeVelt_Call(FakeVelt_CallCount() - 1), forwarder, "complete");
        }
    }
    EXPECT_EQ(FakeVelt_CallCount(), static_cast<int>(Forwarders().size() * std::size(results)));
}

TEST_F(ForwardingTest, GetLastErrorMessageCopiesTheImplementationsText) {
    PlaceFake("complete", library());
    const FrontEndExports& api = LoadFrontEnd();
    FakeVelt_SetErrorMessage("first failure");
    const char* first = api.VELT_GetLastErrorMessage(kNarrow);
    EXPECT_STREQ(first, "first failure");
    EXPECT_NE(first, FakeVelt_ErrorMessage());
    FakeVelt_SetErrorMessage("second failure");
    EXPECT_STREQ(api.VELT_GetLastErrorMessage(7), "second failure");
    const std::vector<FakeVeltCall> calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, FAKE_VELT_GetLastErrorMessage);
    EXPECT_EQ(calls[0].arguments[0], kNarrow);
    EXPECT_EQ(calls[1].arguments[0], 7u);
}

struct Absence : NamedCase {
    const char* variant;
    std::vector<FakeVeltFunction> absent;
};

using AbsentEntryPointTest = TableTest<FrontEndTest, Absence>;

// An absent optional entry point is refused on every call, without calling
// anything; everything else still works.
TEST_P(AbsentEntryPointTest, AbsentOnesAreNotImplementedOthersForward) {
    PlaceFake(GetParam().variant, library());
    const FrontEndExports& api = LoadFrontEnd();
    const std::vector<FakeVeltFunction>& absent = GetParam().absent;
    for (const Forwarder& forwarder : Forwarders()) {
        FakeVelt_SetResult(forwarder.function, 0x2A);
        const int before = FakeVelt_CallCount();
        if (std::find(absent.begin(), absent.end(), forwarder.function) != absent.end()) {
            EXPECT_EQ(forwarder.call(api), TRELVO_E_NOT_IMPLEMENTED) << forwarder.name;
            EXPECT_EQ(forwarder.call(api), TRELVO_E_NOT_IMPLEMENTED) << forwarder.name;
            EXPECT_EQ(FakeVelt_CallCount(), before) << forwarder.name;
        } else {
            EXPECT_EQ(forwarder.call(api), 0x2Au) << forwarder.name;
            ASSERT_EQ(FakeVelt_CallCount(), before + 1) << forwarder.name;
            ExpectReceived(*FakeVelt_Call(before), forwarder, GetParam().variant);
        }
    }
    FakeVelt_SetErrorMessage("no error of the front end");
    EXPECT_STREQ(api.VELT_GetLastErrorMessage(0), "no error of the front end");
}

INSTANTIATE_TEST_SUITE_P(
    Variants, AbsentEntryPointTest,
    ::testing::Values(
        Absence{{"WithoutConnectWithURI"}, "without-connect-with-uri", {FAKE_VELT_ConnectWithURI}},
        Absence{{"WithoutOptional"},
                "without-optional",
                {FAKE_VELT_LaunchMultitonServerInstance, FAKE_VELT_ConnectWithURI,
                 FAKE_VELT_ConnectSingleton, FAKE_VELT_SelectConfigurationByFileName,
                 FAKE_VELT_SelectConfigurationByName, FAKE_VELT_GetAvailableConfigurationCount,
                 FAKE_VELT_GetAvailableConfigurations, FAKE_VELT_SetConfigurationParameters,
                 FAKE_VELT_SetClientInfo, FAKE_VELT_FinishInitialization,
                 FAKE_VELT_BeginDynamicInitialization, FAKE_VELT_CancelDynamicInitialization}}),
    CaseName());

struct InitializationFailure : NamedCase {
    bool installIncomplete;  // else nothing is installed
    VeltResult code;
};

using FailedInitializationTest = TableTest<FrontEndTest, InitializationFailure>;

TEST_P(FailedInitializationTest, EveryForwarderFailsWithItsCodeAndCallsNothing) {
    if (GetParam().installIncomplete) PlaceFake("without-required", library());
    const FrontEndExports& api = LoadFrontEnd();
    for (const Forwarder& forwarder : Forwarders()) {
        EXPECT_EQ(forwarder.call(api), GetParam().code) << forwarder.name;
    }
    EXPECT_EQ(FakeVelt_CallCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailedInitializationTest,
    ::testing::Values(InitializationFailure{{"NothingFound"}, false, 0x8000000eu},
                      InitializationFailure{{"RequiredMissing"}, true, 0x80000013u}),
    CaseName());

}  // namespace
}  // namespace TrelvoTest
