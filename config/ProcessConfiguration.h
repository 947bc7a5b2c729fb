// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The library's own configuration: Trelvo.conf beside the library, processed
// once per process.
#pragma once

#include <cstdint>
#include <string>

namespace Internal_Trelvo {

struct TrelvoConfiguration {
    // Directory tried first for the implementation library; empty for none.
    // "$NAME" or "%NAME%" is replaced by that environment variable's value.
    std::string veltApiPath = "$VELT_PATH";
    // Try veltApiPath only, none of the default places.
    bool ignoreDefaultSearch = false;
};

// Reads Trelvo.conf beside the library into *configuration (keys
// "veltapipath" and "ignoredefaultsearch"), logs what it read, then resolves an
// environment reference in veltApiPath. Returns 0, EINVAL for a null pointer,
// ENOMEM when memory ran out, or the reader's errno-style failure (the record then
// keeps what it held, still resolved).
int32_t ProcessConfiguration(TrelvoConfiguration* configuration);

// The configuration file's path; empty until ProcessConfiguration has run.
std::string GetConfigFilePath();

// The reader's error text of the last failed load; empty if none failed.
std::string GetConfigLastErrorMessage();

// veltApiPath as the defaults and the file left it, before its environment
// reference was resolved; empty until ProcessConfiguration has read the file
// (or failed to).
std::string GetConfiguredVeltApiPath();

}  // namespace Internal_Trelvo
