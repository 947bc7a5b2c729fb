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
#include <string_view>

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

// Relaxed: only the totals at the end matter.
struct _Statistics {
    std::atomic<const char*> name{nullptr};
    std::atomic<uint64_t> calls{0}, failures{0}, total{0}, longest{0};  // nanoseconds

    void Count(const char* function, bool failed, uint64_t nanoseconds) {
        name.store(function, std::memory_order_relaxed);
        calls.fetch_add(1, std::memory_order_relaxed);
        if (failed) failures.fetch_add(1, std::memory_order_relaxed);
        total.fetch_add(nanoseconds, std::memory_order_relaxed);
        uint64_t seen = longest.load(std::memory_order_relaxed);
        while (nanoseconds > seen && !longest.compare_exchange_weak(seen, nanoseconds)) {
        }
    }
};

// Trivially destructible, so that threads still calling while the process
// exits find it whole. Written by StartCallTrace under the front end's lock,
// in a child after fork, and by the first record of a "%p" child.
struct _Trace {
    std::atomic<bool> started{false}, on{false};
    bool json = false, pipe = false, perProcess = false;
    // Never closed: another thread may still write through it, and its
    // number must never reach a file that the program opens later.
    std::atomic<int> fd{-1};
    std::atomic<pid_t> pid{0};
    std::atomic<pid_t> namedProcess{0};  // the process last named in a JSON file
    std::atomic<int> writeError{0};      // the first, which stopped the trace
    std::atomic<int> writers{0};         // threads inside write()
    int64_t monotonicOrigin = 0, realtimeOrigin = 0;
    // A "%p" child opens its file at its first record, so that children that
    // only exec leave none.
    enum FileState { kReady, kPending, kOpening };
    std::atomic<FileState> file{kReady};
    char pattern[PATH_MAX] = {}, path[PATH_MAX] = {};
    _Statistics statistics[kMaxTracedFunctions];
} _trace;

// Initial-exec and without a destructor, so that its first use allocates
// nothing. The record's "PID/TID" part, formed once per thread and process.
struct _Thread {
    pid_t process, id;
    bool opening;  // a "%p" child's file
    uint8_t identityLength;
    char identity[64];
};
__attribute__((tls_model("initial-exec"))) thread_local _Thread t_thread;

struct _KeptErrno {
    const int saved = errno;
    ~_KeptErrno() { errno = saved; }
};

// Parts of a record besides texts and decimal numbers.
struct _Digits {
    uint64_t value;
    int width;  // at least, padded by pad
    int base = 10;
    char pad = '0';
};
struct _Hex {  // "0x" and at least width digits, a string in JSON
    uint64_t value;
    int width;
};
struct _Micros {  // with three decimals, at least width characters
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

void _Part(TraceBuffer& out, uint64_t decimal) { _Part(out, _Digits{decimal, 1}); }

template <typename... Parts>
void _Add(TraceBuffer& out, const Parts&... parts) {
    (_Part(out, parts), ...);
}

void _Part(TraceBuffer& out, _Hex hex) {
    const char* quote = _trace.json ? "\"" : "";
    _Add(out, quote, "0x", _Digits{hex.value, hex.width, 16}, quote);
}

void _Part(TraceBuffer& out, _Micros time) {
    const auto value = static_cast<uint64_t>(time.nanoseconds);
    _Add(out, _Digits{value / 1000, time.width - 4, 10, ' '}, ".", _Digits{value % 1000, 3});
}

// The length of the well-formed UTF-8 sequence (RFC 3629) at text, or the
// negated length of its maximal ill-formed subpart. The second byte's range
// excludes overlong forms, surrogates and values above U+10FFFF.
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

// One U+FFFD per maximal ill-formed subpart; cut at a character boundary,
// with a mark, where the record would outgrow PIPE_BUF.
void _Part(TraceBuffer& out, _Quoted quoted) {
    if (quoted.text == nullptr) return _Part(out, "null");
    _Part(out, "\"");
    for (auto* at = reinterpret_cast<const unsigned char*>(quoted.text); *at != 0;) {
        const int sequence = _Utf8Sequence(at);
        char escaped[6] = {'\\', static_cast<char>(*at), '0', '0'};
        std::string_view bytes(escaped, 2);
        if (sequence < 0) {
            bytes = "\\ufffd";
        } else if (*at < 0x20 || *at == 0x7F) {
            escaped[1] = 'u';
            escaped[4] = "0123456789abcdef"[*at >> 4];
            escaped[5] = "0123456789abcdef"[*at & 0xF];
            bytes = {escaped, 6};
        } else if (*at != '"' && *at != '\\') {
            bytes = {reinterpret_cast<const char*>(at), static_cast<size_t>(sequence)};
        }
        if (out.size + bytes.size() > kTextLimit) {
            _Part(out, kCutMark);
            break;
        }
        _Part(out, bytes);
        at += sequence < 0 ? -sequence : sequence;
    }
    _Part(out, "\"");
}

int64_t _Nanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * kSecond + now.tv_nsec;
}

// "HH:MM:SS.uuuuuu" in UTC; with date "YYYY-MM-DDTHH:MM:SS.uuuuuuZ", the
// civil date counted in 400-year eras from 0000-03-01.
void _WallClock(TraceBuffer& out, int64_t utc, bool date) {
    const int64_t seconds = utc / kSecond;
    if (date) {
        const int64_t days = seconds / kDay + 719468, era = days / 146097;
        const int64_t dayOfEra = days - era * 146097;
        const int64_t yearOfEra =
            (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const int64_t shifted = (5 * dayOfYear + 2) / 153, month = (shifted + 2) % 12 + 1;
        _Add(out, static_cast<uint64_t>(yearOfEra + era * 400 + (month <= 2)), "-",
             _Digits{static_cast<uint64_t>(month), 2}, "-",
             _Digits{static_cast<uint64_t>(dayOfYear - (153 * shifted + 2) / 5 + 1), 2}, "T");
    }
    const auto ofDay = static_cast<uint64_t>(seconds % kDay);
    _Add(out, _Digits{ofDay / 3600, 2}, ":", _Digits{ofDay / 60 % 60, 2}, ":",
         _Digits{ofDay % 60, 2}, ".", _Digits{static_cast<uint64_t>(utc % kSecond / 1000), 6},
         date ? "Z" : "");
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

// One write, whole or not at all: a failure stops the trace, and is logged
// at its end.
void _Send(int fd, const TraceBuffer& out) {
    ssize_t written;
    do {
        written = _trace.pipe ? _WriteToPipe(fd, out) : write(fd, out.data, out.size);
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(out.size)) return;
    int none = 0;
    _trace.writeError.compare_exchange_strong(none, written < 0 ? errno : EIO);
    _trace.on = false;
}

// Counted, so that the trace's end can wait for the writes in flight.
void _Write(const TraceBuffer& out) {
    _trace.writers.fetch_add(1);
    const int fd = _trace.fd.load(std::memory_order_relaxed);
    if (fd >= 0 && _trace.on.load()) _Send(fd, out);
    _trace.writers.fetch_sub(1);
}

// The metadata event naming the process, with the trace's start on both
// clocks. Returns the size of out up to the comma after the pid.
size_t _ProcessEvent(TraceBuffer& out, pid_t pid) {
    _Add(out, "{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":", pid, ",");
    const size_t identity = out.size;
    _Add(out, "\"tid\":", pid, ",\"args\":{\"name\":", _Quoted{program_invocation_short_name},
         ",\"utc\":\"");
    _WallClock(out, _trace.realtimeOrigin, true);
    _Add(out, "\",\"ts\":", _Micros{_trace.monotonicOrigin}, "}}");
    return identity;
}

// The file's beginning. Its part up to the size returned, the same at every
// load, tells a file that this process began before a reload, which a JSON
// array goes on after a comma.
size_t _Header(TraceBuffer& out, pid_t pid, bool reload = false) {
    if (_trace.json) {
        _Add(out, reload ? ",\n" : "[");
        return _ProcessEvent(out, pid);
    }
    _Add(out, "# pid ", pid, " ");
    const size_t identity = out.size;
    _Add(out, _Quoted{program_invocation_short_name}, " trace started ");
    _WallClock(out, _trace.realtimeOrigin, true);
    _Add(out, " at CLOCK_MONOTONIC ", static_cast<uint64_t>(_trace.monotonicOrigin / kSecond), ".",
         _Digits{static_cast<uint64_t>(_trace.monotonicOrigin % kSecond / 1000), 6}, " s\n");
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
    _trace.path[path.copy(_trace.path, path.size())] = 0;  // a child's may be shorter
    _trace.json = IsJsonTraceFile(path);
    const TraceFile file = OpenTraceFile(path);
    if (file.fd < 0) return _CannotTrace(path, file.problem);
    TraceBuffer header;
    const size_t identity = _Header(header, pid);
    const bool reload = file.type == S_IFREG && _BeginsWith(file.fd, header.data, identity);
    if (!reload && file.type == S_IFREG && ftruncate(file.fd, 0) != 0) {
        _CannotTrace(path, InternalUtils::geterrormessage(errno));
        close(file.fd);
        return;
    }
    if (reload) {
        header.size = 0;
        _Header(header, pid, true);
    }
    _trace.pipe = file.type == S_IFIFO;
    _trace.namedProcess = pid;
    _trace.fd = file.fd;
    _trace.on = true;
    _Write(header);
    LogText(("Tracing calls to \"" + path + "\"").c_str());
}

// A child of fork counts its own calls, and with "%p" in the name writes its
// own file; otherwise it goes on appending to its parent's. It has one
// thread now: no write is in flight, and the parent's descriptor can go.
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
    if (t_thread.opening) return;
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

// A thread's first record in this process: JSON names the thread, with the
// name the program gave it or the program's.
void _StartThread(TraceBuffer& out, pid_t pid) {
    t_thread.process = pid;
    t_thread.id = static_cast<pid_t>(syscall(SYS_gettid));
    TraceBuffer identity;
    if (_trace.json) {
        char threadName[16] = "";
        prctl(PR_GET_NAME, threadName);
        _Add(out, ",\n{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":", pid,
             ",\"tid\":", t_thread.id, ",\"args\":{\"name\":", _Quoted{threadName}, "}}");
        _Add(identity, "\",\"ph\":\"X\",\"pid\":", pid, ",\"tid\":", t_thread.id, ",\"ts\":");
    } else {
        _Add(identity, " ", pid, "/", t_thread.id, " ");
    }
    t_thread.identityLength = static_cast<uint8_t>(identity.size);
    memcpy(t_thread.identity, identity.data, identity.size);
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
    TraceBuffer out;
    _Add(out, "# summary of pid ", _trace.pid.load(), " ", _Quoted{program_invocation_short_name},
         ", by total time\n",
         "# time %    total us     mean us      max us    calls failures function\n");
    for (size_t i = 0; i < count; ++i) {
        const _Statistics& row = *rows[i];
        const uint64_t total = row.total, calls = row.calls;
        const uint64_t share = allTime == 0 ? 0 : total * 10000 / allTime;
        _Add(out, "# ", _Digits{share / 100, 3, 10, ' '}, ".", _Digits{share % 100, 2},
             _Micros{static_cast<int64_t>(total), 12},
             _Micros{static_cast<int64_t>(total / calls), 12},
             _Micros{static_cast<int64_t>(row.longest.load()), 12}, _Digits{calls, 9, 10, ' '},
             _Digits{row.failures, 9, 10, ' '}, " ", row.name.load(), "\n");
    }
    _Send(_trace.fd, out);
}

// At unload and at exit, which a library cannot tell apart. The writes of
// threads still calling are waited for (a second at most): the end of the
// process would cut short one that crosses a page of the file. A JSON trace
// is whole already; a text one gets its summary.
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

// Text: "HH:MM:SS.uuuuuu PID/TID NAME(" or "... -- EVENT "; JSON: the names
// of a process or thread new to the file, then the event up to its
// arguments.
TraceRecord::TraceRecord(const char* name, int64_t start, int function, const char* inside) noexcept
    : m_name(name), m_start(start), m_function(function), m_inside(inside) {
    const _KeptErrno kept;
    if (start == 0 || !_Recording()) return;
    m_stage = kArguments;
    const pid_t pid = _trace.pid.load(std::memory_order_relaxed);
    if (_trace.json && _trace.namedProcess.load() != pid &&
        _trace.namedProcess.exchange(pid) != pid) {
        _Add(m_out, ",\n");
        _ProcessEvent(m_out, pid);
    }
    if (t_thread.process != pid) _StartThread(m_out, pid);
    const std::string_view identity(t_thread.identity, t_thread.identityLength);
    if (!_trace.json) {
        _WallClock(m_out, _trace.realtimeOrigin + (start - _trace.monotonicOrigin), false);
        _Add(m_out, identity, inside != nullptr ? "-- " : "", name, inside != nullptr ? " " : "(");
        return;
    }
    // The identity closes the category's string.
    _Add(m_out, ",\n{\"name\":\"", name, "\",\"cat\":\"", inside != nullptr ? "front end" : "call",
         identity, _Micros{start}, ",\"args\":{");
}

// Text separates arguments by ", "; JSON names each.
void TraceRecord::_Key(std::string_view key, const char* mark) {
    const bool first = m_fields++ == 0;
    if (!_trace.json) return _Add(m_out, first ? "" : ", ");
    _Add(m_out, first ? "\"" : ",\"", mark, key, "\":");
}

void TraceRecord::Arguments(const char* parameters, std::initializer_list<TraceValue> values,
                            bool succeeded) {
    if (m_stage != kArguments) return;
    for (const TraceValue& value : values) {
        const std::string_view key(parameters + strspn(parameters, "(, "));
        const std::string_view name = key.substr(0, key.find_first_of(",)"));
        parameters = name.data() + name.size();
        _Key(name);
        if (value.kind == TraceValue::kInteger) {
            _Add(m_out, uint64_t{value.integer});
        } else if (value.kind == TraceValue::kText) {
            _Add(m_out, _Quoted{static_cast<const char*>(value.pointer)});
        } else if (value.pointer == nullptr) {
            _Add(m_out, "null");
        } else {
            _Add(m_out, _Hex{reinterpret_cast<uintptr_t>(value.pointer), 1});
            if (value.kind != TraceValue::kCounter || !succeeded) continue;
            if (_trace.json) _Key(name, "*");
            _Add(m_out, _trace.json ? "" : " -> ", *static_cast<const uint32_t*>(value.pointer));
        }
    }
}

bool TraceRecord::_Result() {
    if (m_stage != kArguments) return false;
    m_stage = kResult;
    if (_trace.json) {
        _Key("result");
    } else {
        _Add(m_out, ") = ");
    }
    return true;
}

void TraceRecord::Code(uint32_t code, const char* codeName) {
    if (!_Result()) return;
    m_failed = code != 0;
    _Add(m_out, _Hex{code, 8});
    if (codeName == nullptr) return;
    _Add(m_out, _trace.json ? ",\"resultName\":\"" : " ", codeName, _trace.json ? "\"" : "");
}

const char* TraceRecord::ResultText(const char* text) {
    if (!_Result()) return text;
    m_failed = text == nullptr;
    _Add(m_out, _Quoted{text});
    return text;
}

void TraceRecord::InnerCall(const char* name, uint32_t result, const uint32_t* value) {
    if (m_stage != kResult) return;
    if (!_trace.json) {
        _Add(m_out, " [by the front end: ", name, value != nullptr ? "(-> " : "(");
        if (value != nullptr) _Add(m_out, uint64_t{*value});
        return _Add(m_out, ") = ", _Hex{result, 8}, "]");
    }
    _Add(m_out, ",\"frontEndCall\":{\"name\":\"", name, "\",\"result\":", _Hex{result, 8});
    if (value != nullptr) _Add(m_out, ",\"counter\":", uint64_t{*value});
    _Add(m_out, "}");
}

// Counted for a text trace's summary.
void TraceRecord::End() noexcept {
    if (m_stage == kOff) return;
    const _KeptErrno kept;
    const int64_t duration = TraceClock() - m_start;
    if (_trace.json) {
        if (m_inside != nullptr) {
            _Key("in");
            _Add(m_out, "\"", m_inside, "\"");
        }
        _Add(m_out, "},\"dur\":", _Micros{duration}, "}");
    } else {
        if (m_function >= 0 && m_function < kMaxTracedFunctions) {
            _trace.statistics[m_function].Count(m_name, m_failed, static_cast<uint64_t>(duration));
        }
        _Add(m_out, " <", _Micros{duration}, "us>");
        if (m_inside != nullptr) _Add(m_out, " (in ", m_inside, ")");
        _Add(m_out, "\n");
    }
    _Write(m_out);
    m_stage = kOff;
}

}  // namespace Internal_Trelvo
