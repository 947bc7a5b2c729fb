// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/files.h"

namespace InternalUtils {

bool fileexists(const char* path) { return direxists(path); }

}  // namespace InternalUtils
