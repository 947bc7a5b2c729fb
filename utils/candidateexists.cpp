// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/environment.h"
#include "utils/files.h"

namespace InternalUtils {

bool candidatetested(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    return path[0] == '/' || !issecureexecution();
}

bool candidateexists(const char* path) { return candidatetested(path) && fileexists(path); }

}  // namespace InternalUtils
