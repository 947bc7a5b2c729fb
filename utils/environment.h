// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The process environment.
#pragma once

#include <string>

namespace InternalUtils {

// The value of the variable, copied; empty for a null name, an unset variable
// and one set to the empty string. In a secure-execution process (set-user-ID,
// set-group-ID, file capabilities) every variable reads as unset, as for the
// dynamic loader, so that the environment cannot choose privileged code.
std::string getenvvar(const char* name);

// True in a secure-execution process (the kernel's AT_SECURE).
bool issecureexecution();

}  // namespace InternalUtils
