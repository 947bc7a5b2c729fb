// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "logging/TraceWriter.h"

#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <string>

#include "logging/InternalLogging.h"
#include "logging/TraceFile.h"
#include "utils/environment.h"
#include "utils/text.h"

namespace Internal_Trelvo {
namespace {

constexpr int64_t kSecond = 1000000000;
constexpr int64_t kDay = 86400;
// Room kept after a quoted text for the rest of its record.
constexpr size_t kTailRoom = 384;
constexpr char kCutMark[] = "\xE2\x80\xA6[cut]";

// Counted per function for the summary; relaxed, since only the totals at
// the end matter.
struct _Statistics {
    std::atomic<const char*> name{nullptr};
    std::atomic<uint64_t> calls{0};
    std::atomic<uint64_t> failures{0};
    std::atomic<uint64_t> totalNanoseconds{0};
    std::atomic<uint64_t> maxNanoseconds{0};

    void count(const char* function, bool failed, uint64_t nanoseconds) {
        name.store(function, std::memory_order_relaxed);
        calls.fetch_add(1, std::memory_order_relaxed);
        if (failed) failures.fetch_add(1, std::memory_order_relaxed);
        totalNanoseconds.fetch_add(nanoseconds, std::memory_order_relaxed);
        uint64_t longest = maxNanoseconds.load(std::memory_order_relaxed);
        while (nanoseconds > longest && !maxNanoseconds.compare_exchange_weak(
                                            longest, nanoseconds, std::memory_order_relaxed)) {
        }
    }
    void reset() { calls = failures = totalNanoseconds = maxNanoseconds = 0; }
};

// The trace of this process. Trivially destructible, so that threads still
// calling while the process exits find it whole. Written by StartCallTrace
// under the front end's lock, in a child after fork, and by the first record
// of a "%p" child; the records only read it.
struct _Trace {
    std::atomic<bool> started{false};
    std::atomic<bool> on{false};
    bool json = false;
    bool pipe = false;
    bool perProcess = false;
    // Never closed: another thread may still write through it, and its
    // number must never reach a file that the program opens later.
    std::atomic<int> fd{-1};
    std::atomic<pid_t> pid{0};
    std::atomic<pid_t> namedProcess{0};  // the process last named in a JSON file
    std::atomic<int> writeError{0};      // the first, which stopped the trace
    std::atomic<int> writers{0};         // threads inside write()
    int64_t monotonicOrigin = 0;         // the trace's start on both clocks
    int64_t realtimeOrigin = 0;
    // A child of fork with "%p" in the name opens its own file at its first
    // record, so that children that only exec leave no file behind.
    enum FileState { kReady, kPending, kOpening };
    std::atomic<FileState> file{kReady};
    char pattern[PATH_MAX] = {};
    char path[PATH_MAX] = {};
    _Statistics statistics[kMaxTracedFunctions];
} _trace;

// The thread's kernel id, asked once per thread and process. Initial-exec
// and without a destructor, so that its first use allocates nothing.
struct _Thread {
    pid_t process;
    pid_t id;
};
__attribute__((tls_model("initial-exec"))) thread_local _Thread t_thread;

// A traced call leaves errno as the implementation left it.
struct _KeptErrno {
    const int saved = errno;
    ~_KeptErrno() { errno = saved; }
};

int64_t _Nanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * kSecond + now.tv_nsec;
}

// SIGPIPE blocked around the write, and the one that a FIFO without a reader
// raises taken back (unless one was already pending): EPIPE ends the trace,
// never the process.
ssize_t _WriteToPipe(int fd, const char* data, size_t size) {
    sigset_t pipeSignal, saved, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigprocmask(SIG_BLOCK, &pipeSignal, &saved);
    const bool wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
    const ssize_t written = write(fd, data, size);
    const int error = errno;
    const timespec now{};
    if (written < 0 && error == EPIPE && !wasPending) sigtimedwait(&pipeSignal, nullptr, &now);
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    errno = error;
    return written;
}

// One write, whole or not at all: a failure stops the trace, and is logged
// at its end.
void _Send(int fd, const char* data, size_t size) {
    ssize_t written;
    do {
        written = _trace.pipe ? _WriteToPipe(fd, data, size) : write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(size)) return;
    int none = 0;
    _trace.writeError.compare_exchange_strong(none, written < 0 ? errno : EIO);
    _trace.on = false;
}

// Counted, so that the trace's end can wait for the writes in flight.
void _Write(const char* data, size_t size) {
    _trace.writers.fetch_add(1);
    const int fd = _trace.fd.load(std::memory_order_relaxed);
    if (fd >= 0 && _trace.on.load()) _Send(fd, data, size);
    _trace.writers.fetch_sub(1);
}

// The length of the well-formed UTF-8 sequence (RFC 3629) at text, or the
// negated length of its maximal ill-formed subpart.
int _Utf8Sequence(const unsigned char* text) {
    const unsigned char lead = text[0];
    unsigned char low = 0x80, high = 0xBF;
    int length;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return -1;
    }
    for (int i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
        if (text[i] < low || text[i] > high) return -i;
    }
    return length;
}

// "HH:MM:SS.uuuuuu" in UTC; with date "YYYY-MM-DDTHH:MM:SS.uuuuuuZ".
void _WallClock(TraceRecord& out, int64_t utc, bool date) {
    const int64_t seconds = utc / kSecond;
    if (date) {  // days since 1970 to the civil date, in 400-year eras from 0000-03-01
        const int64_t days = seconds / kDay + 719468, era = days / 146097;
        const int64_t dayOfEra = days - era * 146097;
        const int64_t yearOfEra =
            (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
        const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
        out.Number(static_cast<uint64_t>(yearOfEra + era * 400 + (month <= 2)), 10, 4);
        out.Put("-");
        out.Number(static_cast<uint64_t>(month), 10, 2);
        out.Put("-");
        out.Number(static_cast<uint64_t>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1), 10, 2);
        out.Put("T");
    }
    const auto ofDay = static_cast<uint64_t>(seconds % kDay);
    out.Number(ofDay / 3600, 10, 2);
    out.Put(":");
    out.Number(ofDay / 60 % 60, 10, 2);
    out.Put(":");
    out.Number(ofDay % 60, 10, 2);
    out.Put(".");
    out.Number(static_cast<uint64_t>(utc % kSecond / 1000), 10, 6);
    if (date) out.Put("Z");
}

int64_t _Utc(int64_t monotonic) {
    return _trace.realtimeOrigin + (monotonic - _trace.monotonicOrigin);
}

// The metadata event naming the process, with the trace's start on both
// clocks. Returns the size of out up to the comma after the pid.
size_t _ProcessEvent(TraceRecord& out, pid_t pid) {
    out.Put("{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":");
    out.Number(static_cast<uint64_t>(pid));
    out.Put(",");
    const size_t identity = out.size();
    out.Put("\"tid\":");
    out.Number(static_cast<uint64_t>(pid));
    out.Put(",\"args\":{\"name\":");
    out.Quoted(program_invocation_short_name);
    out.Put(",\"utc\":\"");
    _WallClock(out, _trace.realtimeOrigin, true);
    out.Put("\",\"ts\":");
    out.Microseconds(_trace.monotonicOrigin, 1);
    out.Put("}}");
    return identity;
}

// The file's beginning; its part up to the process id, whose size is
// returned, tells a file that this process began (a reload of the front end).
size_t _Header(TraceRecord& out, pid_t pid) {
    if (_trace.json) {
        out.Put("[");
        return _ProcessEvent(out, pid);
    }
    out.Put("# pid ");
    out.Number(static_cast<uint64_t>(pid));
    out.Put(" ");
    const size_t identity = out.size();
    out.Quoted(program_invocation_short_name);
    out.Put(" trace started ");
    _WallClock(out, _trace.realtimeOrigin, true);
    out.Put(" at CLOCK_MONOTONIC ");
    out.Number(static_cast<uint64_t>(_trace.monotonicOrigin / kSecond));
    out.Put(".");
    out.Number(static_cast<uint64_t>(_trace.monotonicOrigin % kSecond / 1000), 10, 6);
    out.Put(" s\n");
    return identity;
}

bool _BeginsWith(int fd, const char* head, size_t size) {
    char read[64];
    return size <= sizeof read && pread(fd, read, size, 0) == static_cast<ssize_t>(size) &&
           memcmp(read, head, size) == 0;
}

void _CannotTrace(const std::string& path, const std::string& problem) {
    LogText(("Cannot trace calls to \"" + path + "\": " + problem).c_str());
}

// A new file, or one that this process began before a reload, which is
// appended to; any other is emptied.
void _Open() {
    const pid_t pid = _trace.pid;
    const std::string path = TraceFilePath(_trace.pattern, pid);
    if (path.size() >= sizeof _trace.path) return _CannotTrace(path, "the name is too long");
    path.copy(_trace.path, path.size());
    _trace.path[path.size()] = 0;
    _trace.json = IsJsonTraceFile(path);
    const TraceFile file = OpenTraceFile(path);
    if (file.fd < 0) return _CannotTrace(path, file.problem);
    TraceRecord header, out;
    const size_t identity = _Header(header, pid);
    const bool reload = file.type == S_IFREG && _BeginsWith(file.fd, header.data(), identity);
    if (!reload && file.type == S_IFREG && ftruncate(file.fd, 0) != 0) {
        _CannotTrace(path, InternalUtils::geterrormessage(errno));
        close(file.fd);
        return;
    }
    out.Put(reload && _trace.json ? ",\n" : header.data(), reload && _trace.json ? 2 : 1);
    out.Put(header.data() + 1, header.size() - 1);
    _trace.pipe = file.type == S_IFIFO;
    _trace.namedProcess = pid;
    _trace.fd = file.fd;
    _trace.on = true;
    _Write(out.data(), out.size());
    LogText(("Tracing calls to \"" + path + "\"").c_str());
}

// A child of fork is a process of its own: it counts its own calls, and
// with "%p" in the name writes its own file; otherwise it goes on appending
// to its parent's. It has one thread now, so the parent's descriptor can go.
void _StartInChild() {
    _trace.pid = getpid();
    for (_Statistics& statistics : _trace.statistics) statistics.reset();
    if (!_trace.perProcess) return;
    close(_trace.fd.exchange(-1));
    _trace.file = _Trace::kPending;
}

// The first record of such a child opens its file; its other threads wait
// for that rather than lose their records.
void _OpenPendingFile() {
    auto pending = _Trace::kPending;
    if (_trace.file.compare_exchange_strong(pending, _Trace::kOpening)) {
        try {
            _Open();
        } catch (...) {
            // No memory for the name: the child's records are dropped.
        }
        _trace.file = _Trace::kReady;
    }
    while (_trace.file.load() == _Trace::kOpening) sched_yield();
}

bool _Recording() {
    if (!IsCallTraceOn()) return false;
    if (_trace.file.load(std::memory_order_acquire) != _Trace::kReady) _OpenPendingFile();
    return _trace.fd.load(std::memory_order_relaxed) >= 0;
}

// Sorted by total time, like strace -c.
void _WriteSummary() {
    size_t order[kMaxTracedFunctions], count = 0;
    uint64_t allNanoseconds = 0;
    const _Statistics* statistics = _trace.statistics;
    for (size_t i = 0; i < kMaxTracedFunctions; ++i) {
        if (statistics[i].calls == 0) continue;
        allNanoseconds += statistics[i].totalNanoseconds;
        size_t at = count++;
        for (;
             at > 0 && statistics[order[at - 1]].totalNanoseconds < statistics[i].totalNanoseconds;
             --at) {
            order[at] = order[at - 1];
        }
        order[at] = i;
    }
    TraceRecord out;
    out.Put("# summary of pid ");
    out.Number(static_cast<uint64_t>(_trace.pid.load()));
    out.Put(" ");
    out.Quoted(program_invocation_short_name);
    out.Put(
        ", by total time\n# time %    total us     mean us      max us    calls failures"
        " function\n");
    for (size_t i = 0; i < count; ++i) {
        const _Statistics& row = statistics[order[i]];
        const uint64_t total = row.totalNanoseconds, calls = row.calls;
        const uint64_t share = allNanoseconds == 0 ? 0 : total * 10000 / allNanoseconds;
        out.Put("# ");
        out.Number(share / 100, 10, 3, ' ');
        out.Put(".");
        out.Number(share % 100, 10, 2);
        out.Microseconds(static_cast<int64_t>(total), 12);
        out.Microseconds(static_cast<int64_t>(total / calls), 12);
        out.Microseconds(static_cast<int64_t>(row.maxNanoseconds), 12);
        out.Number(calls, 10, 9, ' ');
        out.Number(row.failures, 10, 9, ' ');
        out.Put(" ");
        out.Put(row.name.load());
        out.Put("\n");
    }
    _Send(_trace.fd, out.data(), out.size());
}

// At unload and at exit, which a library cannot tell apart. The trace stops,
// and the writes of other threads still calling are waited for (a second
// at most): the end of the process would cut a write short where it crosses
// a page of the file. Then a text trace gets its summary; a JSON one
// nothing, being whole already.
[[gnu::destructor]] void _EndTrace() {
    const bool wasOn = _trace.on.exchange(false);
    for (int wait = 0; wait < 1000 && _trace.writers != 0; ++wait) usleep(1000);
    if (wasOn && !_trace.json && _trace.fd >= 0) _WriteSummary();
    if (const int error = _trace.writeError) {
        LogText(("Cannot write the call trace to \"" + std::string(_trace.path) +
                 "\": " + InternalUtils::geterrormessage(error))
                    .c_str());
    }
}

}  // namespace

void StartCallTrace() noexcept {
    if (_trace.started) return;
    try {
        const std::string pattern = InternalUtils::getenvvar(kTraceVariable);
        if (pattern.size() >= sizeof _trace.pattern) {
            _CannotTrace(pattern, "the name is too long");
        } else if (!pattern.empty()) {
            pattern.copy(_trace.pattern, pattern.size());
            _trace.perProcess = IsPerProcessTracePattern(pattern);
            _trace.pid = getpid();
            _trace.monotonicOrigin = TraceClock();
            _trace.realtimeOrigin = _Nanoseconds(CLOCK_REALTIME);
            _Open();
            if (_trace.on) pthread_atfork(nullptr, nullptr, _StartInChild);
        }
    } catch (...) {
        // No memory for the name: no trace.
    }
    _trace.started = true;
}

bool IsCallTraceStarted() { return _trace.started.load(std::memory_order_acquire); }

bool IsCallTraceOn() { return _trace.on.load(std::memory_order_relaxed); }

int64_t TraceClock() { return _Nanoseconds(CLOCK_MONOTONIC); }

TraceRecord::TraceRecord(const char* name, int64_t start, const char* inside) noexcept
    : m_name(name), m_start(start), m_inside(inside) {
    if (start == 0) return;
    const _KeptErrno kept;
    if (!_Recording()) return;
    m_stage = kArguments;
    const pid_t pid = _trace.pid.load(std::memory_order_relaxed);
    const bool newThread = t_thread.process != pid;
    if (newThread) t_thread = {pid, static_cast<pid_t>(syscall(SYS_gettid))};
    if (!_trace.json) {
        _WallClock(*this, _Utc(start), false);
        Put(" ");
        Number(static_cast<uint64_t>(pid));
        Put("/");
        Number(static_cast<uint64_t>(t_thread.id));
        Put(inside != nullptr ? " -- " : " ");
        Put(name);
        if (inside == nullptr) Put("(");
        return;
    }
    if (_trace.namedProcess.exchange(pid) != pid) {
        Put(",\n");
        _ProcessEvent(*this, pid);
    }
    if (newThread) {
        char threadName[16] = "";  // the program's name unless it named the thread
        prctl(PR_GET_NAME, threadName);
        Put(",\n{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":");
        Number(static_cast<uint64_t>(pid));
        Put(",\"tid\":");
        Number(static_cast<uint64_t>(t_thread.id));
        Put(",\"args\":{\"name\":");
        Quoted(threadName);
        Put("}}");
    }
    Put(",\n{\"name\":");
    Quoted(name);
    Put(inside != nullptr ? ",\"cat\":\"front end\",\"ph\":\"X\",\"pid\":"
                          : ",\"cat\":\"call\",\"ph\":\"X\",\"pid\":");
    Number(static_cast<uint64_t>(pid));
    Put(",\"tid\":");
    Number(static_cast<uint64_t>(t_thread.id));
    Put(",\"ts\":");
    Microseconds(start, 1);
    Put(",\"args\":{");
}

void TraceRecord::_Name(const char* name) {
    const bool first = m_arguments++ == 0;
    if (!_trace.json) return Put(m_inside != nullptr ? " " : first ? "" : ", ");
    Put(first ? "\"" : ",\"");
    Put(name);
    Put("\":");
}

// "0x" and the digits, in quotes in JSON.
void TraceRecord::_Hex(const char* quote, uint64_t value, int width) {
    Put(quote);
    Put("0x");
    Number(value, 16, width);
    Put(quote);
}

void TraceRecord::Pointer(const char* name, const void* pointer) {
    if (m_stage != kArguments) return;
    _Name(name);
    if (pointer == nullptr) return Put("null");
    _Hex(_trace.json ? "\"" : "", reinterpret_cast<uintptr_t>(pointer), 1);
}

void TraceRecord::Integer(const char* name, uint64_t value) {
    if (m_stage != kArguments) return;
    _Name(name);
    Number(value);
}

void TraceRecord::Text(const char* name, const char* text) {
    if (m_stage != kArguments) return;
    _Name(name);
    Quoted(text);
}

void TraceRecord::PointerTo(const char* name, const void* pointer, const uint32_t* value) {
    Pointer(name, pointer);
    if (m_stage != kArguments || value == nullptr) return;
    if (_trace.json) {
        Put(",\"*");
        Put(name);
        Put("\":");
    } else {
        Put(" -> ");
    }
    Number(*value);
}

void TraceRecord::_Result() {
    Put(!_trace.json ? ") = " : m_arguments > 0 ? ",\"result\":" : "\"result\":");
    m_stage = kResult;
}

void TraceRecord::Code(uint32_t code, const char* codeName) {
    if (m_stage != kArguments) return;
    _Result();
    _Hex(_trace.json ? "\"" : "", code, 8);
    if (codeName == nullptr) return;
    Put(_trace.json ? ",\"resultName\":\"" : " ");
    Put(codeName);
    Put(_trace.json ? "\"" : "");
}

void TraceRecord::ResultText(const char* text) {
    if (m_stage != kArguments) return;
    _Result();
    Quoted(text);
}

void TraceRecord::InnerCall(const char* name, uint32_t result, const uint32_t* value) {
    if (m_stage != kResult) return;
    if (_trace.json) {
        Put(",\"frontEndCall\":{\"name\":\"");
        Put(name);
        Put("\",\"result\":");
        _Hex("\"", result, 8);
        if (value != nullptr) Put(",\"counter\":");
    } else {
        Put(" [by the front end: ");
        Put(name);
        Put(value != nullptr ? "(-> " : "(");
    }
    if (value != nullptr) Number(*value);
    if (!_trace.json) {
        Put(") = ");
        _Hex("", result, 8);
    }
    Put(_trace.json ? "}" : "]");
}

void TraceRecord::End(int function, bool failed) noexcept {
    if (m_stage == kOff) return;
    const _KeptErrno kept;
    const int64_t duration = TraceClock() - m_start;
    if (function >= 0 && static_cast<size_t>(function) < kMaxTracedFunctions) {
        _trace.statistics[function].count(m_name, failed, static_cast<uint64_t>(duration));
    }
    if (_trace.json) {
        if (m_inside != nullptr) {
            Put(",\"in\":\"");
            Put(m_inside);
            Put("\"");
        }
        Put("},\"dur\":");
        Microseconds(duration, 1);
        Put("}");
    } else {
        Put(" <");
        Microseconds(duration, 1);
        Put("us>");
        if (m_inside != nullptr) {
            Put(" (in ");
            Put(m_inside);
            Put(")");
        }
        Put("\n");
    }
    _Write(m_data, m_size);
    m_stage = kOff;
}

void TraceRecord::Put(const char* text, size_t length) {
    length = std::min(length, sizeof m_data - m_size);
    memcpy(m_data + m_size, text, length);
    m_size += length;
}

void TraceRecord::Put(const char* text) { Put(text, strlen(text)); }

void TraceRecord::Number(uint64_t value, int base, int width, char pad) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
    for (auto length = end - digits; length < width; ++length) Put(&pad, 1);
    Put(digits, static_cast<size_t>(end - digits));
}

void TraceRecord::Microseconds(int64_t nanoseconds, int width) {
    const auto value = static_cast<uint64_t>(nanoseconds);
    Number(value / 1000, 10, width - 4, ' ');
    Put(".");
    Number(value % 1000, 10, 3);
}

void TraceRecord::Quoted(const char* text) {
    if (text == nullptr) return Put("null");
    constexpr size_t kLimit = PIPE_BUF - kTailRoom - sizeof kCutMark;
    Put("\"");
    for (auto* at = reinterpret_cast<const unsigned char*>(text); *at != 0;) {
        const int sequence = _Utf8Sequence(at);
        char escaped[8] = {'\\', static_cast<char>(*at)};
        const char* bytes = escaped;
        size_t length = 2;
        if (sequence < 0) {
            bytes = "\\ufffd";
            length = 6;
        } else if (*at < 0x20 || *at == 0x7F) {
            memcpy(escaped + 1, "u00", 3);
            escaped[4] = "0123456789abcdef"[*at >> 4];
            escaped[5] = "0123456789abcdef"[*at & 0xF];
            length = 6;
        } else if (*at != '"' && *at != '\\') {
            bytes = reinterpret_cast<const char*>(at);
            length = static_cast<size_t>(sequence);
        }
        if (m_size + length > kLimit) {
            Put(kCutMark);
            break;
        }
        Put(bytes, length);
        at += sequence < 0 ? -sequence : sequence;
    }
    Put("\"");
}

}  // namespace Internal_Trelvo
