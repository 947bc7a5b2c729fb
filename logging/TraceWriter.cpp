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

constexpr int64_t kSecond = 1000000000, kDay = 86400;
constexpr char kCutMark[] = "\xE2\x80\xA6[cut]";
// Where a quoted text is cut, leaving room for the rest of its record.
constexpr size_t kTextLimit = PIPE_BUF - 384;

// Counted per function for the summary; relaxed, since only the totals at
// the end matter.
struct _Statistics {
    std::atomic<const char*> name{nullptr};
    std::atomic<uint64_t> calls{0}, failures{0}, total{0}, longest{0};  // nanoseconds

    void count(const char* function, bool failed, uint64_t nanoseconds) {
        name.store(function, std::memory_order_relaxed);
        calls.fetch_add(1, std::memory_order_relaxed);
        failures.fetch_add(failed ? 1 : 0, std::memory_order_relaxed);
        total.fetch_add(nanoseconds, std::memory_order_relaxed);
        uint64_t seen = longest.load(std::memory_order_relaxed);
        while (nanoseconds > seen && !longest.compare_exchange_weak(seen, nanoseconds)) {
        }
    }
};

// The trace of this process. Trivially destructible, so that threads still
// calling while the process exits find it whole. Written by StartCallTrace
// under the front end's lock, in a child after fork, and by the first record
// of a "%p" child; the records only read it.
struct _Trace {
    std::atomic<bool> started{false}, on{false};
    bool json = false, pipe = false, perProcess = false;
    // Never closed: another thread may still write through it, and its
    // number must never reach a file that the program opens later.
    std::atomic<int> fd{-1};
    std::atomic<pid_t> pid{0};
    std::atomic<pid_t> namedProcess{0};               // the process last named in a JSON file
    std::atomic<int> writeError{0};                   // the first, which stopped the trace
    std::atomic<int> writers{0};                      // threads inside write()
    int64_t monotonicOrigin = 0, realtimeOrigin = 0;  // the trace's start
    // A child of fork with "%p" in the name opens its own file at its first
    // record, so that children that only exec leave no file behind.
    enum FileState { kReady, kPending, kOpening };
    std::atomic<FileState> file{kReady};
    char pattern[PATH_MAX] = {}, path[PATH_MAX] = {};
    _Statistics statistics[kMaxTracedFunctions];
} _trace;

// The thread's kernel id, asked once per thread and process, and whether
// it is opening a child's file. Initial-exec and without a destructor, so
// that its first use allocates nothing.
struct _Thread {
    pid_t process, id;
    bool opening;
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
void _Write(const TraceRecord& record) {
    _trace.writers.fetch_add(1);
    const int fd = _trace.fd.load(std::memory_order_relaxed);
    if (fd >= 0 && _trace.on.load()) _Send(fd, record.data(), record.size());
    _trace.writers.fetch_sub(1);
}

// The length of the well-formed UTF-8 sequence (RFC 3629) at text, or the
// negated length of its maximal ill-formed subpart.
int _Utf8Sequence(const unsigned char* text) {
    const unsigned char lead = text[0];
    if (lead < 0x80) return 1;
    if (lead < 0xC2 || lead > 0xF4) return -1;
    const int length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    // The second byte's range excludes overlong forms, surrogates and values
    // above U+10FFFF.
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (int i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
        if (text[i] < low || text[i] > high) return -i;
    }
    return length;
}

// "HH:MM:SS.uuuuuu" in UTC; with date "YYYY-MM-DDTHH:MM:SS.uuuuuuZ".
void _WallClock(TraceRecord& out, int64_t utc, bool date) {
    const int64_t seconds = utc / kSecond;
    if (date) {  // the civil date, counted in 400-year eras from 0000-03-01
        const int64_t days = seconds / kDay + 719468, era = days / 146097;
        const int64_t dayOfEra = days - era * 146097;
        const int64_t yearOfEra =
            (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const int64_t shifted = (5 * dayOfYear + 2) / 153, month = (shifted + 2) % 12 + 1;
        out.Add(static_cast<uint64_t>(yearOfEra + era * 400 + (month <= 2)), "-");
        out.Add(TraceNumber{static_cast<uint64_t>(month), 2}, "-",
                TraceNumber{static_cast<uint64_t>(dayOfYear - (153 * shifted + 2) / 5 + 1), 2},
                "T");
    }
    const auto ofDay = static_cast<uint64_t>(seconds % kDay);
    out.Add(TraceNumber{ofDay / 3600, 2}, ":", TraceNumber{ofDay / 60 % 60, 2}, ":",
            TraceNumber{ofDay % 60, 2}, ".",
            TraceNumber{static_cast<uint64_t>(utc % kSecond / 1000), 6}, date ? "Z" : "");
}

// The metadata event naming the process, with the trace's start on both
// clocks. Returns the size of out up to the comma after the pid.
size_t _ProcessEvent(TraceRecord& out, pid_t pid) {
    out.Add("{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":", pid, ",");
    const size_t identity = out.size();
    out.Add("\"tid\":", pid, ",\"args\":{\"name\":", TraceQuoted{program_invocation_short_name},
            ",\"utc\":\"");
    _WallClock(out, _trace.realtimeOrigin, true);
    out.Add("\",\"ts\":", TraceTime{_trace.monotonicOrigin, 1}, "}}");
    return identity;
}

// The file's beginning; its part up to the process id, whose size is
// returned, tells a file that this process began (a reload of the front end),
// which a JSON array goes on after a comma.
size_t _Header(TraceRecord& out, pid_t pid, bool reload = false) {
    if (_trace.json) {
        out.Add(reload ? ",\n" : "[");
        return _ProcessEvent(out, pid);
    }
    out.Add("# pid ", pid, " ");
    const size_t identity = out.size();
    out.Add(TraceQuoted{program_invocation_short_name}, " trace started ");
    _WallClock(out, _trace.realtimeOrigin, true);
    out.Add(" at CLOCK_MONOTONIC ", static_cast<uint64_t>(_trace.monotonicOrigin / kSecond), ".",
            TraceNumber{static_cast<uint64_t>(_trace.monotonicOrigin % kSecond / 1000), 6}, " s\n");
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
// appended to (a JSON array not opened again); any other is emptied.
void _Open() {
    const pid_t pid = _trace.pid;
    const std::string path = TraceFilePath(_trace.pattern, pid);
    if (path.size() >= sizeof _trace.path) return _CannotTrace(path, "the name is too long");
    _trace.path[path.copy(_trace.path, path.size())] = 0;  // a child's may be shorter
    _trace.json = IsJsonTraceFile(path);
    const TraceFile file = OpenTraceFile(path);
    if (file.fd < 0) return _CannotTrace(path, file.problem);
    TraceRecord header, reloaded;
    const size_t identity = _Header(header, pid);
    const bool reload = file.type == S_IFREG && _BeginsWith(file.fd, header.data(), identity);
    if (!reload && file.type == S_IFREG && ftruncate(file.fd, 0) != 0) {
        _CannotTrace(path, InternalUtils::geterrormessage(errno));
        close(file.fd);
        return;
    }
    if (reload) _Header(reloaded, pid, true);
    _trace.pipe = file.type == S_IFIFO;
    _trace.namedProcess = pid;
    _trace.fd = file.fd;
    _trace.on = true;
    _Write(reload ? reloaded : header);
    LogText(("Tracing calls to \"" + path + "\"").c_str());
}

// A child of fork is a process of its own: it counts its own calls, and
// with "%p" in the name writes its own file; otherwise it goes on appending
// to its parent's. It has one thread now: no write is in flight, and the
// parent's descriptor can go.
void _StartInChild() {
    _trace.pid = getpid();
    _trace.writers = 0;
    for (_Statistics& row : _trace.statistics)
        row.calls = row.failures = row.total = row.longest = 0;
    if (!_trace.perProcess) return;
    close(_trace.fd.exchange(-1));
    _trace.file = _Trace::kPending;
}

// The first record of such a child opens its file; its other threads wait
// for that rather than lose their records, but for a signal handler that
// interrupted the opening thread, whose record is dropped.
void _OpenPendingFile() {
    if (t_thread.opening) return;  // a signal handler in this thread's opening
    auto pending = _Trace::kPending;
    t_thread.opening = true;
    if (_trace.file.compare_exchange_strong(pending, _Trace::kOpening)) {
        try {
            _Open();
        } catch (...) {
            // No memory for the name: the child's records are dropped.
        }
        _trace.file = _Trace::kReady;
    }
    t_thread.opening = false;
    while (_trace.file.load() == _Trace::kOpening) sched_yield();
}

bool _Recording() {
    if (!IsCallTraceOn()) return false;
    if (_trace.file.load() != _Trace::kReady) _OpenPendingFile();
    return _trace.fd.load(std::memory_order_relaxed) >= 0;
}

// Like strace -c: by total time, with each function's share of it.
void _WriteSummary() {
    const _Statistics* rows[kMaxTracedFunctions];
    size_t count = 0;
    uint64_t allTime = 0;
    for (const _Statistics& row : _trace.statistics) {
        if (row.calls == 0) continue;
        allTime += row.total;
        rows[count++] = &row;
    }
    std::sort(rows, rows + count, [](auto* a, auto* b) { return a->total > b->total; });
    TraceRecord out;
    out.Add("# summary of pid ", _trace.pid.load(), " ", TraceQuoted{program_invocation_short_name},
            ", by total time\n",
            "# time %    total us     mean us      max us    calls failures function\n");
    for (size_t i = 0; i < count; ++i) {
        const _Statistics& row = *rows[i];
        const uint64_t total = row.total, calls = row.calls;
        const uint64_t share = allTime == 0 ? 0 : total * 10000 / allTime;
        out.Add("# ", TraceNumber{share / 100, 3, 10, ' '}, ".", TraceNumber{share % 100, 2},
                TraceTime{static_cast<int64_t>(total), 12},
                TraceTime{static_cast<int64_t>(total / calls), 12},
                TraceTime{static_cast<int64_t>(row.longest.load()), 12},
                TraceNumber{calls, 9, 10, ' '}, TraceNumber{row.failures, 9, 10, ' '}, " ",
                row.name.load(), "\n");
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

// Text: "HH:MM:SS.uuuuuu PID/TID NAME(" or "... -- EVENT"; JSON: the
// process's and the thread's names where this process or thread has none in
// the file yet, then the event up to its arguments.
TraceRecord::TraceRecord(const char* name, int64_t start, const char* inside) noexcept
    : m_name(name), m_start(start), m_inside(inside) {
    const _KeptErrno kept;
    if (start == 0 || !_Recording()) return;
    m_stage = kArguments;
    const pid_t pid = _trace.pid.load(std::memory_order_relaxed);
    const bool newThread = t_thread.process != pid;
    if (newThread) t_thread = {pid, static_cast<pid_t>(syscall(SYS_gettid)), false};
    if (!_trace.json) {
        _WallClock(*this, _trace.realtimeOrigin + (start - _trace.monotonicOrigin), false);
        Add(" ", pid, "/", t_thread.id, inside != nullptr ? " -- " : " ", name,
            inside != nullptr ? "" : "(");
        return;
    }
    if (_trace.namedProcess.load() != pid && _trace.namedProcess.exchange(pid) != pid) {
        Add(",\n");
        _ProcessEvent(*this, pid);
    }
    if (newThread) {
        char threadName[16] = "";  // the program's name unless it named the thread
        prctl(PR_GET_NAME, threadName);
        Add(",\n{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":", pid, ",\"tid\":", t_thread.id,
            ",\"args\":{\"name\":", TraceQuoted{threadName}, "}}");
    }
    Add(",\n{\"name\":", TraceQuoted{name}, ",\"cat\":\"", inside != nullptr ? "front end" : "call",
        "\",\"ph\":\"X\",\"pid\":", pid, ",\"tid\":", t_thread.id, ",\"ts\":", TraceTime{start, 1},
        ",\"args\":{");
}

bool TraceRecord::_Argument(const char* name) {
    if (m_stage != kArguments) return false;
    const bool first = m_arguments++ == 0;
    if (!_trace.json) Add(m_inside != nullptr ? " " : first ? "" : ", ");
    if (_trace.json) Add(first ? "\"" : ",\"", name, "\":");
    return true;
}

void TraceRecord::Pointer(const char* name, const void* pointer) {
    if (!_Argument(name)) return;
    if (pointer == nullptr) return Add("null");
    const char* quote = _trace.json ? "\"" : "";
    Add(quote, "0x", TraceNumber{reinterpret_cast<uintptr_t>(pointer), 1, 16}, quote);
}

void TraceRecord::Integer(const char* name, uint64_t value) {
    if (_Argument(name)) Add(value);
}

void TraceRecord::Text(const char* name, const char* text) {
    if (_Argument(name)) Add(TraceQuoted{text});
}

void TraceRecord::PointerTo(const char* name, const void* pointer, const uint32_t* value) {
    Pointer(name, pointer);
    if (m_stage != kArguments || value == nullptr) return;
    if (_trace.json) return Add(",\"*", name, "\":", *value);
    Add(" -> ", *value);
}

bool TraceRecord::_Result() {
    if (m_stage != kArguments) return false;
    m_stage = kResult;
    Add(!_trace.json ? ") = " : m_arguments > 0 ? ",\"result\":" : "\"result\":");
    return true;
}

void TraceRecord::Code(uint32_t code, const char* codeName) {
    if (!_Result()) return;
    const char* quote = _trace.json ? "\"" : "";
    Add(quote, "0x", TraceNumber{code, 8, 16}, quote);
    if (codeName != nullptr) Add(_trace.json ? ",\"resultName\":\"" : " ", codeName, quote);
}

void TraceRecord::ResultText(const char* text) {
    if (_Result()) Add(TraceQuoted{text});
}

void TraceRecord::InnerCall(const char* name, uint32_t result, const uint32_t* value) {
    if (m_stage != kResult) return;
    if (!_trace.json) {
        Add(" [by the front end: ", name, value != nullptr ? "(-> " : "(");
        if (value != nullptr) Add(*value);
        return Add(") = 0x", TraceNumber{result, 8, 16}, "]");
    }
    Add(",\"frontEndCall\":{\"name\":\"", name, "\",\"result\":\"0x", TraceNumber{result, 8, 16},
        "\"");
    if (value != nullptr) Add(",\"counter\":", *value);
    Add("}");
}

void TraceRecord::End(int function, bool failed) noexcept {
    if (m_stage == kOff) return;
    const _KeptErrno kept;
    const int64_t duration = TraceClock() - m_start;
    if (!_trace.json && function >= 0 && static_cast<size_t>(function) < kMaxTracedFunctions) {
        _trace.statistics[function].count(m_name, failed, static_cast<uint64_t>(duration));
    }
    if (!_trace.json) {
        Add(" <", TraceTime{duration, 1}, "us>");
        if (m_inside != nullptr) Add(" (in ", m_inside, ")");
        Add("\n");
    } else {
        if (m_inside != nullptr) Add(",\"in\":\"", m_inside, "\"");
        Add("},\"dur\":", TraceTime{duration, 1}, "}");
    }
    _Write(*this);
    m_stage = kOff;
}

void TraceRecord::_Put(const char* bytes, size_t length) {
    length = std::min(length, sizeof m_data - m_size);
    memcpy(m_data + m_size, bytes, length);
    m_size += length;
}

void TraceRecord::Add(const char* text) { _Put(text, strlen(text)); }

void TraceRecord::Add(uint64_t decimal) { Add(TraceNumber{decimal, 1}); }

void TraceRecord::Add(TraceNumber number) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, number.value, number.base).ptr;
    for (auto length = end - digits; length < number.width; ++length) _Put(&number.pad, 1);
    _Put(digits, static_cast<size_t>(end - digits));
}

void TraceRecord::Add(TraceTime time) {
    const auto value = static_cast<uint64_t>(time.nanoseconds);
    Add(TraceNumber{value / 1000, time.width - 4, 10, ' '}, ".", TraceNumber{value % 1000, 3});
}

void TraceRecord::Add(TraceQuoted quoted) {
    if (quoted.text == nullptr) return Add("null");
    Add("\"");
    for (auto* at = reinterpret_cast<const unsigned char*>(quoted.text); *at != 0;) {
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
        if (m_size + length > kTextLimit) {
            Add(kCutMark);
            break;
        }
        _Put(bytes, length);
        at += sequence < 0 ? -sequence : sequence;
    }
    Add("\"");
}

}  // namespace Internal_Trelvo
