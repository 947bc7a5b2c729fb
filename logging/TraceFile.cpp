// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "logging/TraceWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "utils/paths.h"
#include "utils/text.h"

namespace Internal_Trelvo {
namespace {

constexpr int kAppending = O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;

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

TraceFile _Refused(int fd, const std::string& problem) {
    if (fd >= 0) close(fd);
    return {-1, 0, problem};
}

}  // namespace

std::string TraceFilePath(const std::string& pattern, pid_t pid) {
    std::string path = pattern;
    const std::string number = std::to_string(pid);
    for (size_t at = 0; (at = path.find("%p", at)) != std::string::npos; at += number.size()) {
        path.replace(at, 2, number);
    }
    char directory[PATH_MAX];
    if (path.empty() || path[0] == '/') return path;
    return InternalUtils::appendtail(getcwd(directory, sizeof directory) ? directory : "",
                                     path.c_str());
}

// An existing name's file as lstat showed it is opened and checked again on
// the descriptor, which is what will be written.
TraceFile OpenTraceFile(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kAppending, 0600);
    if (fd >= 0) return {fd, S_IFREG, ""};
    struct stat named {};
    struct stat opened {};
    if (errno != EEXIST || lstat(path.c_str(), &named) != 0) {
        return _Refused(-1, InternalUtils::geterrormessage(errno));
    }
    if (const char* refusal = _Refusal(named, path)) return _Refused(-1, refusal);
    fd = open(path.c_str(), (S_ISREG(named.st_mode) ? O_RDWR : O_WRONLY | O_NONBLOCK) | kAppending);
    if (fd < 0) return _Refused(-1, InternalUtils::geterrormessage(errno));
    if (fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        return _Refused(fd, "it was replaced while it was opened");
    }
    if (const char* refusal = _Refusal(opened, path)) return _Refused(fd, refusal);
    if (S_ISCHR(opened.st_mode) && !isatty(fd)) return _Refused(fd, "it is not a terminal");
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);  // a slow reader loses nothing
    return {fd, opened.st_mode & S_IFMT, ""};
}

std::string TraceFileProblem(const std::string& path) {
    struct stat named {};
    if (lstat(path.c_str(), &named) == 0) {
        const char* refusal = _Refusal(named, path);
        return refusal != nullptr ? refusal : "";
    }
    if (access(InternalUtils::removetail(path.c_str()).c_str(), W_OK | X_OK) == 0) return "";
    return InternalUtils::geterrormessage(errno);
}

}  // namespace Internal_Trelvo
