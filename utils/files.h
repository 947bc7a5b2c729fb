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

// Whether a library search tests the candidate at all: not an empty or null
// path, and in a secure-execution process not a relative one, which the
// current directory would decide.
bool candidatetested(const char* path);

// fileexists for a candidate that candidatetested; false for any other.
bool candidateexists(const char* path);

// remove(path): 0, or -1 with errno set. A null path sets errno to EINVAL and
// returns -1.
int removefile(const char* path);

}  // namespace InternalUtils
