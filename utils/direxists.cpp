// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/files.h"

#include <unistd.h>

namespace InternalUtils {

bool direxists(const char* path) { return path != nullptr && access(path, F_OK) == 0; }

}  // namespace InternalUtils
