// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The debug log: Trelvo.log beside the library, written only while the
// environment switches it on (TRELVODEBUG non-empty, or "debugaccess" inside
// VELTAPIOPTS), read afresh for every entry. Best effort: a line that cannot be
// written is dropped silently. The file is deleted when the library is loaded
// with the log on.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "utils/environment.h"

namespace Internal_Trelvo {

inline constexpr char kDebugLogVariable[] = "TRELVODEBUG";
inline constexpr char kDebugOptionsVariable[] = "VELTAPIOPTS";
inline constexpr char kDebugOption[] = "debugaccess";

// The switch, read afresh at each call. The switch and SwitchOffDebugLog are
// inline so that a program can use them before it loads the library without
// linking this module, whose load-time reset of the log would run in it.
inline bool IsDebugLogOn() {
    if (!InternalUtils::getenvvar(kDebugLogVariable).empty()) return true;
    return InternalUtils::getenvvar(kDebugOptionsVariable).find(kDebugOption) != std::string::npos;
}

// Switches the log off in this process's environment, and so for the
// libraries it loads: unsets TRELVODEBUG and takes every "debugaccess" out of
// VELTAPIOPTS. True when it was on.
inline bool SwitchOffDebugLog() {
    const bool wasOn = IsDebugLogOn();
    unsetenv(kDebugLogVariable);
    std::string options = InternalUtils::getenvvar(kDebugOptionsVariable);
    const size_t length = options.size();
    for (size_t at; (at = options.find(kDebugOption)) != std::string::npos;) {
        options.erase(at, sizeof kDebugOption - 1);
    }
    if (options.size() != length) setenv(kDebugOptionsVariable, options.c_str(), 1);
    return wasOn;
}

// Appends "<time stamp> <text>\n". Nothing for a null text or with the log off.
void LogText(const char* text);

// Logs "Error (<code>) accessing configuration file "<path>": <message>\n"
// with the configuration file's path and last reading error. The code is
// printed as a signed decimal.
void LogConfigFileErrors(int32_t code);

}  // namespace Internal_Trelvo
