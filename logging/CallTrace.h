// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace: one record per call of an export, written to the file that
// TRELVOTRACE names (logging/TraceFile.h) before the call returns, in one
// write, so that records of threads and processes never mix and a crash
// loses none. Text, or the Chrome trace-event format for a name ending in
// ".json". A text trace ends with a summary per function when the front end
// is unloaded or the process exits; a JSON trace ends with its closing
// bracket then. docs/user-guide.md describes both layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "api/EntryPoints.h"

namespace Internal_Trelvo {

// The 20 entry points in binding order, then the two path functions.
inline constexpr size_t kTracedFunctionCount = kEntryPointCount + 2;

struct TracedFunction {
    size_t index;  // below kTracedFunctionCount
    const char* name;
    const char* parameters;  // the parameters' names, as in "(arg1, arg2)"
};

// When a call began; all zero when tracing was off.
struct TraceStart {
    int64_t monotonic;  // nanoseconds
    int64_t realtime;   // nanoseconds since the epoch
};

// An argument as the trace shows it. Pass-through values are shown, never
// followed; a counter (uint32_t *status, *lastClient) is read when the
// record is written, after the call.
struct TraceArgument {
    enum class Kind { Pointer, Integer, Counter, Text };
    TraceArgument(void* pointer) : kind(Kind::Pointer), pointer(pointer) {}
    TraceArgument(uint32_t integer) : kind(Kind::Integer), integer(integer) {}
    TraceArgument(uint32_t* counter) : kind(Kind::Counter), pointer(counter) {}
    TraceArgument(const char* text) : kind(Kind::Text), pointer(text) {}

    Kind kind;
    const void* pointer = nullptr;
    uint32_t integer = 0;
};

// What a call returned: a result code, or a text (null counts as a failure).
struct TraceResult {
    TraceResult(uint32_t code) : code(code) {}
    TraceResult(const char* text) : isText(true), text(text) {}

    bool isText = false;
    uint32_t code = 0;
    const char* text = nullptr;
};

// A call that the front end made itself inside an export, and what the
// implementation wrote through its counter.
struct TraceInnerCall {
    const char* name;
    uint32_t result;
    uint32_t counter;
};

// Reads TRELVOTRACE (ignored in secure execution) and creates the file; a
// file that cannot be created leaves tracing off, and the reason goes to the
// debug log. Runs once; the first call of any export runs it, under the
// front end's lock.
void StartCallTrace() noexcept;
bool IsCallTraceStarted();
bool IsCallTraceOn();

// The clocks now.
TraceStart TraceNow();
// TraceNow when tracing is on.
inline TraceStart BeginTracedCall() { return IsCallTraceOn() ? TraceNow() : TraceStart{}; }

// Writes the record of a call that began at start and returns now, and
// counts it for the summary. Nothing when tracing is off.
void TraceCall(const TracedFunction& function, const TraceStart& start,
               std::initializer_list<TraceArgument> arguments, TraceResult result,
               const TraceInnerCall* inner = nullptr) noexcept;

// The front end's own events: "loaded", "unloaded", "unload failed", with
// the implementation's path.
void TraceEvent(const char* event, const std::string& path, const TraceStart& start) noexcept;

}  // namespace Internal_Trelvo
