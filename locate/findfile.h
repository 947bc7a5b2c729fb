// Looking for files beside this library and in directories.
#pragma once

#include <string>
#include <vector>

namespace InternalUtils {

// Looks for name beside this library, then as "./name" in the current
// directory (skipped in a secure-execution process). path receives the
// candidate tested last, so after a failed search it is "./name".
bool findmodule(const std::string& name, std::string& path);

// The entries of directory whose names match the fnmatch pattern (with
// FNM_PATHNAME only, so "*" matches "." and ".." too), each joined to the
// directory, in alphasort order. Empty when the scan fails. Calls are
// serialised on a private lock; throws std::system_error if it cannot be
// taken.
std::vector<std::string> findfiles(const std::string& directory, const std::string& filePattern);

}  // namespace InternalUtils
