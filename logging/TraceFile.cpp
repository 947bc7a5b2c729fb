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

// O_EXCL never follows a symbolic link nor opens an existing file.
int _CreateExclusively(const std::string& path) {
    return open(path.c_str(),
                O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
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

// A file left by an earlier run is replaced. Should someone put something
// back between the removal and the creation, creation fails: tracing is
// then off rather than writing into a file that this process did not make.
int CreateTraceFile(const std::string& path) {
    int fd = _CreateExclusively(path);
    if (fd < 0 && errno == EEXIST && unlink(path.c_str()) == 0) fd = _CreateExclusively(path);
    return fd >= 0 ? fd : -errno;
}

std::string TraceFileProblem(const std::string& path) {
    const std::string directory = InternalUtils::removetail(path.c_str());
    if (access(directory.c_str(), W_OK | X_OK) == 0) return std::string();
    return InternalUtils::geterrormessage(errno);
}

}  // namespace Internal_Trelvo
