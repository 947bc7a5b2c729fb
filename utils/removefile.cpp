// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/files.h"

#include <cerrno>
#include <cstdio>

namespace InternalUtils {

int removefile(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    return remove(path);
}

}  // namespace InternalUtils
