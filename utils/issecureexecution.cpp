// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/environment.h"

#include <sys/auxv.h>

namespace InternalUtils {

bool issecureexecution() { return getauxval(AT_SECURE) != 0; }

}  // namespace InternalUtils
