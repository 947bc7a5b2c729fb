// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <cstring>
#include <filesystem>
#include <optional>

#include "tools/doctor/Doctor.h"
#include "utils/files.h"

namespace TrelvoDoctor {
namespace {

constexpr char kUsage[] = R"(Usage: trelvo-doctor [--library PATH] [--json]

Tells which VELT API implementation libTrelvo_aarch64.so will use, and why.
Run it in the directory and with the environment of the program in question.

  --library PATH  the front end to examine (default: the one beside this
                  program, else in its installation's library directory);
                  libTrelvoDoctorProbe_aarch64.so must lie beside it
  --json          one JSON object instead of the text report
  --help          this text

Exit status:
)";

void _WriteUsage(std::ostream& out) {
    out << kUsage;
    for (const ExitStatus& status : kExitStatuses) {
        out << "  " << status.code << "  " << status.result << '\n';
        if (status.meaning != nullptr) out << "     (" << status.meaning << ")\n";
    }
}

// Empty text on success; otherwise what was wrong.
std::string _Parse(const std::vector<std::string>& arguments, std::optional<std::string>& library,
                   bool& json, bool& help) {
    constexpr char kLibraryIs[] = "--library=";
    for (auto argument = arguments.begin(); argument != arguments.end(); ++argument) {
        if (*argument == "--json") {
            json = true;
        } else if (*argument == "--help" || *argument == "-h") {
            help = true;
        } else if (*argument == "--library") {
            if (++argument == arguments.end()) return "--library needs a path";
            library = *argument;
        } else if (argument->rfind(kLibraryIs, 0) == 0) {
            library = argument->substr(sizeof kLibraryIs - 1);
        } else {
            return "unknown argument: " + *argument;
        }
    }
    return std::string();
}

// Beside this program (the build tree), then in the library directory of the
// prefix it is installed in.
std::optional<std::string> _DefaultFrontEnd(const std::string& programDirectory,
                                            std::ostream& err) {
    if (programDirectory.empty()) {
        err << "trelvo-doctor: cannot tell which directory this program lies in, so cannot "
               "look for the front end beside it\n(/proc/self/exe, AT_EXECFN and argv[0] name "
               "no file found here).\nName the front end with --library PATH.\n";
        return std::nullopt;
    }
    std::vector<std::string> candidates = {programDirectory + "/libTrelvo_aarch64.so"};
    if (*TRELVO_DOCTOR_LIBDIR_FROM_BINDIR) {
        candidates.push_back(programDirectory + "/" TRELVO_DOCTOR_LIBDIR_FROM_BINDIR
                                                "/libTrelvo_aarch64.so");
    }
    for (const std::string& candidate : candidates) {
        if (InternalUtils::fileexists(candidate.c_str())) return candidate;
    }
    err << "trelvo-doctor: no front end found; looked for";
    for (const std::string& candidate : candidates) err << ' ' << candidate;
    err << "\nName one with --library PATH.\n";
    return std::nullopt;
}

}  // namespace

std::string ProgramDirectory(const char* selfLink, const char* executedPath,
                             const char* invokedAs) {
    // A bare argv[0] was looked up in PATH, not in the current directory.
    if (invokedAs != nullptr && std::strchr(invokedAs, '/') == nullptr) invokedAs = nullptr;
    for (const char* path : {selfLink, executedPath, invokedAs}) {
        if (path == nullptr) continue;
        std::error_code failed;
        const std::filesystem::path program = std::filesystem::canonical(path, failed);
        if (!failed) return program.parent_path().string();
    }
    return std::string();
}

int RunDoctor(const std::vector<std::string>& arguments, const std::string& programDirectory,
              std::ostream& out, std::ostream& err) {
    std::optional<std::string> library;
    bool json = false, help = false;
    const std::string problem = _Parse(arguments, library, json, help);
    if (!problem.empty()) err << "trelvo-doctor: " << problem << "\n\n";
    if (!problem.empty() || help) {
        _WriteUsage(problem.empty() ? out : err);
        return problem.empty() ? 0 : kUsageError.code;
    }
    if (!library) library = _DefaultFrontEnd(programDirectory, err);
    if (!library) return kNotDiagnosed.code;
    const Diagnosis diagnosis = Diagnose(*library);
    (json ? WriteJsonReport : WriteTextReport)(diagnosis, out);
    return diagnosis["exitStatus"];
}

}  // namespace TrelvoDoctor
