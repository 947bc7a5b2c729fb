// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The calls that the timing benchmarks measure: a required and an optional
// entry point, called directly through the pointers that dlsym gives for the
// implementation's functions, and through the front end's exports.
#pragma once

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>

#include <trelvo/Trelvo.h>

inline decltype(&VELT_Connect) s_directRequired = nullptr;
inline decltype(&VELT_ConnectWithURI) s_directOptional = nullptr;

template <typename Call>
void MeasureCalls(benchmark::State& state, Call call) {
    for (auto _ : state) benchmark::DoNotOptimize(call());
    state.SetItemsProcessed(state.iterations());
}

inline void DirectRequired(benchmark::State& state) {
    MeasureCalls(state, [] { return s_directRequired(nullptr); });
}

inline void ForwardedRequired(benchmark::State& state) {
    MeasureCalls(state, [] { return VELT_Connect(nullptr); });
}

inline void DirectOptional(benchmark::State& state) {
    MeasureCalls(state, [] { return s_directOptional(nullptr, nullptr); });
}

inline void ForwardedOptional(benchmark::State& state) {
    MeasureCalls(state, [] { return VELT_ConnectWithURI(nullptr, nullptr); });
}

// Initializes the front end and binds the direct pointers to the very
// functions that it forwards to.
inline bool BindDirectCalls() {
    if (VELT_Connect(nullptr) != 0) {
        std::fprintf(stderr, "the front end did not initialize: %s\n", VELT_GetLastErrorMessage(0));
        return false;
    }
    const char* path = Trelvo_GetVeltApiImplementationPath();
    void* implementation = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (implementation == nullptr) {
        std::fprintf(stderr, "%s is not loaded\n", path);
        return false;
    }
    s_directRequired =
        reinterpret_cast<decltype(s_directRequired)>(dlsym(implementation, "VELT_Connect"));
    s_directOptional =
        reinterpret_cast<decltype(s_directOptional)>(dlsym(implementation, "VELT_ConnectWithURI"));
    std::printf("implementation: %s\n", path);
    return s_directRequired != nullptr && s_directOptional != nullptr;
}
