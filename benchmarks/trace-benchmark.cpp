// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The cost of a traced call: direct calls into the implementation against
// the same calls through the front end with the call trace on. The trace
// goes to a file in a fresh directory below $TMPDIR (or /tmp), text or, with
// --json first on the command line, the trace-event format; the directory is
// removed at the end. A traced call's overhead is its time less the direct
// call's.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CallBenchmarks.h"

int main(int argc, char** argv) {
    const bool json = argc > 1 && std::strcmp(argv[1], "--json") == 0;
    const char* temporary = std::getenv("TMPDIR");
    std::string directory =
        std::string(temporary != nullptr ? temporary : "/tmp") + "/trelvo-trace-benchmark-XXXXXX";
    if (mkdtemp(directory.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    // The trace starts with the first call, so the variable set here decides.
    const std::string file = directory + (json ? "/trace.json" : "/trace.txt");
    setenv("TRELVOTRACE", file.c_str(), 1);
    const bool bound = BindDirectCalls();
    if (bound) {
        std::printf("trace: %s\n", file.c_str());
        benchmark::RegisterBenchmark("direct/required", DirectRequired);
        benchmark::RegisterBenchmark("traced/required", ForwardedRequired);
        benchmark::RegisterBenchmark("direct/optional", DirectOptional);
        benchmark::RegisterBenchmark("traced/optional", ForwardedOptional);
        if (json) argv[1] = argv[0];
        int count = json ? argc - 1 : argc;
        benchmark::Initialize(&count, json ? argv + 1 : argv);
        benchmark::RunSpecifiedBenchmarks();
    }
    // The front end ends the trace as the process exits; the directory goes now.
    unlink(file.c_str());
    rmdir(directory.c_str());
    return bound ? 0 : 1;
}
