// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "logging/TraceFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "utils/paths.h"
#include "utils/text.h"

namespace Internal_Trelvo {
namespace {

constexpr char kPidMark[] = "%p";

std::string _CurrentDirectory() {
    char directory[PATH_MAX];
    return getcwd(directory, sizeof directory) != nullptr ? directory : "";
}

constexpr int kAppending = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;

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

// O_EXCL creates the file or fails, and never follows a link. An existing
// file is opened without following a link (ELOOP) or waiting for a FIFO's
// reader (ENXIO) and emptied; a device such as /dev/null cannot be, and is
// written as it is.
int CreateTraceFile(const std::string& path) {
    int fd = open(path.c_str(), kAppending | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && errno == EEXIST) {
        fd = open(path.c_str(), kAppending | O_NONBLOCK);
        if (fd >= 0 && ftruncate(fd, 0) != 0 && errno != EINVAL) {
            const int error = errno;
            close(fd);
            return -error;
        }
    }
    return fd >= 0 ? fd : -errno;
}

std::string TraceFileProblem(const std::string& path) {
    char target[1];
    if (readlink(path.c_str(), target, sizeof target) >= 0) {
        return "a symbolic link is in its place, which is never followed";
    }
    const std::string directory = InternalUtils::removetail(path.c_str());
    if (access(directory.c_str(), W_OK | X_OK) == 0) return std::string();
    return InternalUtils::geterrormessage(errno);
}

}  // namespace Internal_Trelvo
