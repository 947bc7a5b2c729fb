// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/text.h"

#include <cctype>

namespace InternalUtils {

void stringtolower(std::string& text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
}

void stringtolower(char* text, int count) {
    if (text == nullptr) return;
    for (int i = 0; i < count && text[i] != '\0'; ++i) {
        text[i] = static_cast<char>(tolower(static_cast<unsigned char>(text[i])));
    }
}

}  // namespace InternalUtils
