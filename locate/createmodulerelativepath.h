// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Files beside this library, wherever the host process runs.
#pragma once

#include <string>

namespace InternalUtils {

// The file name under which the dynamic loader knows the object holding this
// code (it may be relative); empty when the loader cannot tell.
std::string getcurrentmodulepath();

// name in the directory of this library: "<dir>/name", or "./name" when the
// library's own path is unknown.
std::string createmodulerelativepath(const std::string& name);

}  // namespace InternalUtils
