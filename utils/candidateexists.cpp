// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/environment.h"
#include "utils/files.h"

namespace InternalUtils {

bool candidateexists(const char* path) {
    if (path == nullptr) return false;
    if (path[0] != '/' && issecureexecution()) return false;
    return fileexists(path);
}

}  // namespace InternalUtils
