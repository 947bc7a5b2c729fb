// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// File-system queries and removal.
#pragma once

namespace InternalUtils {

// True when anything at all exists at the path (access F_OK), a regular file
// or not. False for a null path.
bool direxists(const char* path);

// The same test as direxists: true for a directory as well.
bool fileexists(const char* path);

// fileexists for a candidate of a library search. In a secure-execution
// process a relative path, which the current directory would decide, counts
// as absent.
bool candidateexists(const char* path);

// remove(path): 0, or -1 with errno set. A null path sets errno to EINVAL and
// returns -1.
int removefile(const char* path);

}  // namespace InternalUtils
