// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "logging/TraceWriter.h"

namespace Internal_Trelvo {

int OwnTraceDescriptor(const char* path) {
    return strcmp(path, "/dev/stdout") == 0 ? 1 : strcmp(path, "/dev/stderr") == 0 ? 2 : -1;
}

// Among devices, whose opening can act, only terminals: /dev/tty and the
// console (major 5), virtual consoles (4), pseudo-terminals (136 to 143). A
// second link or another owner would let the trace overwrite a file never
// meant for it; the controlling terminal and own descriptors are the process's.
const char* TraceFileRefusal(const struct stat& file, const char* path) {
    if (S_ISLNK(file.st_mode)) return "a symbolic link is in its place, which is never followed";
    const unsigned kind = major(file.st_rdev), number = minor(file.st_rdev);
    const bool device = S_ISCHR(file.st_mode), controlling = device && kind == 5 && number == 0;
    if (device && !(kind == 5 && number <= 1) && !(kind == 4 && number < 64) &&
        !(kind >= 136 && kind <= 143)) {
        return "it is not a terminal";
    }
    if (!S_ISREG(file.st_mode) && !S_ISFIFO(file.st_mode) && !device) {
        return "it is not a regular file, a FIFO or a terminal";
    }
    if (controlling && ProcessStat(getpid(), 7) == 0) return "there is no controlling terminal";
    if (controlling || OwnTraceDescriptor(path) >= 0) return nullptr;
    if (file.st_uid != geteuid()) return "it belongs to another user";
    if (S_ISREG(file.st_mode) && file.st_nlink != 1) return "it has more than one link";
    return nullptr;
}

const char* TraceFileName(const char* pattern, pid_t pid, char (&name)[PATH_MAX]) {
    size_t size = 0;
    if (pattern[0] != '/' && getcwd(name, sizeof name - 1) != nullptr) {
        size = strlen(name);
        if (name[size - 1] != '/') name[size++] = '/';
    }
    for (const char* at = pattern; *at != 0 && size < sizeof name; ++at) {
        if (at[0] != '%' || at[1] != 'p' || pid == 0) {
            name[size++] = *at;
            continue;
        }
        const auto digits = std::to_chars(name + size, std::end(name), pid);
        size = digits.ec == std::errc() ? static_cast<size_t>(digits.ptr - name) : sizeof name;
        ++at;
    }
    if (size >= sizeof name) return "the name is too long";
    name[size] = 0;
    return nullptr;
}

// A FIFO without a reader fails to open (ENXIO) rather than blocking; once
// open, writes block, so that a slow reader loses nothing.
TraceFile OpenTraceFile(const char* path) {
    constexpr int kAppending = O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
    const int own = OwnTraceDescriptor(path);
    int fd = own >= 0 ? fcntl(own, F_DUPFD_CLOEXEC, 0)
                      : open(path, O_RDWR | O_CREAT | O_EXCL | kAppending, 0600);
    if (own < 0 && fd >= 0) return {fd, 0, S_IFREG, nullptr};
    struct stat named = {}, opened = {};
    if (own < 0) {
        if (errno != EEXIST || lstat(path, &named) != 0) return {-1, errno, 0, nullptr};
        if (const char* refusal = TraceFileRefusal(named, path)) return {-1, 0, 0, refusal};
        fd = open(path, (S_ISREG(named.st_mode) ? O_RDWR : O_WRONLY | O_NONBLOCK) | kAppending);
    }
    if (fd < 0 || fstat(fd, &opened) != 0) return {-1, errno, 0, nullptr};
    const bool replaced =
        own < 0 && (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino);
    const char* refusal =
        replaced ? "it was replaced while it was opened" : TraceFileRefusal(opened, path);
    if (refusal != nullptr) close(fd);
    if (refusal != nullptr) return {-1, 0, 0, refusal};
    if (own < 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return {fd, 0, opened.st_mode & S_IFMT, nullptr};
}

// The main thread's entry, which qemu-user passes through where it makes up
// /proc/PID/stat.
uint64_t ProcessStat(pid_t pid, int field) {
    char name[64], stat[1024] = "";
    snprintf(name, sizeof name, "/proc/%d/task/%d/stat", pid, pid);
    const int fd = open(name, O_RDONLY | O_CLOEXEC);
    const ssize_t size = fd >= 0 ? read(fd, stat, sizeof stat - 1) : -1;
    if (fd >= 0) close(fd);
    const char* at = size > 0 ? strrchr(stat, ')') : nullptr;  // the end of field 2, the name
    for (int i = 2; at != nullptr && i < field; ++i) at = strchr(at + 1, ' ');
    uint64_t value = 0;
    if (at != nullptr) std::from_chars(at + 1, stat + size, value);
    return value;
}

}  // namespace Internal_Trelvo
