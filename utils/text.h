// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Error texts and small string helpers. Characters go to isspace and tolower
// as unsigned byte values.
#pragma once

#include <string>

namespace InternalUtils {

// strerror's text for the error number, copied.
std::string geterrormessage(int error);

// Lower-cases every byte over the string's full length, embedded NULs too.
void stringtolower(std::string& text);

// Lower-cases at most count bytes, stopping at the first NUL. Nothing for a
// null text or a count of 0 or less.
void stringtolower(char* text, int count);

// The first character that is not white space, or the terminating NUL. Null
// for a null text.
const char* skipwhitespace(const char* text);

// The end of text[0, length) once trailing white space is cut: just past the
// last non-blank character, or that character's own position when it is a
// NUL. text itself when nothing is left. length 0 means strlen(text); a
// negative length reads nothing and gives text. Null for a null text.
const char* skipendwhitespace(const char* text, int length);

}  // namespace InternalUtils
