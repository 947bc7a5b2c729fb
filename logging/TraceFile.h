// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace's file: its name, its format, and its opening, which may run
// as root in a shared directory. Shared by the front end and trelvo-doctor.
#pragma once

#include <sys/stat.h>

#include <string>

namespace Internal_Trelvo {

inline constexpr char kTraceVariable[] = "TRELVOTRACE";

// The file that pattern names for the process pid: every "%p" replaced by the
// pid, and a relative name joined to the current directory.
std::string TraceFilePath(const std::string& pattern, pid_t pid);
inline bool IsPerProcessTracePattern(const std::string& pattern) {
    return pattern.find("%p") != std::string::npos;
}
// A name ending in ".json" gives the Chrome trace-event format, any other text.
inline bool IsJsonTraceFile(const std::string& path) {
    return path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0;
}

struct TraceFile {
    int fd = -1;
    mode_t type = S_IFREG;  // S_IFREG, S_IFIFO or S_IFCHR (a terminal)
    std::string problem;    // why there is no descriptor
};

// Opens path for appending, blocking and close-on-exec, and empties nothing.
// A new file is created exclusively, mode 0600. An existing name is taken
// only as a regular file with one link, a FIFO or a terminal, owned by the
// effective user (or /dev/tty), as the opened descriptor shows it: never
// through a symbolic link, and never waiting for a FIFO's reader. A regular
// file is opened for reading too, so that its header can be read back.
TraceFile OpenTraceFile(const std::string& path);

// Why the file would be refused, without opening it; empty when nothing
// stands in the way.
std::string TraceFileProblem(const std::string& path);

}  // namespace Internal_Trelvo
