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

// The output (logging/TraceWriter.cpp): reads TRELVOTRACE and opens the
// file, once, under the caller's lock, at its first traced call. A file
// refused leaves tracing off. A text trace ends with a summary of its rows.
void StartCallTrace() noexcept;
bool IsCallTraceStarted();
bool IsCallTraceOn();
inline constexpr int kTraceSummaryRows = 32;

// CLOCK_MONOTONIC in nanoseconds; BeginTracedCall gives 0 when tracing is off.
int64_t TraceClock();
inline int64_t BeginTracedCall() { return IsCallTraceOn() ? TraceClock() : 0; }

// What a record is formed for: the layout, the process and the thread (new:
// JSON names it first), and UTC less CLOCK_MONOTONIC.
struct TraceContext {
    bool json, newThread;
    pid_t pid, tid;
    int64_t utcOffset;
};
struct TraceBuffer {
    size_t size = 0;
    char data[PIPE_BUF];
};
// The output's side of a record: whether to form it, and how; then the
// record formed, counted in the summary's row (if 0 or more) and written.
bool OpenTraceRecord(TraceContext& context);
void WriteTraceRecord(const TraceBuffer& record, int row, const char* name, bool failed,
                      int64_t duration);

// The trace's start in a process: its start time (/proc/PID/stat field 22,
// which with the pid tells it from an earlier process), UTC, CLOCK_MONOTONIC.
struct TraceOrigin {
    uint64_t processStart;
    int64_t monotonic;
    char utc[40];
};
// The file's beginning, or in JSON a process's naming after before: first
// the writer's pid and start time, which kTraceIdentity reads back.
void FormatTraceHeader(TraceBuffer& out, const TraceContext& process, const TraceOrigin& origin,
                       const char* before);
inline constexpr const char* kTraceIdentity[] = {  // text, JSON
    "# pid %d start %llu ",
    "[{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":%d,\"tid\":%*d,\"args\":{\"start\":%llu,"};
struct TraceSummaryRow {
    uint64_t calls, failures, total, longest;  // nanoseconds
    const char* name;
};
void FormatTraceSummary(TraceBuffer& out, pid_t pid, TraceSummaryRow (&rows)[kTraceSummaryRows]);

// A value: a pointer (never followed), an integer, a text, a pointer that the
// call wrote through (shown with the value written), a word or a 32-bit code
// in hexadecimal (both quoted in JSON only).
struct TraceValue {
    enum Kind { kPointer, kInteger, kText, kWritten, kWord, kCode } kind;
    const void* pointer = nullptr;
    uint32_t integer = 0;
    TraceValue(void* pointer) : kind(kPointer), pointer(pointer) {}
    TraceValue(uint32_t integer, Kind kind = kInteger) : kind(kind), integer(integer) {}
    TraceValue(const char* text, Kind kind = kText) : kind(kind), pointer(text) {}
    TraceValue(uint32_t* written) : kind(kWritten), pointer(written) {}
};

// The formatter (logging/TraceFormat.cpp): the record of a call named name
// that began at start (0: tracing was off then), or with inside set of an
// event inside that call, formed on the stack as the fields come and given
// to the output by End, with errno as the caller left it.
class TraceRecord {
public:
    TraceRecord(const char* name, int64_t start, int row = -1, const char* category = "call",
                const char* inside = nullptr) noexcept;
    // Named as in parameters, "(arg1, status)"; a written value only where
    // the call succeeded, since a failed one may have written nothing.
    void Arguments(const char* parameters, std::initializer_list<TraceValue> values,
                   bool succeeded);
    // JSON names the value by key; text puts separator before it.
    void Field(std::string_view key, const char* separator, const TraceValue& value);
    void Open(std::string_view key, const char* separator);  // a JSON object, till Close
    void Close(const char* textEnd);
    void End(bool failed) noexcept;

private:
    void _Key(std::string_view key, const char* separator, const char* mark = "");

    bool m_on = false;
    const char *m_name, *m_inside;
    int64_t m_start;
    int m_row, m_fields = 0;
    TraceContext m_context{};
    TraceBuffer m_out;
};

}  // namespace Internal_Trelvo
