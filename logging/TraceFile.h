// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace's file: its name from TRELVOTRACE, its format, and its safe
// creation. No state; shared by the front end and trelvo-doctor.
#pragma once

#include <sys/types.h>

#include <string>

namespace Internal_Trelvo {

inline constexpr char kTraceVariable[] = "TRELVOTRACE";

// The file that pattern names for the process pid: every "%p" replaced by the
// pid, and a relative name joined to the current directory. Empty for an
// empty pattern.
std::string TraceFilePath(const std::string& pattern, pid_t pid);

// True when the pattern contains "%p", so that each process gets a file of
// its own.
bool IsPerProcessTracePattern(const std::string& pattern);

// A name ending in ".json" gives the Chrome trace-event format, any other text.
bool IsJsonTraceFile(const std::string& path);

// Opens path for appending, close-on-exec, and returns its descriptor, or
// -errno: a new file, or an existing one emptied. A symbolic link in its
// place is never followed (-ELOOP), nor a FIFO without a reader waited for.
int CreateTraceFile(const std::string& path);

// Why the file could not be opened, without opening it: a symbolic link in
// its place, or the error that its directory gives; empty when nothing
// stands in the way.
std::string TraceFileProblem(const std::string& path);

}  // namespace Internal_Trelvo
