// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Forwarded calls of a ready front end allocate nothing. This executable
// replaces malloc, calloc and realloc and exports them, so that the private
// copy of the front end it loads binds to them too; libstdc++'s operator new
// allocates through malloc, so it is counted as well. Under a sanitizer, whose
// runtime owns the allocator and must see every block, its allocation hook
// counts instead.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>

#include "FrontEnd.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TRELVO_SANITIZED_ALLOCATOR 1
// The sanitizers' runtime defines it; GCC ships no header that declares it.
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*allocated)(const volatile void* block, size_t size),
    void (*freed)(const volatile void* block));
#else
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
}
#endif

namespace {

// Zero-initialized before any constructor runs: malloc is called that early.
std::atomic<bool> s_counting{false};
std::atomic<long> s_allocations{0};

void CountAllocation() {
    if (s_counting.load(std::memory_order_relaxed)) {
        s_allocations.fetch_add(1, std::memory_order_relaxed);
    }
}

#ifdef TRELVO_SANITIZED_ALLOCATOR
void CountHookedAllocation(const volatile void*, size_t) { CountAllocation(); }
// Installing needs both hooks.
void IgnoreFree(const volatile void*) {}

[[maybe_unused]] const int s_hooked =
    __sanitizer_install_malloc_and_free_hooks(CountHookedAllocation, IgnoreFree);
#endif

}  // namespace

#ifndef TRELVO_SANITIZED_ALLOCATOR
extern "C" void* malloc(size_t size) noexcept {
    CountAllocation();
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size) noexcept {
    CountAllocation();
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* pointer, size_t size) noexcept {
    CountAllocation();
    return __libc_realloc(pointer, size);
}
#endif

namespace {

constexpr long kCalls = 1000000;

// The allocations made while body runs.
template <typename Body>
long AllocationsDuring(Body body) {
    s_allocations.store(0);
    s_counting.store(true);
    body();
    s_counting.store(false);
    return s_allocations.load();
}

// A private copy of the front end with the null implementation beside it, the
// log off.
class ForwardingAllocationTest : public TrelvoTest::FrontEndTest {
protected:
    ForwardingAllocationTest() {
        environment().unset("TRELVODEBUG");
        PlaceFake("null", library());
        LoadFrontEnd();
    }

    void ExpectTheNullImplementationIsUsed() const {
        const std::string expected = library() + "/" + TrelvoTest::kImplementationName;
        EXPECT_STREQ(m_api.Trelvo_GetVeltApiImplementationPath(), expected.c_str());
    }
};

// Without this the zero below could come from allocations that are never seen.
TEST_F(ForwardingAllocationTest, AllocationsOfTheFirstCallAreCounted) {
    ASSERT_NE(m_api.VELT_Connect, nullptr);
    VeltResult result = 1;
    EXPECT_GT(AllocationsDuring([&] { result = m_api.VELT_Connect(nullptr); }), 0);
    EXPECT_EQ(result, 0u);
    ExpectTheNullImplementationIsUsed();
}

TEST_F(ForwardingAllocationTest, AMillionReadyCallsOfEachBindingAllocateNothing) {
    ASSERT_NE(m_api.VELT_Connect, nullptr);
    ASSERT_NE(m_api.VELT_SetConfigurationParameters, nullptr);
    ASSERT_EQ(m_api.VELT_Connect(nullptr), 0u);
    VeltResult results = 0;
    const long allocations = AllocationsDuring([&] {
        for (long call = 0; call < kCalls; ++call) {
            results |= m_api.VELT_Connect(nullptr);
            results |= m_api.VELT_SetConfigurationParameters(7, nullptr, nullptr);
        }
    });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(results, 0u);
    ExpectTheNullImplementationIsUsed();
}

}  // namespace
