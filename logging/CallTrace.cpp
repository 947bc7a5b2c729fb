// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "logging/CallTrace.h"

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "logging/InternalLogging.h"
#include "logging/TraceFile.h"
#include "utils/environment.h"
#include "utils/text.h"

namespace Internal_Trelvo {
namespace {

struct _NamedCode {
    uint32_t code;
    const char* name;
};
#define TRELVO_NAMED_CODE(code) \
    { code, #code }
constexpr _NamedCode _frontEndCodes[] = {
    TRELVO_NAMED_CODE(TRELVO_E_NULL_ARGUMENT),
    TRELVO_NAMED_CODE(TRELVO_E_NOT_SUPPORTED),
    TRELVO_NAMED_CODE(TRELVO_E_NOT_IMPLEMENTED),
    TRELVO_NAMED_CODE(TRELVO_E_OUT_OF_MEMORY),
    TRELVO_NAMED_CODE(TRELVO_E_NOT_LOADED),
    TRELVO_NAMED_CODE(TRELVO_E_IMPLEMENTATION_UNAVAILABLE),
    TRELVO_NAMED_CODE(TRELVO_E_UNLOAD_FAILED),
    TRELVO_NAMED_CODE(TRELVO_E_MISSING_ENTRY_POINTS),
    TRELVO_NAMED_CODE(TRELVO_E_PATH_NOT_LOADABLE),
};
#undef TRELVO_NAMED_CODE

const char* _CodeName(uint32_t code) {
    for (const _NamedCode& named : _frontEndCodes) {
        if (named.code == code) return named.name;
    }
    return nullptr;
}

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
    void reset() {
        calls = 0;
        failures = 0;
        totalNanoseconds = 0;
        maxNanoseconds = 0;
    }
};

// The trace of this process. Written by StartCallTrace under the front end's
// lock, and in a child after fork; the records only read it. Its
// destructor, at unload or exit, ends the file.
struct _Trace {
    std::atomic<bool> started{false};
    std::atomic<bool> on{false};
    std::string pattern;  // TRELVOTRACE as read
    std::string path;     // the file of this process
    bool json = false;
    std::atomic<int> fd{-1};
    pid_t pid = 0;    // this process, set when tracing starts and after fork
    pid_t owner = 0;  // the process that created the file and closes its array
    std::atomic<bool> writeFailureLogged{false};
    // A child of fork with "%p" in the name opens its own file at its first
    // record, so that children that only exec leave no file behind.
    enum FileState { kReady, kPending, kOpening };
    std::atomic<FileState> file{kReady};
    _Statistics statistics[kTracedFunctionCount];

    ~_Trace();
} _trace;

// The kernel's thread id, asked once per thread: a plain value, so that the
// thread-local storage needs no destructor. Cleared in a child after fork.
thread_local pid_t t_threadId = 0;

pid_t _ThreadId() {
    if (t_threadId == 0) t_threadId = static_cast<pid_t>(syscall(SYS_gettid));
    return t_threadId;
}

int64_t _Nanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// For the short texts of names and numbers; a longer one would be dropped.
template <typename... Values>
void _Format(std::string& out, const char* format, Values... values) {
    char text[128];
    const int length = snprintf(text, sizeof text, format, values...);
    if (length > 0) out.append(text, static_cast<size_t>(length) < sizeof text ? length : 0);
}

// The digits of value in base, at least width of them. Numbers are written
// by hand: they are most of a record, and snprintf would be most of its cost.
void _Digits(std::string& out, uint64_t value, unsigned base, int width = 1) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0 || count < width);
    while (count > 0) out += digits[--count];
}

void _Decimal(std::string& out, uint64_t value) { _Digits(out, value, 10); }

// Microseconds with nanosecond digits.
void _Microseconds(std::string& out, int64_t nanoseconds) {
    const auto value = static_cast<uint64_t>(nanoseconds);
    _Decimal(out, value / 1000);
    out += '.';
    _Digits(out, value % 1000, 10, 3);
}

void _Pointer(std::string& out, const void* pointer) {
    if (pointer == nullptr) {
        out += "null";
    } else {
        out += "0x";
        _Digits(out, reinterpret_cast<uintptr_t>(pointer), 16);
    }
}

// The length of the well-formed UTF-8 sequence at text, or 0.
size_t _Utf8Length(const unsigned char* text) {
    const unsigned char lead = text[0];
    const size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4
                          : lead >= 0xE0               ? 3
                          : lead >= 0xC2               ? 2
                                                       : 0;
    if (lead >= 0xF5) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) return 0;
    }
    return length;
}

// A text in double quotes on one line, as JSON writes strings: quotes,
// backslashes and control characters escaped, bytes that are not UTF-8 as
// U+FFFD. Null without quotes.
void _Quoted(std::string& out, const char* text) {
    if (text == nullptr) {
        out += "null";
        return;
    }
    out += '"';
    for (auto* at = reinterpret_cast<const unsigned char*>(text); *at != 0;) {
        const unsigned char c = *at;
        if (c == '"' || c == '\\') {
            out.append(1, '\\').append(1, static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7F) {
            _Format(out, "\\u%04x", c);
        } else if (c >= 0x80) {
            const size_t length = _Utf8Length(at);
            if (length == 0) {
                out += "\\ufffd";
                ++at;
                continue;
            }
            out.append(reinterpret_cast<const char*>(at), length);
            at += length;
            continue;
        } else {
            out += static_cast<char>(c);
        }
        ++at;
    }
    out += '"';
}

void _Code(std::string& out, uint32_t code) {
    out += "0x";
    _Digits(out, code, 16, 8);
}

// The date and time of a second, "2026-12-08T14:05:09", formed once per
// second and thread.
struct _Second {
    int64_t second;
    char text[24];
};
thread_local _Second t_second{-1, {}};

void _Timestamp(std::string& out, int64_t realtime) {
    const int64_t second = realtime / 1000000000;
    if (t_second.second != second) {
        const auto calendarTime = static_cast<time_t>(second);
        std::tm utc{};
        if (gmtime_r(&calendarTime, &utc) == nullptr ||
            strftime(t_second.text, sizeof t_second.text, "%Y-%m-%dT%H:%M:%S", &utc) == 0) {
            return;
        }
        t_second.second = second;
    }
    out += t_second.text;
    out += '.';
    _Digits(out, static_cast<uint64_t>(realtime % 1000000000 / 1000), 10, 6);
    out += 'Z';
}

// The next parameter name of "(arg1, arg2)" from *at on.
std::string _NextName(const char*& at) {
    while (*at == '(' || *at == ',' || *at == ' ') ++at;
    const char* begin = at;
    while (*at != 0 && *at != ',' && *at != ')') ++at;
    return std::string(begin, at);
}

// One write, so that the record lands whole between the records of other
// threads and processes appending to the file.
void _Write(const std::string& record) {
    const int fd = _trace.fd.load(std::memory_order_relaxed);
    size_t written = 0;
    while (fd >= 0 && written < record.size()) {
        const ssize_t n = write(fd, record.data() + written, record.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (!_trace.writeFailureLogged.exchange(true)) {
                LogText(("Cannot write the call trace to \"" + _trace.path +
                         "\": " + InternalUtils::geterrormessage(n < 0 ? errno : EIO))
                            .c_str());
            }
            return;
        }
        written += static_cast<size_t>(n);
    }
}

// "  1.234 us  pid 10 tid 11  2026-12-08T14:05:09.123456Z\n" after a text record.
void _TextTail(std::string& out, const TraceStart& start, int64_t duration) {
    out += "  ";
    _Microseconds(out, duration);
    out += " us  pid ";
    _Decimal(out, static_cast<uint64_t>(_trace.pid));
    out += " tid ";
    _Decimal(out, static_cast<uint64_t>(_ThreadId()));
    out += "  ";
    _Timestamp(out, start.realtime);
    out += '\n';
}

// `,\n{"name":...,"args":{` opening a JSON event.
void _JsonHead(std::string& out, const char* name, const char* category, const TraceStart& start,
               int64_t duration) {
    out += ",\n{\"name\":";
    _Quoted(out, name);
    out.append(",\"cat\":\"").append(category).append("\",\"ph\":\"X\",\"ts\":");
    _Microseconds(out, start.realtime);
    out += ",\"dur\":";
    _Microseconds(out, duration);
    out += ",\"pid\":";
    _Decimal(out, static_cast<uint64_t>(_trace.pid));
    out += ",\"tid\":";
    _Decimal(out, static_cast<uint64_t>(_ThreadId()));
    out += ",\"args\":{";
}

void _TextArgument(std::string& out, const TraceArgument& argument) {
    switch (argument.kind) {
        case TraceArgument::Kind::Pointer: return _Pointer(out, argument.pointer);
        case TraceArgument::Kind::Integer: return _Decimal(out, argument.integer);
        case TraceArgument::Kind::Text:
            return _Quoted(out, static_cast<const char*>(argument.pointer));
        case TraceArgument::Kind::Counter:
            _Pointer(out, argument.pointer);
            if (argument.pointer != nullptr) {
                out += " -> ";
                _Decimal(out, *static_cast<const uint32_t*>(argument.pointer));
            }
            return;
    }
}

void _JsonArgument(std::string& out, const std::string& name, const TraceArgument& argument) {
    out.append("\"").append(name).append("\":");
    if (argument.kind == TraceArgument::Kind::Pointer ||
        argument.kind == TraceArgument::Kind::Counter) {
        if (argument.pointer == nullptr) {
            out += "null";
        } else {
            out += '"';
            _Pointer(out, argument.pointer);
            out += '"';
        }
    } else {
        _TextArgument(out, argument);
    }
    if (argument.kind == TraceArgument::Kind::Counter) {
        out.append(",\"*").append(name).append("\":");
        if (argument.pointer == nullptr) {
            out += "null";
        } else {
            _Decimal(out, *static_cast<const uint32_t*>(argument.pointer));
        }
    }
    out += ',';
}

void _TextResult(std::string& out, const TraceResult& result) {
    if (result.isText) return _Quoted(out, result.text);
    _Code(out, result.code);
    if (const char* name = _CodeName(result.code)) out.append(" ").append(name);
}

std::string _TextCall(const TracedFunction& function, const TraceStart& start, int64_t duration,
                      std::initializer_list<TraceArgument> arguments, const TraceResult& result,
                      const TraceInnerCall* inner) {
    std::string out = function.name;
    out += '(';
    const char* separator = "";
    for (const TraceArgument& argument : arguments) {
        out += separator;
        _TextArgument(out, argument);
        separator = ", ";
    }
    out += ") = ";
    _TextResult(out, result);
    if (inner != nullptr) {
        _Format(out, " [by the front end: %s(-> %" PRIu32 ") = ", inner->name, inner->counter);
        _Code(out, inner->result);
        out += ']';
    }
    _TextTail(out, start, duration);
    return out;
}

std::string _JsonCall(const TracedFunction& function, const TraceStart& start, int64_t duration,
                      std::initializer_list<TraceArgument> arguments, const TraceResult& result,
                      const TraceInnerCall* inner) {
    std::string out;
    _JsonHead(out, function.name, "call", start, duration);
    const char* names = function.parameters;
    for (const TraceArgument& argument : arguments) _JsonArgument(out, _NextName(names), argument);
    out += "\"result\":";
    if (result.isText) {
        _Quoted(out, result.text);
    } else {
        out += '"';
        _Code(out, result.code);
        out += '"';
        if (const char* name = _CodeName(result.code))
            out.append(",\"resultName\":\"").append(name) += '"';
    }
    if (inner != nullptr) {
        _Format(out, ",\"frontEndCall\":{\"name\":\"%s\",\"result\":\"", inner->name);
        _Code(out, inner->result);
        _Format(out, "\",\"counter\":%" PRIu32 "}", inner->counter);
    }
    out += "}}";
    return out;
}

bool _Failed(const TraceResult& result) {
    return result.isText ? result.text == nullptr : result.code != 0;
}

std::string _Summary() {
    std::string out;
    for (const _Statistics& statistics : _trace.statistics) {
        const uint64_t calls = statistics.calls;
        if (calls == 0) continue;
        _Format(out, "# %s  calls %" PRIu64 "  failures %" PRIu64 "  total ",
                statistics.name.load(), calls, statistics.failures.load());
        _Microseconds(out, static_cast<int64_t>(statistics.totalNanoseconds));
        out += " us  mean ";
        _Microseconds(out, static_cast<int64_t>(statistics.totalNanoseconds / calls));
        out += " us  max ";
        _Microseconds(out, static_cast<int64_t>(statistics.maxNanoseconds));
        out += " us\n";
    }
    return out;
}

// The JSON array opens with the process's name, so that each record after
// it can begin with its comma: cut short anywhere between records, the file
// lacks only its closing bracket.
void _Open() {
    _trace.path = TraceFilePath(_trace.pattern, _trace.pid);
    _trace.json = IsJsonTraceFile(_trace.path);
    const int fd = CreateTraceFile(_trace.path);
    if (fd < 0) {
        LogText(("Cannot trace calls to \"" + _trace.path +
                 "\": " + InternalUtils::geterrormessage(-fd))
                    .c_str());
        return;
    }
    _trace.fd = fd;
    _trace.owner = _trace.pid;
    _trace.writeFailureLogged = false;
    if (_trace.json) {
        std::string header;
        _Format(header, "[{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":%d,\"tid\":%d,",
                static_cast<int>(_trace.pid), static_cast<int>(_trace.pid));
        header += "\"args\":{\"name\":";
        _Quoted(header, program_invocation_short_name);
        header += "}}";
        _Write(header);
    }
    _trace.on = true;
    LogText(("Tracing calls to \"" + _trace.path + "\"").c_str());
}

// A child of fork is a process of its own: it counts its own calls, and
// with "%p" in the name writes its own file; otherwise it goes on appending
// to its parent's.
void _StartInChild() {
    t_threadId = 0;
    _trace.pid = getpid();
    for (_Statistics& statistics : _trace.statistics) statistics.reset();
    if (!IsPerProcessTracePattern(_trace.pattern)) return;
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

// Whether to write a record, opening a pending file first.
bool _Recording() {
    if (!IsCallTraceOn()) return false;
    if (_trace.file.load(std::memory_order_acquire) != _Trace::kReady) _OpenPendingFile();
    return true;
}

_Trace::~_Trace() {
    const int descriptor = fd.load();
    if (descriptor < 0) return;
    if (!json) {
        _Write(_Summary());
    } else if (owner == pid) {
        _Write("\n]\n");
    }
    close(descriptor);
    fd = -1;
    on = false;
}

}  // namespace

void StartCallTrace() noexcept {
    if (_trace.started) return;
    try {
        _trace.pattern = InternalUtils::getenvvar(kTraceVariable);
        if (!_trace.pattern.empty()) {
            _trace.pid = getpid();
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

TraceStart TraceNow() { return {_Nanoseconds(CLOCK_MONOTONIC), _Nanoseconds(CLOCK_REALTIME)}; }

void TraceCall(const TracedFunction& function, const TraceStart& start,
               std::initializer_list<TraceArgument> arguments, TraceResult result,
               const TraceInnerCall* inner) noexcept {
    const int64_t duration = _Nanoseconds(CLOCK_MONOTONIC) - start.monotonic;
    if (!_Recording()) return;
    _trace.statistics[function.index].count(function.name, _Failed(result),
                                            static_cast<uint64_t>(duration));
    try {
        _Write(_trace.json ? _JsonCall(function, start, duration, arguments, result, inner)
                           : _TextCall(function, start, duration, arguments, result, inner));
    } catch (...) {
        // No memory for the record: it is dropped.
    }
}

void TraceEvent(const char* event, const std::string& path, const TraceStart& start) noexcept {
    const int64_t duration = _Nanoseconds(CLOCK_MONOTONIC) - start.monotonic;
    if (!_Recording()) return;
    try {
        std::string out;
        if (_trace.json) {
            _JsonHead(out, event, "front end", start, duration);
            out += "\"path\":";
            _Quoted(out, path.c_str());
            out += "}}";
        } else {
            out.append("-- ").append(event).append(" ");
            _Quoted(out, path.c_str());
            _TextTail(out, start, duration);
        }
        _Write(out);
    } catch (...) {
        // No memory for the record: it is dropped.
    }
}

}  // namespace Internal_Trelvo
