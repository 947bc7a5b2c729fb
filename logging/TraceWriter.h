// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace's writer: one record per call, formed on the caller's stack
// and written with one write of at most PIPE_BUF bytes before the call
// returns, so that records never mix and a crash loses none. Text, or the
// Chrome trace-event format for a name ending in ".json", whose closing
// bracket is never written, so that the file is whole at every moment. No
// lock and no allocation per record, and errno as the caller left it.
// docs/user-guide.md describes both layouts.
#pragma once

#include <limits.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace Internal_Trelvo {

inline constexpr int kMaxTracedFunctions = 32;  // in a text trace's summary

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

// An argument: a pointer (never followed), an integer, a text, or a counter,
// the pointer that the call writes through, shown with the value written.
struct TraceValue {
    TraceValue(void* pointer) : kind(kPointer), pointer(pointer) {}
    TraceValue(uint32_t integer) : kind(kInteger), integer(integer) {}
    TraceValue(const char* text) : kind(kText), pointer(text) {}
    TraceValue(uint32_t* counter) : kind(kCounter), pointer(counter) {}

    enum Kind { kPointer, kInteger, kText, kCounter } kind;
    const void* pointer = nullptr;
    uint32_t integer = 0;
};

struct TraceBuffer {
    size_t size = 0;
    char data[PIPE_BUF];
};

// The record of a call that began at start (0: tracing was off then),
// counted under the function's index; or, with inside set, of the front
// end's own event inside that call. The arguments, then the result, then
// End; nothing when tracing is off.
class TraceRecord {
public:
    TraceRecord(const char* name, int64_t start, int function = -1,
                const char* inside = nullptr) noexcept;
    TraceRecord(const TraceRecord&) = delete;
    TraceRecord& operator=(const TraceRecord&) = delete;

    // Named as in parameters, "(arg1, status)"; a counter's value is shown
    // only where the call succeeded.
    void Arguments(const char* parameters, std::initializer_list<TraceValue> values,
                   bool succeeded);
    void Code(uint32_t code, const char* codeName);  // the name, or null
    const char* ResultText(const char* text);        // null: a failure
    // A call that the caller made itself inside this one, and the value it
    // wrote where value is not null.
    void InnerCall(const char* name, uint32_t result, const uint32_t* value);
    void End() noexcept;

private:
    void _Key(std::string_view key, const char* separator, const char* mark = "");
    bool _Result();

    enum { kOff, kArguments, kResult } m_stage = kOff;
    const char *m_name, *m_inside;
    int64_t m_start;
    int m_function, m_fields = 0;
    bool m_failed = false;
    TraceBuffer m_out;
};

}  // namespace Internal_Trelvo
