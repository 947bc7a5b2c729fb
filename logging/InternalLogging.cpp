// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "logging/InternalLogging.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "config/ProcessConfiguration.h"
#include "locate/createmodulerelativepath.h"
#include "logging/timestamp.h"
#include "utils/files.h"

namespace Internal_Trelvo {
namespace {

std::string _GetLogPath() { return InternalUtils::createmodulerelativepath("Trelvo.log"); }

// The whole line goes out in as few writes as the kernel allows on one
// O_APPEND descriptor, so entries from other threads and processes land
// between lines, never inside one.
void _AppendLine(const std::string& path, const std::string& line) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;
    size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = write(fd, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    close(fd);
}

// Each load of the library with the log on starts an empty log.
[[maybe_unused]] const bool _logReset = [] {
    if (IsDebugLogOn()) InternalUtils::removefile(_GetLogPath().c_str());
    return true;
}();

}  // namespace

void LogText(const char* text) {
    if (text == nullptr || !IsDebugLogOn()) return;
    std::string line = InternalUtils::GetTimestamp();
    const std::string path = _GetLogPath();
    line.append(" ").append(text).append("\n");
    _AppendLine(path, line);
}

void LogConfigFileErrors(int32_t code) {
    if (!IsDebugLogOn()) return;
    const std::string path = GetConfigFilePath();
    const std::string message = GetConfigLastErrorMessage();
    const std::string report = "Error (" + std::to_string(code) +
                               ") accessing configuration file \"" + path + "\": " + message + "\n";
    LogText(report.c_str());
}

}  // namespace Internal_Trelvo
