// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/text.h"

#include <cstring>

namespace InternalUtils {

std::string geterrormessage(int error) { return strerror(error); }

}  // namespace InternalUtils
