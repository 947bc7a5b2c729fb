// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/text.h"

#include <cctype>

namespace InternalUtils {

const char* skipwhitespace(const char* text) {
    if (text == nullptr) return nullptr;
    while (*text != '\0' && isspace(static_cast<unsigned char>(*text))) ++text;
    return text;
}

}  // namespace InternalUtils
