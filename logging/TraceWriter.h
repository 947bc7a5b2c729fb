// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace's writer: one record per call, formed on the caller's stack
// and written with one write of at most PIPE_BUF bytes before the call
// returns, so that records of threads and processes never mix and a crash
// loses none. Text, or the Chrome trace-event format for a name ending in
// ".json", never closed by a bracket: the file is whole at every moment. No
// lock and no allocation per record, and errno as the caller left it.
// docs/user-guide.md describes both layouts.
#pragma once

#include <limits.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace Internal_Trelvo {

// A text trace's summary counts up to this many functions.
inline constexpr int kMaxTracedFunctions = 32;

// Reads TRELVOTRACE (ignored in secure execution) and opens the file, once;
// a file that is refused or cannot be opened leaves tracing off, the reason
// in the debug log. The first call of any export runs it, under the front
// end's lock.
void StartCallTrace() noexcept;
bool IsCallTraceStarted();
bool IsCallTraceOn();

// CLOCK_MONOTONIC in nanoseconds; BeginTracedCall gives 0 when tracing is off.
int64_t TraceClock();
inline int64_t BeginTracedCall() { return IsCallTraceOn() ? TraceClock() : 0; }

// An argument as a record shows it: a pointer (never followed), an integer,
// a text, or a counter, the pointer to what the call writes, shown with its
// value when the call succeeded.
struct TraceValue {
    enum Kind { kPointer, kInteger, kText, kCounter };
    TraceValue(void* pointer) : kind(kPointer), pointer(pointer) {}
    TraceValue(uint32_t integer) : kind(kInteger), integer(integer) {}
    TraceValue(const char* text) : kind(kText), pointer(text) {}
    TraceValue(uint32_t* counter) : kind(kCounter), pointer(counter) {}

    Kind kind;
    const void* pointer = nullptr;
    uint32_t integer = 0;
};

struct TraceBuffer {
    size_t size = 0;
    char data[PIPE_BUF];
};

// The record of a call that began at start (0: tracing was off then), the
// function's index counting it in the summary; or, with inside set, of the
// front end's own event inside that call. The arguments, then the result,
// then End; nothing when tracing is off.
class TraceRecord {
public:
    TraceRecord(const char* name, int64_t start, int function = -1,
                const char* inside = nullptr) noexcept;
    TraceRecord(const TraceRecord&) = delete;
    TraceRecord& operator=(const TraceRecord&) = delete;

    // Named as in parameters, "(arg1, status)".
    void Arguments(const char* parameters, std::initializer_list<TraceValue> values,
                   bool succeeded);
    // The result: a code with its name or null, or a text (null: failed).
    void Code(uint32_t code, const char* codeName);
    const char* ResultText(const char* text);
    // A call that the caller made itself inside this one, and the value it
    // wrote where value is not null.
    void InnerCall(const char* name, uint32_t result, const uint32_t* value);
    void End() noexcept;

private:
    void _Key(std::string_view key, const char* mark = "");
    bool _Result();

    enum { kOff, kArguments, kResult } m_stage = kOff;
    const char* m_name;
    int64_t m_start;
    int m_function;
    const char* m_inside;
    int m_fields = 0;
    bool m_failed = false;
    TraceBuffer m_out;
};

}  // namespace Internal_Trelvo
