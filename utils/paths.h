// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Cutting and joining '/'-separated path strings. Text only: nothing here
// touches the file system. A null argument reads as the empty string unless
// said otherwise.
#pragma once

#include <cstddef>
#include <string>

namespace InternalUtils {

// The path without its last component, exactly as POSIX dirname gives it:
// "/usr/lib/" -> "/usr", "libfile.so" -> ".", "" -> ".", "//x" -> "//".
// A null path gives the empty string.
std::string removetail(const char* path);

// base + "/" + tail, adding the separator only when base is non-empty and does
// not end in one. A separator leading the tail is kept. A null tail returns the
// base unchanged.
std::string appendtail(const char* base, const char* tail);

// appendtail of each non-null part in turn. parts is read only when count > 0.
std::string combinepaths(const char* base, const char** parts, size_t count);

// The path cut at its last '.', wherever it stands; unchanged without one.
std::string removeextension(const char* path);

// path + "." + extension; no dot for an empty path or extension, or when the
// extension starts with one.
std::string addextension(const char* path, const char* extension);

}  // namespace InternalUtils
