// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "logging/TraceWriter.h"

#include <linux/futex.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "logging/InternalLogging.h"
#include "utils/environment.h"
#include "utils/text.h"

namespace Internal_Trelvo {
namespace {

constexpr char kCannot[] = "Cannot trace calls to";

struct _KeptErrno {
    const int saved = errno;
    ~_KeptErrno() { errno = saved; }
};

struct _Trace {  // trivially destructible: threads still calling at exit find it whole
    std::atomic<bool> started{false}, on{false};  // on: once off at the end, off for good
    bool pipe = false, perProcess = false, unlogged = false;
    // Never closed: a thread may still write through it, and its number must
    // never reach a file that the program opens later.
    std::atomic<int> fd{-1}, writeError{0}, writers{0};  // the first error; threads in write()
    // A fork child's first record opens its "%p" file, or names the child in
    // a shared JSON file (one that only execs leaves nothing), while its
    // other threads sleep on this futex word.
    enum FileState { kReady, kPending, kOpening };
    std::atomic<FileState> file{kReady};
    TraceContext context{};
    const char* refusal = nullptr;  // or openError, for the debug log
    int openError = 0;
    char utc[40] = {}, pattern[PATH_MAX] = {}, path[PATH_MAX] = {};  // the pattern absolute
    TraceSummaryRow statistics[kTraceSummaryRows];
} _trace;

// Initial-exec, without a destructor: its first use allocates nothing.
__attribute__((tls_model("initial-exec"))) thread_local struct {
    pid_t process, id;
    bool opening;  // a fork child's file
} t_thread;

// SIGPIPE blocked around the write, and one that a FIFO without a reader
// raises taken back (not one already pending): EPIPE ends the trace, never
// the process.
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

// One write, counted so that the trace's end can wait for those in flight
// (the summary comes after the trace stopped). A failure stops the trace.
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

void _WriteHeader(const char* before) {
    _trace.context.processStart = ProcessStat(_trace.context.pid, 22);
    TraceBuffer header;
    FormatTraceHeader(header, _trace.context, _trace.utc, before);
    _Write(header);
}

// Whether the process that began the file still runs: this one before a
// reload, or one that shares the file, such as a parent after fork.
bool _BegunByARunningProcess(int fd) {
    char head[160] = "";
    int pid = 0;
    unsigned long long start = 0;
    return pread(fd, head, sizeof head - 1, 0) > 0 &&
           sscanf(head, kTraceIdentity[_trace.context.json], &pid, &start) == 2 && start != 0 &&
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
// after a comma; any other regular file but the process's own output is
// emptied. No allocation: a fork child's first record runs it.
void _Open() {
    if ((_trace.refusal = TraceFileName(_trace.pattern, _trace.context.pid, _trace.path))) return;
    _trace.context.json = IsJsonTraceFile(_trace.path);
    const TraceFile file = OpenTraceFile(_trace.path);
    _trace.refusal = file.refusal;
    _trace.openError = file.error;
    const bool regular =
        file.fd >= 0 && file.type == S_IFREG && OwnTraceDescriptor(_trace.path) < 0;
    const bool appending = regular && _BegunByARunningProcess(file.fd);
    if (regular && !appending && ftruncate(file.fd, 0) != 0) {
        _trace.openError = errno;
        return static_cast<void>(close(file.fd));
    }
    _trace.pipe = file.type == S_IFIFO;
    _trace.fd = file.fd;
    if (file.fd >= 0) _WriteHeader(appending ? ",\n" : "[");
}

// A fork child counts its own calls, and with "%p" writes its own file, else
// its parent's. With one thread, no write is in flight.
void _StartInChild() {
    _trace.context.pid = getpid();
    _trace.writers = 0;
    for (TraceSummaryRow& row : _trace.statistics)
        row.calls = row.failures = row.total = row.longest = 0;
    if (_trace.perProcess) close(_trace.fd.exchange(-1));
    if (_trace.perProcess || _trace.context.json) _trace.file = _Trace::kPending;
}

// Such a child's first record starts its file before any other record; a
// signal handler that interrupted the start drops its own.
bool _Recording() {
    if (!IsCallTraceOn()) return false;
    auto pending = _Trace::kPending;
    if (_trace.file.load() != _Trace::kReady && !t_thread.opening) {
        t_thread.opening = true;
        if (_trace.file.compare_exchange_strong(pending, _Trace::kOpening)) {
            int cancel = 0;  // a cancelled open or write would leave the others asleep
            pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel);
            _trace.unlogged = _trace.perProcess;
            _trace.perProcess ? _Open() : _WriteHeader(",\n");
            pthread_setcancelstate(cancel, nullptr);
            _trace.file = _Trace::kReady;
            syscall(SYS_futex, &_trace.file, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);
        }
        t_thread.opening = false;
        while (_trace.file.load() == _Trace::kOpening) {
            syscall(SYS_futex, &_trace.file, FUTEX_WAIT_PRIVATE, _Trace::kOpening, nullptr);
        }
    }
    return _trace.fd.load(std::memory_order_relaxed) >= 0;
}

// At unload and at exit, which a library cannot tell apart. The writes of
// threads still calling are waited for (a second at most): the process's end
// would cut short one that crosses a page of the file.
[[gnu::destructor]] void _EndTrace() {
    const bool wasOn = _trace.on.exchange(false);
    for (int wait = 0; wait < 1000 && _trace.writers != 0; ++wait) usleep(1000);
    TraceBuffer summary;
    if (wasOn && !_trace.context.json && _trace.fd >= 0 &&
        FormatTraceSummary(summary, _trace.context.pid, _trace.statistics)) {
        _Write(summary, true);
    }
    if (_trace.unlogged) _LogOpen();
    if (const int error = _trace.writeError) {
        _Log("Cannot write the call trace to", _trace.path, InternalUtils::geterrormessage(error));
    }
}

// The context of a record begun at start on this thread; none (tid 0) when
// start is 0, as when tracing is off.
TraceContext _Context(int64_t start) {
    const _KeptErrno kept;
    if (start == 0 || !_Recording()) return {};
    TraceContext context = _trace.context;
    context.newThread = t_thread.process != context.pid;
    if (context.newThread) t_thread = {context.pid, static_cast<pid_t>(syscall(SYS_gettid)), false};
    context.tid = t_thread.id;
    return context;
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
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            const int64_t origin = TraceClock(), realtime = now.tv_sec * 1000000000 + now.tv_nsec;
            _trace.context = {false, false, getpid(), 0, realtime - origin, origin, 0};
            tm utc{};  // "YYYY-MM-DDTHH:MM:SS.uuuuuuZ"
            const size_t date = strftime(_trace.utc, 32, "%FT%T.", gmtime_r(&now.tv_sec, &utc));
            snprintf(_trace.utc + date, 16, "%06dZ", static_cast<int>(now.tv_nsec / 1000));
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

TraceRecord::TraceRecord(const char* name, int64_t start, int row, const char* category,
                         const char* inside) noexcept
    : TraceFormat(_Context(start), start, name, category, inside), m_row(row) {}

void TraceRecord::End(bool failed) noexcept {
    if (!m_on) return;
    const _KeptErrno kept;
    const int64_t duration = TraceClock() - m_start;
    const TraceBuffer& record = Finish(duration);
    if (m_row >= 0 && !_trace.context.json)
        _trace.statistics[m_row].Count(m_name, failed, duration);
    _Write(record);
}

}  // namespace Internal_Trelvo
