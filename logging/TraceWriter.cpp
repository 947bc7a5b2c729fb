// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "logging/TraceWriter.h"

#include <linux/futex.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "logging/InternalLogging.h"
#include "utils/environment.h"
#include "utils/text.h"

namespace Internal_Trelvo {
namespace {

constexpr int64_t kSecond = 1000000000;
constexpr char kCannot[] = "Cannot trace calls to";
constexpr size_t kTextLimit = PIPE_BUF - 384;  // leaves room for the rest of a record

// The totals only matter at the end; a count is published after its name.
struct _Statistics {
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

struct _Trace {  // trivially destructible: threads still calling at exit find it whole
    std::atomic<bool> started{false}, on{false};
    bool json = false, pipe = false, perProcess = false, unlogged = false;
    // Never closed: another thread may still write through it, and its
    // number must never reach a file that the program opens later.
    std::atomic<int> fd{-1};
    std::atomic<pid_t> pid{0};
    std::atomic<int> writeError{0}, writers{0};  // the first; threads inside write()
    // A child's first record opens its "%p" file, or names the child in a
    // shared JSON file: one that only execs leaves nothing.
    enum FileState { kReady, kPending, kOpening };
    std::atomic<FileState> file{kReady};  // a futex word, waited on while kOpening
    const char* refusal = nullptr;        // or openError, for the debug log
    int openError = 0;
    int64_t monotonicOrigin = 0, realtimeOrigin = 0;
    uint64_t processStart = 0;  // with the pid, tells this process from an earlier one
    char utcOrigin[40] = {}, pattern[PATH_MAX] = {}, path[PATH_MAX] = {};  // pattern: absolute
    _Statistics statistics[kMaxTracedFunctions];
} _trace;

// Initial-exec, without a destructor: its first use allocates nothing.
struct _Thread {
    pid_t process, id;
    bool opening;  // a "%p" child's file
};
__attribute__((tls_model("initial-exec"))) thread_local _Thread t_thread;

struct _KeptErrno {
    const int saved = errno;
    ~_KeptErrno() { errno = saved; }
};

struct _Digits {  // at least width digits, padded by pad
    uint64_t value;
    int width = 1, base = 10;
    char pad = '0';
};
struct _Micros {  // nanoseconds as microseconds with three decimals
    int64_t nanoseconds;
    int width = 1;
};
struct _Quoted {  // as a JSON string; null without quotes
    const char* text;
};

void _Part(TraceBuffer& out, std::string_view bytes) {
    const size_t length = std::min(bytes.size(), sizeof out.data - out.size);
    memcpy(out.data + out.size, bytes.data(), length);
    out.size += length;
}

void _Part(TraceBuffer& out, _Digits number) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, number.value, number.base).ptr;
    for (auto length = end - digits; length < number.width; ++length) _Part(out, {&number.pad, 1});
    _Part(out, {digits, static_cast<size_t>(end - digits)});
}

void _Part(TraceBuffer& out, uint64_t decimal) { _Part(out, _Digits{decimal}); }

template <typename... Parts>
void _Add(TraceBuffer& out, const Parts&... parts) {
    (_Part(out, parts), ...);
}

void _Part(TraceBuffer& out, _Micros time) {
    const auto value = static_cast<uint64_t>(time.nanoseconds);
    _Add(out, _Digits{value / 1000, time.width - 4, 10, ' '}, ".", _Digits{value % 1000, 3});
}

// The length of the well-formed UTF-8 sequence (RFC 3629) at text, or the
// negated length of its maximal ill-formed subpart, shown as one U+FFFD. The
// second byte's range excludes overlong forms, surrogates, values > U+10FFFF.
int _Utf8Sequence(const unsigned char* text) {
    const unsigned char lead = text[0];
    if (lead < 0x80) return 1;
    if (lead < 0xC2 || lead > 0xF4) return -1;
    const int length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (int i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
        if (text[i] < low || text[i] > high) return -i;
    }
    return length;
}

// Cut at a character boundary, with a mark, where the record would outgrow PIPE_BUF.
void _Part(TraceBuffer& out, _Quoted quoted) {
    if (quoted.text == nullptr) return _Part(out, "null");
    _Part(out, "\"");
    for (auto* at = reinterpret_cast<const unsigned char*>(quoted.text); *at != 0;) {
        const int sequence = _Utf8Sequence(at);
        const char escaped[] = {'\\', static_cast<char>(*at), 0};
        const char control[] = {
            '\\', 'u', '0', '0', "0123456789abcdef"[*at >> 4], "0123456789abcdef"[*at & 0xF]};
        std::string_view bytes(reinterpret_cast<const char*>(at), std::max(sequence, 0));
        if (sequence < 0) bytes = "\\ufffd";
        if (*at < 0x20 || *at == 0x7F) bytes = {control, sizeof control};
        if (*at == '"' || *at == '\\') bytes = escaped;
        if (out.size + bytes.size() > kTextLimit) return _Add(out, "\xE2\x80\xA6[cut]\"");
        _Part(out, bytes);
        at += sequence < 0 ? -sequence : sequence;
    }
    _Part(out, "\"");
}

// SIGPIPE blocked around the write, and the one that a FIFO without a reader
// raises taken back (unless one was already pending): EPIPE ends the trace,
// never the process.
ssize_t _WriteToPipe(int fd, const TraceBuffer& out) {
    sigset_t pipeSignal, saved, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigprocmask(SIG_BLOCK, &pipeSignal, &saved);
    const bool wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
    const ssize_t written = write(fd, out.data, out.size);
    const int error = errno;
    const timespec now{};
    if (written < 0 && error == EPIPE && !wasPending) sigtimedwait(&pipeSignal, nullptr, &now);
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    errno = error;
    return written;
}

// One write, whole or not at all, counted so that the trace's end can wait
// for those in flight (its own summary is written after the trace stopped).
// A failure stops the trace, and is logged at its end.
void _Write(const TraceBuffer& out, bool summary = false) {
    _trace.writers.fetch_add(1);
    const int fd = _trace.fd.load(std::memory_order_relaxed);
    ssize_t written = static_cast<ssize_t>(out.size);
    if (fd >= 0 && (summary || _trace.on.load())) {
        do {
            written = _trace.pipe ? _WriteToPipe(fd, out) : write(fd, out.data, out.size);
        } while (written < 0 && errno == EINTR);
    }
    if (written != static_cast<ssize_t>(out.size)) {
        int none = 0;
        _trace.writeError.compare_exchange_strong(none, written < 0 ? errno : EIO);
        _trace.on = false;
    }
    _trace.writers.fetch_sub(1);
}

// The file's beginning, or in JSON a process's naming, which starts with the
// writer's identity: its pid and its start time, as kIdentity reads them.
void _Header(TraceBuffer& out, pid_t pid, const char* before = "[") {
    const _Quoted program{program_invocation_short_name};
    if (!_trace.json) {
        return _Add(out, "# pid ", pid, " start ", _trace.processStart, " ", program,
                    " trace started ", _trace.utcOrigin, " at CLOCK_MONOTONIC ",
                    static_cast<uint64_t>(_trace.monotonicOrigin / kSecond), ".",
                    _Digits{static_cast<uint64_t>(_trace.monotonicOrigin % kSecond / 1000), 6},
                    " s\n");
    }
    _Add(out, before, "{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":", pid, ",\"tid\":", pid,
         ",\"args\":{\"start\":", _trace.processStart, ",\"name\":", program, ",\"utc\":\"",
         _trace.utcOrigin, "\",\"ts\":", _Micros{_trace.monotonicOrigin}, "}}");
}
constexpr const char* kIdentity[] = {  // text, JSON
    "# pid %d start %llu ",
    "[{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":%d,\"tid\":%*d,"
    "\"args\":{\"start\":%llu,"};

// Whether the process whose identity begins the file still runs: this one
// before a reload, or one that shares the file, such as a parent after fork.
bool _BegunByARunningProcess(int fd) {
    char head[160] = "";
    int pid = 0;
    unsigned long long start = 0;
    return pread(fd, head, sizeof head - 1, 0) > 0 &&
           sscanf(head, kIdentity[_trace.json], &pid, &start) == 2 && start != 0 &&
           ProcessStat(pid, 22) == start;
}

void _Log(const char* what, const std::string& path, const std::string& problem = "") {
    LogText((what + (" \"" + path) + (problem.empty() ? "\"" : "\": " + problem)).c_str());
}

// Allocates: a fork child logs at its end, not at its first record.
void _LogOpen() {
    _trace.unlogged = false;
    if (_trace.fd >= 0) return _Log("Tracing calls to", _trace.path);
    _Log(kCannot, _trace.path,
         _trace.refusal ? _trace.refusal : InternalUtils::geterrormessage(_trace.openError));
}

// A file that a running process began is appended to, a JSON array going on
// after a comma; any other regular file is emptied, but never the process's
// own output. No allocation: a fork child's first record runs it.
void _Open() {
    const pid_t pid = _trace.pid;
    _trace.processStart = ProcessStat(pid, 22);
    if ((_trace.refusal = TraceFileName(_trace.pattern, pid, _trace.path))) return;
    _trace.json = IsJsonTraceFile(_trace.path);
    const TraceFile file = OpenTraceFile(_trace.path);
    _trace.refusal = file.refusal;
    _trace.openError = file.error;
    const bool regular = file.fd >= 0 && file.type == S_IFREG && !file.own;
    const bool appending = regular && _BegunByARunningProcess(file.fd);
    if (regular && !appending && ftruncate(file.fd, 0) != 0) {
        _trace.openError = errno;
        return static_cast<void>(close(file.fd));
    }
    TraceBuffer header;
    _Header(header, pid, appending ? ",\n" : "[");
    _trace.pipe = file.type == S_IFIFO;
    _trace.fd = file.fd;
    if (file.fd >= 0) _Write(header);
}

// A child of fork counts its own calls, and with "%p" writes its own file;
// otherwise it goes on appending to its parent's. It has one thread now: no
// write is in flight, and the parent's descriptor can go.
void _StartInChild() {
    _trace.pid = getpid();
    _trace.writers = 0;
    for (_Statistics& row : _trace.statistics)
        row.calls = row.failures = row.total = row.longest = 0;
    if (_trace.perProcess) close(_trace.fd.exchange(-1));
    if (_trace.perProcess || _trace.json) _trace.file = _Trace::kPending;
}

void _StartChildFile() {
    _trace.unlogged = _trace.perProcess;
    if (_trace.perProcess) return _Open();
    _trace.processStart = ProcessStat(_trace.pid, 22);
    TraceBuffer header;
    _Header(header, _trace.pid, ",\n");
    _Write(header);
}

long _Futex(int operation, int value) {
    return syscall(SYS_futex, &_trace.file, operation | FUTEX_PRIVATE_FLAG, value, nullptr);
}

// Such a child's first record starts its file, before any record of its
// other threads, which sleep until then; but a signal handler that
// interrupted the start drops its record.
bool _Recording() {
    if (!IsCallTraceOn()) return false;
    auto pending = _Trace::kPending;
    if (_trace.file.load() != _Trace::kReady && !t_thread.opening) {
        t_thread.opening = true;
        if (_trace.file.compare_exchange_strong(pending, _Trace::kOpening)) {
            _StartChildFile();
            _trace.file = _Trace::kReady;
            _Futex(FUTEX_WAKE, INT_MAX);
        }
        t_thread.opening = false;
        while (_trace.file.load() == _Trace::kOpening) _Futex(FUTEX_WAIT, _Trace::kOpening);
    }
    return _trace.fd.load(std::memory_order_relaxed) >= 0;
}

// Like strace -c: by total time, with each function's share of it; sorted
// as copied, since a call still in flight may count. None without calls.
void _WriteSummary() {
    struct Row {
        uint64_t calls, failures, total, longest;
        const char* name;
    } rows[kMaxTracedFunctions];
    uint64_t allTime = 0;
    bool counted = false;
    for (int i = 0; i < kMaxTracedFunctions; ++i) {
        const _Statistics& row = _trace.statistics[i];
        const uint64_t calls = row.calls.load(std::memory_order_acquire);
        rows[i] = {calls, row.failures, row.total, row.longest,
                   row.name.load(std::memory_order_acquire)};
        allTime += rows[i].total;
        counted |= calls != 0;
    }
    std::sort(rows, std::end(rows), [](const Row& a, const Row& b) { return a.total > b.total; });
    if (!counted) return;
    TraceBuffer out;
    _Add(out, "# summary of pid ", _trace.pid.load(), " ", _Quoted{program_invocation_short_name},
         ", by total time\n",
         "# time %    total us     mean us      max us    calls failures function\n");
    for (const Row& row : rows) {
        const uint64_t total = row.total, calls = row.calls;
        if (calls == 0) continue;
        const uint64_t share = total * 10000 / std::max(allTime, uint64_t{1});
        _Add(out, "# ", _Digits{share / 100, 3, 10, ' '}, ".", _Digits{share % 100, 2},
             _Micros{static_cast<int64_t>(total), 12},
             _Micros{static_cast<int64_t>(total / calls), 12},
             _Micros{static_cast<int64_t>(row.longest), 12}, _Digits{calls, 9, 10, ' '},
             _Digits{row.failures, 9, 10, ' '}, " ", row.name, "\n");
    }
    _Write(out, true);
}

// At unload and at exit, which a library cannot tell apart. The writes of
// threads still calling are waited for (a second at most): the end of the
// process would cut short one that crosses a page of the file.
[[gnu::destructor]] void _EndTrace() {
    const bool wasOn = _trace.on.exchange(false);
    for (int wait = 0; wait < 1000 && _trace.writers != 0; ++wait) usleep(1000);
    if (wasOn && !_trace.json && _trace.fd >= 0) _WriteSummary();
    if (_trace.unlogged) _LogOpen();
    if (const int error = _trace.writeError) {
        _Log("Cannot write the call trace to", _trace.path, InternalUtils::geterrormessage(error));
    }
}

}  // namespace

void StartCallTrace() noexcept {
    if (_trace.started) return;
    try {
        const std::string pattern = InternalUtils::getenvvar(kTraceVariable);
        if (const char* problem = TraceFileName(pattern.c_str(), 0, _trace.pattern)) {
            _Log(kCannot, pattern, problem);
        } else if (!pattern.empty()) {
            _trace.perProcess = pattern.find("%p") != std::string::npos;
            _trace.pid = getpid();
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            _trace.realtimeOrigin = now.tv_sec * kSecond + now.tv_nsec;
            _trace.monotonicOrigin = TraceClock();
            tm utc{};  // "YYYY-MM-DDTHH:MM:SS.uuuuuuZ"
            char* end = _trace.utcOrigin +
                        strftime(_trace.utcOrigin, 32, "%FT%T.", gmtime_r(&now.tv_sec, &utc));
            snprintf(end, 16, "%06dZ", static_cast<int>(now.tv_nsec / 1000));
            _trace.on = true;
            _Open();
            _LogOpen();
            _trace.on = _trace.fd >= 0 && _trace.on;
            if (_trace.on) pthread_atfork(nullptr, nullptr, _StartInChild);
        }
    } catch (...) {
        // No memory for the name: no trace.
    }
    _trace.started = true;
}

bool IsCallTraceStarted() { return _trace.started.load(std::memory_order_acquire); }
bool IsCallTraceOn() { return _trace.on.load(std::memory_order_relaxed); }

int64_t TraceClock() {  // steady_clock is CLOCK_MONOTONIC
    return std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
}

// Text: "HH:MM:SS.uuuuuu PID/TID NAME(" or "... -- EVENT ", in UTC; JSON: the
// event up to its arguments.
TraceRecord::TraceRecord(const char* name, int64_t start, int function, const char* inside) noexcept
    : m_name(name), m_inside(inside), m_start(start), m_function(function) {
    const _KeptErrno kept;
    if (start == 0 || !_Recording()) return;
    m_stage = kArguments;
    const pid_t pid = _trace.pid.load(std::memory_order_relaxed);
    const bool newThread = t_thread.process != pid;
    if (newThread) t_thread = {pid, static_cast<pid_t>(syscall(SYS_gettid)), false};
    if (!_trace.json) {
        const int64_t utc = _trace.realtimeOrigin + (start - _trace.monotonicOrigin);
        const auto second = static_cast<uint64_t>(utc / kSecond % 86400);
        _Add(m_out, _Digits{second / 3600, 2}, ":", _Digits{second / 60 % 60, 2}, ":",
             _Digits{second % 60, 2}, ".", _Digits{static_cast<uint64_t>(utc % kSecond / 1000), 6},
             " ", pid, "/", t_thread.id, inside ? " -- " : " ", name, inside ? " " : "(");
        return;
    }
    if (newThread) {  // as the program named it
        char threadName[16] = "";
        prctl(PR_GET_NAME, threadName);
        _Add(m_out, ",\n{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":", pid,
             ",\"tid\":", t_thread.id, ",\"args\":{\"name\":", _Quoted{threadName}, "}}");
    }
    _Add(m_out, ",\n{\"name\":\"", name, "\",\"cat\":\"", inside ? "front end" : "call",
         "\",\"ph\":\"X\",\"pid\":", pid, ",\"tid\":", t_thread.id, ",\"ts\":", _Micros{start},
         ",\"args\":{");
}

// JSON names each value; text puts separator before it.
void TraceRecord::_Key(std::string_view key, const char* separator, const char* mark) {
    if (!_trace.json) return _Add(m_out, separator);
    _Add(m_out, m_fields++ == 0 ? "\"" : ",\"", mark, key, "\":");
}

void TraceRecord::Arguments(const char* parameters, std::initializer_list<TraceValue> values,
                            bool succeeded) {
    if (m_stage != kArguments) return;
    const char* quote = _trace.json ? "\"" : "";  // JSON's hexadecimal numbers are strings
    for (const TraceValue& value : values) {
        const std::string_view rest(parameters + strspn(parameters, "(, "));
        const std::string_view name = rest.substr(0, rest.find_first_of(",)"));
        parameters = name.data() + name.size();
        _Key(name, &value == values.begin() ? "" : ", ");
        if (value.kind == TraceValue::kInteger) {
            _Add(m_out, uint64_t{value.integer});
        } else if (value.kind == TraceValue::kText) {
            _Add(m_out, _Quoted{static_cast<const char*>(value.pointer)});
        } else if (value.pointer == nullptr) {
            _Add(m_out, "null");
        } else {
            _Add(m_out, quote, "0x", _Digits{reinterpret_cast<uintptr_t>(value.pointer), 1, 16},
                 quote);
            if (value.kind != TraceValue::kCounter || !succeeded) continue;
            _Key(name, " -> ", "*");
            _Add(m_out, *static_cast<const uint32_t*>(value.pointer));
        }
    }
}

void TraceRecord::Code(uint32_t code, const char* codeName) {
    if (m_stage != kArguments) return;
    m_stage = kResult;
    _Key("result", ") = ");
    m_failed = code != 0;
    const char* quote = _trace.json ? "\"" : "";
    _Add(m_out, quote, "0x", _Digits{code, 8, 16}, quote);
    if (codeName == nullptr) return;
    _Key("resultName", " ");
    _Add(m_out, quote, codeName, quote);
}

const char* TraceRecord::ResultText(const char* text) {
    if (m_stage != kArguments) return text;
    m_stage = kResult;
    _Key("result", ") = ");
    m_failed = text == nullptr;
    _Add(m_out, _Quoted{text});
    return text;
}

// Its counter's value only where it succeeded, as for the call's own.
void TraceRecord::InnerCall(const TraceInnerCall& inner) {
    if (m_stage != kResult) return;
    const bool json = _trace.json;
    _Add(m_out, json ? ",\"frontEndCall\":{\"name\":\"" : " [by the front end: ", inner.name,
         json ? "\"" : "(");
    if (inner.result == 0) _Add(m_out, json ? ",\"counter\":" : "-> ", uint64_t{inner.counter});
    _Add(m_out, json ? ",\"result\":\"0x" : ") = 0x", _Digits{inner.result, 8, 16},
         json ? "\"}" : "]");
}

void TraceRecord::End() noexcept {
    if (m_stage == kOff) return;
    const _KeptErrno kept;
    const int64_t duration = TraceClock() - m_start;
    m_stage = kOff;
    if (_trace.json) {
        if (m_inside) _Add(m_out, ",\"in\":\"", m_inside, "\"");  // after the event's path
        _Add(m_out, "},\"dur\":", _Micros{duration}, "}");
    } else {
        if (m_function >= 0) {
            _trace.statistics[m_function].Count(m_name, m_failed, static_cast<uint64_t>(duration));
        }
        _Add(m_out, " <", _Micros{duration}, "us>");
        if (m_inside) _Add(m_out, " (in ", m_inside, ")");
        _Add(m_out, "\n");
    }
    _Write(m_out);
}

}  // namespace Internal_Trelvo
