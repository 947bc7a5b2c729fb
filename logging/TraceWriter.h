// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace: one record per call, formed on the caller's stack without
// lock or allocation and written with one write of at most PIPE_BUF bytes, so
// that records never mix and a crash loses none. Text, or Chrome's
// trace-event format for a name ending in ".json" (docs/user-guide.md).
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
// The absolute name that pattern gives for pid (0 keeps "%p"), formed without
// allocating; why there is none, or null.
const char* TraceFileName(const char* pattern, pid_t pid, char (&name)[PATH_MAX]);
inline bool IsJsonTraceFile(std::string_view path) {
    return path.size() >= 5 && path.substr(path.size() - 5) == ".json";
}
// Opened to append, emptying nothing: a new name exclusively with mode 0600,
// an existing one judged by lstat before it is opened and by fstat after;
// /dev/stdout and /dev/stderr as a duplicate of the process's descriptor.
struct TraceFile {
    int fd, error;  // error: errno, when there is neither a descriptor nor a refusal
    mode_t type;    // S_IFREG, S_IFIFO or S_IFCHR (a terminal)
    const char* refusal;
};
TraceFile OpenTraceFile(const char* path);
// Why a file, as lstat or fstat shows it, must not receive the trace, or null.
const char* TraceFileRefusal(const struct stat& file, const char* path);
int OwnTraceDescriptor(const char* path);  // for /dev/stdout or /dev/stderr, else -1
// Field of /proc/PID/stat as proc(5) numbers it (7: the controlling
// terminal, 22: the start time), or 0; allocates nothing.
uint64_t ProcessStat(pid_t pid, int field);

// The output (logging/TraceWriter.cpp). StartCallTrace reads TRELVOTRACE and
// opens the file once, under the caller's lock.
void StartCallTrace() noexcept;
bool IsCallTraceStarted();
bool IsCallTraceOn();
int64_t TraceClock();  // CLOCK_MONOTONIC in nanoseconds
inline int64_t BeginTracedCall() { return IsCallTraceOn() ? TraceClock() : 0; }

struct TraceBuffer {
    size_t size = 0;
    char data[PIPE_BUF];
};
// Who writes: a thread (none: tid 0; new: JSON names it first) of a process
// that its start time tells from an earlier one with its pid. The trace
// began at origin; UTC is CLOCK_MONOTONIC plus utcOffset.
struct TraceContext {
    bool json, newThread;
    pid_t pid, tid;
    int64_t utcOffset, origin;
    uint64_t processStart;
};
inline constexpr const char* kTraceIdentity[] = {  // the header's start, text and JSON
    "# pid %d start %llu ",
    "[{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":%d,\"tid\":%*d,\"args\":{\"start\":%llu,"};
// A row of a text trace's summary; a count is published after its name.
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
// The file's beginning, the trace's start in UTC; in JSON, a process's naming
// after before.
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

// The formatter (logging/TraceFormat.cpp), which needs no file: the record,
// in its own buffer, of a call begun at start, or of an event inside one.
// Nothing for a context without a thread.
class TraceFormat {
public:
    TraceFormat(const TraceContext& context, int64_t start, const char* name,
                const char* category = "call", const char* inside = nullptr);
    // Named as in parameters, "(arg1, status)"; a written value only where
    // the call succeeded, since a failed one may have written nothing.
    void Arguments(const char* parameters, std::initializer_list<TraceValue> values,
                   bool succeeded);
    // JSON names a value by key, text puts separator before it. In JSON,
    // Open begins an object and Close ends it.
    void Field(std::string_view key, const char* separator, const TraceValue& value);
    void Open(std::string_view key, const char* separator);
    void Close(const char* textEnd);
    const TraceBuffer& Finish(int64_t duration);

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

// The output's record: formed when tracing is on and start is not 0, written
// by End and counted in a text summary's row (if >= 0), errno kept.
class TraceRecord : public TraceFormat {
public:
    TraceRecord(const char* name, int64_t start, int row = -1, const char* category = "call",
                const char* inside = nullptr) noexcept;
    void End(bool failed) noexcept;

private:
    int m_row;
};

}  // namespace Internal_Trelvo
