// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "logging/TraceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "utils/paths.h"
#include "utils/text.h"

namespace Internal_Trelvo {
namespace {

constexpr char kPidMark[] = "%p";
constexpr int kAppending = O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;

std::string _CurrentDirectory() {
    char directory[PATH_MAX];
    return getcwd(directory, sizeof directory) != nullptr ? directory : "";
}

// Why an existing file must not receive the trace, or null. A second link
// or another owner would let the trace overwrite a file that the name's
// owner never meant for it.
const char* _Refusal(const struct stat& file, const std::string& path) {
    if (S_ISLNK(file.st_mode)) return "a symbolic link is in its place, which is never followed";
    if (!S_ISREG(file.st_mode) && !S_ISFIFO(file.st_mode) && !S_ISCHR(file.st_mode)) {
        return "it is not a regular file, a FIFO or a terminal";
    }
    const bool controllingTerminal = S_ISCHR(file.st_mode) && path == "/dev/tty";
    if (file.st_uid != geteuid() && !controllingTerminal) return "it belongs to another user";
    if (S_ISREG(file.st_mode) && file.st_nlink != 1) return "it has more than one link";
    return nullptr;
}

TraceFile _Refused(int fd, std::string problem) {
    if (fd >= 0) close(fd);
    TraceFile refused;
    refused.problem = std::move(problem);
    return refused;
}

// The name's file as lstat showed it, opened and checked again on the
// descriptor, which is what will be written.
TraceFile _OpenExisting(const std::string& path, const struct stat& named) {
    if (const char* refusal = _Refusal(named, path)) return _Refused(-1, refusal);
    const int access = S_ISREG(named.st_mode) ? O_RDWR : O_WRONLY | O_NONBLOCK;
    const int fd = open(path.c_str(), access | kAppending);
    if (fd < 0) return _Refused(-1, InternalUtils::geterrormessage(errno));
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        return _Refused(fd, "it was replaced while it was opened");
    }
    if (const char* refusal = _Refusal(opened, path)) return _Refused(fd, refusal);
    if (S_ISCHR(opened.st_mode) && !isatty(fd)) return _Refused(fd, "it is not a terminal");
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    TraceFile file;
    file.fd = fd;
    file.type = opened.st_mode & S_IFMT;
    return file;
}

}  // namespace

std::string TraceFilePath(const std::string& pattern, pid_t pid) {
    std::string path = pattern;
    const std::string number = std::to_string(pid);
    for (size_t at = 0; (at = path.find(kPidMark, at)) != std::string::npos; at += number.size()) {
        path.replace(at, sizeof kPidMark - 1, number);
    }
    if (path.empty() || path[0] == '/') return path;
    return InternalUtils::appendtail(_CurrentDirectory().c_str(), path.c_str());
}

bool IsPerProcessTracePattern(const std::string& pattern) {
    return pattern.find(kPidMark) != std::string::npos;
}

bool IsJsonTraceFile(const std::string& path) {
    constexpr char kJson[] = ".json";
    const size_t length = sizeof kJson - 1;
    return path.size() >= length && path.compare(path.size() - length, length, kJson) == 0;
}

TraceFile OpenTraceFile(const std::string& path) {
    TraceFile file;
    file.fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kAppending, 0600);
    file.type = S_IFREG;
    if (file.fd >= 0 || errno != EEXIST) {
        return file.fd >= 0 ? file : _Refused(-1, InternalUtils::geterrormessage(errno));
    }
    struct stat named {};
    if (lstat(path.c_str(), &named) != 0)
        return _Refused(-1, InternalUtils::geterrormessage(errno));
    return _OpenExisting(path, named);
}

std::string TraceFileProblem(const std::string& path) {
    struct stat named {};
    if (lstat(path.c_str(), &named) == 0) {
        const char* refusal = _Refusal(named, path);
        return refusal != nullptr ? refusal : "";
    }
    const std::string directory = InternalUtils::removetail(path.c_str());
    if (access(directory.c_str(), W_OK | X_OK) == 0) return std::string();
    return InternalUtils::geterrormessage(errno);
}

}  // namespace Internal_Trelvo
