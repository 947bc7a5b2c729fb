// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace: one record per call, formed on the caller's stack and
// written with one write of at most PIPE_BUF bytes before the call returns,
// so that records never mix and a crash loses none; no lock and no
// allocation per record. Text, or the Chrome trace-event format for a name
// ending in ".json", never closed, so that the file is whole at every
// moment. docs/user-guide.md shows both layouts.
#pragma once

#include <limits.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace Internal_Trelvo {

// The file (logging/TraceFile.cpp, shared with trelvo-doctor).
inline constexpr char kTraceVariable[] = "TRELVOTRACE";
// The file that pattern names for pid (0 keeps "%p"), relative to the current
// directory, formed in name without allocating; why it cannot be, or null.
const char* TraceFileName(const char* pattern, pid_t pid, char (&name)[PATH_MAX]);
inline bool IsJsonTraceFile(std::string_view path) {
    return path.size() >= 5 && path.substr(path.size() - 5) == ".json";
}
// Opened to append, blocking, close-on-exec, emptying nothing, as root in a
// shared directory too: a new name exclusively, mode 0600; an existing one
// judged by lstat before it is opened and by fstat after. /dev/stdout and
// /dev/stderr: a duplicate of the process's own descriptor, never to be
// emptied.
struct TraceFile {
    int fd, error;  // error: errno, when there is no descriptor and no refusal
    mode_t type;    // S_IFREG, S_IFIFO or S_IFCHR (a terminal)
    const char* refusal;
};
TraceFile OpenTraceFile(const char* path);
// The rule that judges a file as lstat or fstat shows it, which trelvo-doctor
// applies too: why it must not receive the trace, or null. The descriptor
// that /dev/stdout or /dev/stderr names, or -1.
const char* TraceFileRefusal(const struct stat& file, const char* path);
int OwnTraceDescriptor(const char* path);
// Field of /proc/PID/stat as proc(5) numbers it (7: the controlling
// terminal, 22: the start time), or 0; allocates nothing.
uint64_t ProcessStat(pid_t pid, int field);

// The output (logging/TraceWriter.cpp): reads TRELVOTRACE and opens the file
// once, under the caller's lock; a file refused leaves tracing off.
void StartCallTrace() noexcept;
bool IsCallTraceStarted();
bool IsCallTraceOn();
// CLOCK_MONOTONIC in nanoseconds; BeginTracedCall gives 0 when tracing is off.
int64_t TraceClock();
inline int64_t BeginTracedCall() { return IsCallTraceOn() ? TraceClock() : 0; }

struct TraceBuffer {
    size_t size = 0;
    char data[PIPE_BUF];
};
// The layout, the process and thread (new: JSON names it first; none: tid 0),
// UTC less CLOCK_MONOTONIC; for a header the trace's start, and the process's start
// time, which with its pid tells it from an earlier one (kTraceIdentity
// reads them back).
struct TraceContext {
    bool json, newThread;
    pid_t pid, tid;
    int64_t utcOffset, origin;
    uint64_t processStart;
};
inline constexpr const char* kTraceIdentity[] = {  // text, JSON
    "# pid %d start %llu ",
    "[{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":%d,\"tid\":%*d,\"args\":{\"start\":%llu,"};
// A row of a text trace's summary. The totals only matter at the end; a
// count is published after its name.
struct TraceSummaryRow {
    std::atomic<const char*> name{nullptr};
    std::atomic<uint64_t> calls{0}, failures{0}, total{0}, longest{0};  // nanoseconds
    void Count(const char* function, bool failed, uint64_t nanoseconds) {
        name.store(function, std::memory_order_release);
        calls.fetch_add(1, std::memory_order_release);
        if (failed) failures.fetch_add(1, std::memory_order_relaxed);
        total.fetch_add(nanoseconds, std::memory_order_relaxed);
        uint64_t seen = longest.load();
        while (nanoseconds > seen && !longest.compare_exchange_weak(seen, nanoseconds)) {
        }
    }
};
inline constexpr int kTraceSummaryRows = 32;
// The file's beginning, or in JSON a process's naming after before.
void FormatTraceHeader(TraceBuffer& out, const TraceContext& process, const char* utc,
                       const char* before);
// The summary, like strace -c; false when no row counted a call.
bool FormatTraceSummary(TraceBuffer& out, pid_t pid,
                        const TraceSummaryRow (&rows)[kTraceSummaryRows]);

// A pointer (never followed), an integer, a text, a pointer that the call
// wrote through (shown with the value written), a word or a 32-bit code in
// hexadecimal (both quoted in JSON only).
struct TraceValue {
    enum Kind { kPointer, kInteger, kText, kWritten, kWord, kCode } kind;
    const void* pointer = nullptr;
    uint32_t integer = 0;
    TraceValue(void* pointer) : kind(kPointer), pointer(pointer) {}
    TraceValue(uint32_t integer, Kind kind = kInteger) : kind(kind), integer(integer) {}
    TraceValue(const char* text, Kind kind = kText) : kind(kind), pointer(text) {}
    TraceValue(uint32_t* written) : kind(kWritten), pointer(written) {}
};

// The formatter (logging/TraceFormat.cpp), which needs no file: in its
// buffer, on the caller's stack, the record of a call begun at start, or with
// inside set of an event inside that call, formed as the fields come for the
// process and thread that context names; none for a context without a thread.
class TraceFormat {
public:
    TraceFormat(const TraceContext& context, int64_t start, const char* name,
                const char* category = "call", const char* inside = nullptr);
    // Named as in parameters, "(arg1, status)"; a written value only where
    // the call succeeded, since a failed one may have written nothing.
    void Arguments(const char* parameters, std::initializer_list<TraceValue> values,
                   bool succeeded);
    // JSON names the value by key; text puts separator before it. Open
    // begins an object (in JSON), Close ends it.
    void Field(std::string_view key, const char* separator, const TraceValue& value);
    void Open(std::string_view key, const char* separator);
    void Close(const char* textEnd);
    const TraceBuffer& Finish(int64_t duration);  // ended duration after its start

protected:
    bool m_on;
    const char* m_name;
    int64_t m_start;

private:
    void _Key(std::string_view key, const char* separator, const char* mark = "");
    const char* m_inside;
    bool m_json;
    TraceBuffer m_out;
};

// The output's record (logging/TraceWriter.cpp): formed when tracing is on
// and start is not 0, written by End, counted in a text summary's row (if
// >= 0). errno is kept.
class TraceRecord : public TraceFormat {
public:
    TraceRecord(const char* name, int64_t start, int row = -1, const char* category = "call",
                const char* inside = nullptr) noexcept;
    void End(bool failed) noexcept;

private:
    int m_row;
};

}  // namespace Internal_Trelvo
