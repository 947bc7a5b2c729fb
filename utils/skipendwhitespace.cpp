// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/text.h"

#include <cctype>
#include <cstring>

namespace InternalUtils {

const char* skipendwhitespace(const char* text, int length) {
    if (text == nullptr) return nullptr;
    if (length < 0) return text;
    const char* end = text + (length == 0 ? strlen(text) : static_cast<size_t>(length));
    while (end > text && isspace(static_cast<unsigned char>(end[-1]))) --end;
    if (end == text) return text;
    return end[-1] == '\0' ? end - 1 : end;
}

}  // namespace InternalUtils
