// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <sys/auxv.h>

#include <iostream>

#include "tools/doctor/Doctor.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto executedPath = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    const std::string directory =
        TrelvoDoctor::ProgramDirectory("/proc/self/exe", executedPath, argv[0]);
    return TrelvoDoctor::RunDoctor(arguments, directory, std::cout, std::cerr);
}
