// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace's writer: one record per call, formed on the caller's stack
// and written to the file that TRELVOTRACE names (logging/TraceFile.h) with
// one write of at most PIPE_BUF bytes before the call returns, so that
// records of threads and processes never mix and a crash loses none. Text,
// or the Chrome trace-event format for a name ending in ".json", whose
// closing bracket is never written: the file is whole at every moment. A
// text trace gets a summary per function at every end. No lock and no
// allocation per record, and errno as the caller left it. The functions and
// their values are the caller's (api/CallTrace.h); docs/user-guide.md
// describes both layouts.
#pragma once

#include <limits.h>

#include <cstddef>
#include <cstdint>

namespace Internal_Trelvo {

// The summary counts up to this many functions, by the index given to End.
inline constexpr size_t kMaxTracedFunctions = 32;

// Reads TRELVOTRACE (ignored in secure execution) and opens the file; a file
// that cannot be opened or is refused leaves tracing off, and the reason goes
// to the debug log. Runs once; the first call of any export runs it, under
// the front end's lock.
void StartCallTrace() noexcept;
bool IsCallTraceStarted();
bool IsCallTraceOn();

// CLOCK_MONOTONIC in nanoseconds; BeginTracedCall gives 0 when tracing is off.
int64_t TraceClock();
inline int64_t BeginTracedCall() { return IsCallTraceOn() ? TraceClock() : 0; }

// Parts of a record besides texts and decimal numbers.
struct TraceNumber {  // at least width digits, padded by pad
    uint64_t value;
    int width;
    int base = 10;
    char pad = '0';
};
struct TraceTime {  // microseconds with three decimals, at least width characters
    int64_t nanoseconds;
    int width;
};
// Quoted and escaped as a JSON string, ill-formed UTF-8 as one U+FFFD per
// maximal subpart, cut at a character boundary with a mark where the record
// would outgrow PIPE_BUF; null without quotes.
struct TraceQuoted {
    const char* text;
};

// The record of a call that began at start (0: tracing was off then), or
// with inside set, of the front end's own event inside that call: the
// arguments, then the result, then End. Nothing when tracing is off.
class TraceRecord {
public:
    TraceRecord() = default;  // a plain buffer
    TraceRecord(const char* name, int64_t start, const char* inside = nullptr) noexcept;
    TraceRecord(const TraceRecord&) = delete;
    TraceRecord& operator=(const TraceRecord&) = delete;

    void Pointer(const char* name, const void* pointer);
    void Integer(const char* name, uint64_t value);
    void Text(const char* name, const char* text);
    // The pointer, and the value behind it where value is not null.
    void PointerTo(const char* name, const void* pointer, const uint32_t* value);
    // The result: a code with its name or null, or a text.
    void Code(uint32_t code, const char* codeName);
    void ResultText(const char* text);
    // A call that the caller made itself inside this one, and the value it
    // wrote where value is not null.
    void InnerCall(const char* name, uint32_t result, const uint32_t* value);
    // Times the record and writes it; a call's with its index and whether it
    // failed, counted for the summary of a text trace.
    void End(int function = -1, bool failed = false) noexcept;

    // Appends; what does not fit is dropped.
    void Add(const char* text);
    void Add(uint64_t decimal);
    void Add(TraceNumber number);
    void Add(TraceTime time);
    void Add(TraceQuoted text);
    template <typename First, typename Second, typename... Rest>
    void Add(const First& first, const Second& second, const Rest&... rest) {
        Add(first);
        Add(second, rest...);
    }
    const char* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    enum Stage { kOff, kArguments, kResult };
    bool _Argument(const char* name);  // false when the record is off
    bool _Result();
    void _Put(const char* bytes, size_t length);

    Stage m_stage = kOff;
    const char* m_name = nullptr;
    int64_t m_start = 0;
    const char* m_inside = nullptr;
    int m_arguments = 0;
    size_t m_size = 0;
    char m_data[PIPE_BUF];
};

}  // namespace Internal_Trelvo
