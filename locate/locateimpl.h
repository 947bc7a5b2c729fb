// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Installed products' shared-info files. Each locator reads
// <base>/Korvalt/.../sharedinfo.txt, where <base> is $HOME/.fenra when that
// exists and /usr/share otherwise, and returns the parent directory of the
// path on the file's first line. Empty when anything is missing or unusable.
#pragma once

#include <string>

namespace InternalUtils {

// <base>/Korvalt/Pravik/sharedinfo.txt
std::string locatepravik();

// <base>/Korvalt/FENRA/Trunwell/sharedinfo.txt
std::string locatefenra();

// The shared-info file that locatepravik or locatefenra reads now, whether or
// not it exists.
std::string praviksharedinfopath();
std::string fenrasharedinfopath();

}  // namespace InternalUtils
