// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/environment.h"

#include <cstdlib>

namespace InternalUtils {

std::string getenvvar(const char* name) {
    if (name == nullptr) return std::string();
    const char* value = secure_getenv(name);
    return value != nullptr ? value : std::string();
}

}  // namespace InternalUtils
