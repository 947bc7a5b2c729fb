// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <iostream>

#include "tools/doctor/Doctor.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return TrelvoDoctor::RunDoctor(arguments, std::cout, std::cerr);
}
