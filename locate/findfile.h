// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Looking for files beside this library and in directories.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace InternalUtils {

// The places findmodule tries, in its order: name beside this library, then
// "./name" in the current directory.
std::array<std::string, 2> modulecandidates(const std::string& name);

// Tests the modulecandidates in order that candidatetested (so "./name" is
// skipped in a secure-execution process). path receives the candidate tested
// last, so after a failed search it is "./name", or in a secure-execution
// process the name beside this library.
bool findmodule(const std::string& name, std::string& path);

// The entries of directory whose names match the fnmatch pattern (with
// FNM_PATHNAME only, so "*" matches "." and ".." too), each joined to the
// directory, in alphasort order. Empty when the scan fails. Calls are
// serialised on a private lock; throws std::system_error if it cannot be
// taken.
std::vector<std::string> findfiles(const std::string& directory, const std::string& filePattern);

}  // namespace InternalUtils
