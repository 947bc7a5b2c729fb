// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace's writer: one record per call, formed on the caller's stack
// and written with one write of at most PIPE_BUF bytes before the call
// returns, so that records never mix and a crash loses none. Text, or the
// Chrome trace-event format for a name ending in ".json", whose closing
// bracket is never written, so that the file is whole at every moment. No
// lock and no allocation per record. docs/user-guide.md shows both layouts.
#pragma once

#include <limits.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace Internal_Trelvo {

// The file (logging/TraceFile.cpp, shared with trelvo-doctor).
inline constexpr char kTraceVariable[] = "TRELVOTRACE";

// The file that pattern names for the process pid (0 keeps "%p"), formed in
// name without allocating, a relative pattern joined to the current
// directory; why it cannot be formed, or null.
const char* TraceFileName(const char* pattern, pid_t pid, char (&name)[PATH_MAX]);
inline bool IsJsonTraceFile(std::string_view path) {
    return path.size() >= 5 && path.substr(path.size() - 5) == ".json";
}

struct TraceFile {
    int fd;
    mode_t type;          // S_IFREG, S_IFIFO or S_IFCHR (a terminal)
    bool own;             // a duplicate of the process's standard output or error
    const char* refusal;  // why there is no descriptor, or errno's
    int error;
};

// Opens path to append, blocking, close-on-exec, emptying nothing; as root in
// a shared directory too: a new file exclusively, mode 0600; an existing one
// only as a regular file with one link, a FIFO or a terminal of the effective
// user (or /dev/tty), judged before it is opened and on its descriptor, never
// through a symlink. /dev/stdout and /dev/stderr are the process's own.
TraceFile OpenTraceFile(const char* path);
// Why the file would be refused, by the same rules, without opening it.
std::string TraceFileProblem(const char* path);
// Field of /proc/PID/stat as proc(5) numbers it (7: the controlling
// terminal, 22: the start time), or 0; allocates nothing.
uint64_t ProcessStat(pid_t pid, int field);

inline constexpr int kMaxTracedFunctions = 32;  // in a text trace's summary

// Reads TRELVOTRACE and opens the file, once, under the front end's lock: the
// first call of any export runs it. A file refused leaves tracing off.
void StartCallTrace() noexcept;
bool IsCallTraceStarted();
bool IsCallTraceOn();

// CLOCK_MONOTONIC in nanoseconds; BeginTracedCall gives 0 when tracing is off.
int64_t TraceClock();
inline int64_t BeginTracedCall() { return IsCallTraceOn() ? TraceClock() : 0; }

// A pointer (never followed), an integer, a text, or a counter: the pointer
// that the call writes through, shown with the value written.
struct TraceValue {
    TraceValue(void* pointer) : kind(kPointer), pointer(pointer) {}
    TraceValue(uint32_t integer) : kind(kInteger), integer(integer) {}
    TraceValue(const char* text) : kind(kText), pointer(text) {}
    TraceValue(uint32_t* counter) : kind(kCounter), pointer(counter) {}
    enum Kind { kPointer, kInteger, kText, kCounter } kind;
    const void* pointer = nullptr;
    uint32_t integer = 0;
};

// A call that the caller made itself inside the one recorded, and what it
// wrote through its counter.
struct TraceInnerCall {
    const char* name;
    uint32_t result, counter;
};

struct TraceBuffer {
    size_t size = 0;
    char data[PIPE_BUF];
};

// The record of a call that began at start (0: tracing was off then),
// counted under the function's index; or, with inside set, of the front
// end's own event inside that call. The arguments, the result, then End,
// with errno as the caller left it.
class TraceRecord {
public:
    TraceRecord(const char* name, int64_t start, int function = -1,
                const char* inside = nullptr) noexcept;

    // Named as in parameters, "(arg1, status)"; a counter's value only where
    // the call succeeded, since a failed one may have written nothing.
    void Arguments(const char* parameters, std::initializer_list<TraceValue> values,
                   bool succeeded);
    void Code(uint32_t code, const char* codeName);  // the name, or null
    const char* ResultText(const char* text);        // null: a failure
    void InnerCall(const TraceInnerCall& inner);
    void End() noexcept;

private:
    void _Key(std::string_view key, const char* separator, const char* mark = "");

    enum { kOff, kArguments, kResult } m_stage = kOff;
    const char *m_name, *m_inside;
    int64_t m_start;
    int m_function, m_fields = 0;
    bool m_failed = false;
    TraceBuffer m_out;
};

}  // namespace Internal_Trelvo
