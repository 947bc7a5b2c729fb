// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>

namespace InternalUtils {

// The local time now as "YYYY-MM-DD HH:MM:SS,mmm" (23 characters); empty when
// the local time cannot be formed.
std::string GetTimestamp();

}  // namespace InternalUtils
