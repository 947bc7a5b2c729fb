// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Prints what the environment and the implementation search give this
// process, for secureexecution-test, which runs it set-user-ID and plain.
// Its one argument is the configured directory, which should hold nothing.
#include <cstdio>
#include <string>

#include "api/Internal_GetAPILibraryName.h"
#include "logging/TraceWriter.h"
#include "utils/environment.h"

#ifdef __SANITIZE_ADDRESS__
// LeakSanitizer stops the process to inspect it, which a set-user-ID process,
// not dumpable, does not allow.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
#endif

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    Internal_Trelvo::TrelvoConfiguration configuration;
    configuration.veltApiPath = argv[1];
    std::string candidate;
    const bool found = Internal_Trelvo::GetAPILibraryName(configuration, candidate);
    Internal_Trelvo::StartCallTrace();
    std::printf("secure=%d\nVELT_PATH=%s\nfound=%d %s\ntrace=%d\n",
                InternalUtils::issecureexecution() ? 1 : 0,
                InternalUtils::getenvvar("VELT_PATH").c_str(), found ? 1 : 0, candidate.c_str(),
                Internal_Trelvo::IsCallTraceOn() ? 1 : 0);
    return 0;
}
