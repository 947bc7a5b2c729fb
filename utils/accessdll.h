// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Wrappers of the dynamic loader: the only place that loads, binds and
// unloads the implementation library.
#pragma once

#include <string>

namespace InternalUtils {

// Loads with lazy binding (RTLD_LAZY). An empty path gives null without
// calling the loader. The caller owns the handle and releases it with freedll.
void* loaddll(const std::string& path);

// Releases a handle of loaddll; false when the loader refuses, with its text
// in getdllerrormessage. A null handle is a success without a loader call.
bool freedll(void* handle);

// The address of a symbol; null when the handle or the name is null, or the
// symbol is absent.
void* getprocedurefromdll(void* handle, const char* name);

// The loader's pending error text (dlerror, called once), or empty. Reading
// it clears it, so call this right after the failed call, on the same thread.
std::string getdllerrormessage();

}  // namespace InternalUtils
