// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "api/Trelvo.h"
#include "logging/InternalLogging.h"
#include "logging/TraceWriter.h"
#include "tools/doctor/Doctor.h"
#include "utils/accessdll.h"
#include "utils/environment.h"
#include "utils/files.h"
#include "utils/paths.h"
#include "utils/text.h"

namespace TrelvoDoctor {
namespace {

struct _FrontEnd {
    decltype(&Trelvo_GetVeltApiImplementationPath) getImplementationPath;
    decltype(&VELT_GetConnectionStatus) getConnectionStatus;
    decltype(&VELT_GetLastErrorMessage) getLastErrorMessage;
};

// Records why nothing can be diagnosed; false.
bool _Fail(Diagnosis& diagnosis, const std::string& why) {
    diagnosis["failure"] = why;
    return false;
}

// Loads the library for good (the front end keeps the implementation it
// loads); null, with the failure recorded, when it cannot.
void* _Open(Diagnosis& diagnosis, const std::string& path, const char* what) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const std::string failure = std::string("cannot load the ") + what + ": ";
    if (handle == nullptr) _Fail(diagnosis, failure + InternalUtils::getdllerrormessage());
    return handle;
}

template <typename Function>
bool _Bind(void* handle, const char* symbol, Function& function, Diagnosis& diagnosis) {
    function = reinterpret_cast<Function>(dlsym(handle, symbol));
    return function != nullptr || _Fail(diagnosis, diagnosis["frontEnd"].get<std::string>() +
                                                       " does not export " + symbol);
}

bool _LoadFrontEnd(Diagnosis& diagnosis, _FrontEnd& api) {
    void* handle = _Open(diagnosis, diagnosis["frontEnd"], "front end");
    return handle != nullptr &&
           _Bind(handle, "Trelvo_GetVeltApiImplementationPath", api.getImplementationPath,
                 diagnosis) &&
           _Bind(handle, "VELT_GetConnectionStatus", api.getConnectionStatus, diagnosis) &&
           _Bind(handle, "VELT_GetLastErrorMessage", api.getLastErrorMessage, diagnosis);
}

bool _LoadCompanion(Diagnosis& diagnosis, const ProbeTable*& probe) {
    const std::string companion = diagnosis["companion"];
    if (!InternalUtils::fileexists(companion.c_str())) {
        return _Fail(diagnosis, "no companion library beside the front end: " + companion +
                                    " (install trelvo-doctor's " + kProbeFileName + " there)");
    }
    void* library = _Open(diagnosis, companion, "companion library");
    if (library == nullptr) return false;
    const auto entry = reinterpret_cast<ProbeEntry>(dlsym(library, kProbeEntrySymbol));
    probe = entry != nullptr ? entry() : nullptr;
    return (probe != nullptr && probe->size == sizeof(ProbeTable) &&
            std::memcmp(&probe->layout, &kProbeLayout, sizeof kProbeLayout) == 0) ||
           _Fail(diagnosis, companion + " is not the companion of this trelvo-doctor");
}

// A harmless forwarded call, so that the front end initializes as at a
// client's first call.
void _Initialize(const _FrontEnd& api, Diagnosis& diagnosis) {
    const char* path = api.getImplementationPath();
    diagnosis["frontEndChoice"] = path != nullptr ? Diagnosis(path) : Diagnosis();
    diagnosis["implementation"] = nullptr;
    uint32_t status = 0;
    const uint32_t result = api.getConnectionStatus(&status);
    const char* error = result != 0 ? api.getLastErrorMessage(0) : nullptr;
    char hex[11];
    snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(result));
    diagnosis["initialization"] = {
        {"result", result},
        {"resultHex", hex},
        {"connectionStatus", result == 0 ? Diagnosis(status) : Diagnosis()},
        {"error", error != nullptr && *error ? Diagnosis(error) : Diagnosis()}};
}

std::string _Canonical(const std::string& path) {
    std::error_code failed;
    const std::filesystem::path canonical = std::filesystem::canonical(path, failed);
    return failed ? path : canonical.string();
}

void _WarnIfWritableByOthers(const std::string& path, const char* what, Diagnosis& warnings) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) == 0) return;
    char mode[8];
    snprintf(mode, sizeof mode, "0%03o", static_cast<unsigned>(info.st_mode & 07777));
    warnings.push_back(std::string(what) + " " + path +
                       " can be written by users other than its owner (mode " + mode + ")");
}

void _Warn(Diagnosis& diagnosis) {
    Diagnosis& warnings = diagnosis["warnings"];
    const Diagnosis& frontEndChoice = diagnosis["frontEndChoice"];
    const std::string chosen = diagnosis["lastCandidate"];
    if (diagnosis["found"] && !frontEndChoice.is_null() && frontEndChoice != chosen) {
        warnings.push_back("the front end reports " + frontEndChoice.get<std::string>() +
                           ", its search code " + chosen);
    }
    const Diagnosis& implementation = diagnosis["implementation"];
    if (implementation.is_null()) return;
    const std::string mapped =
        implementation["loaded"] ? implementation["mappedPath"].get<std::string>() : chosen;
    const std::string file = _Canonical(mapped);
    if (file != _Canonical(chosen)) {
        warnings.push_back("the loader mapped " + mapped + ", not the candidate " + chosen +
                           " that the search found: the loader resolves a bare name by its own "
                           "search (LD_LIBRARY_PATH, the front end's RUNPATH $ORIGIN, the "
                           "system's directories)");
    }
    _WarnIfWritableByOthers(file, "the implementation", warnings);
    _WarnIfWritableByOthers(InternalUtils::removetail(file.c_str()), "its directory", warnings);
}

// Why the front end would refuse the trace's file, judged without opening it.
std::string _TraceFileProblem(const char* path) {
    struct stat named {};
    const int own = Internal_Trelvo::OwnTraceDescriptor(path);
    if (own >= 0 ? fstat(own, &named) == 0 : lstat(path, &named) == 0) {
        const char* refusal = Internal_Trelvo::TraceFileRefusal(named, path);
        return refusal != nullptr ? refusal : "";
    }
    if (access(InternalUtils::removetail(path).c_str(), W_OK | X_OK) == 0) return "";
    return InternalUtils::geterrormessage(errno);
}

// The call trace that the environment asks for, with "%p" as this process's
// id, judged by the front end's own rules without opening anything. Switched
// off for this process, so that the doctor's own calls write no trace.
Diagnosis _CallTrace() {
    const std::string pattern = InternalUtils::getenvvar(Internal_Trelvo::kTraceVariable);
    unsetenv(Internal_Trelvo::kTraceVariable);
    if (pattern.empty()) {
        return {
            {"variable", nullptr}, {"file", nullptr}, {"format", nullptr}, {"problem", nullptr}};
    }
    char file[PATH_MAX];
    const char* unnamed = Internal_Trelvo::TraceFileName(pattern.c_str(), getpid(), file);
    const char* shown = unnamed ? pattern.c_str() : file;  // file holds no name then
    const std::string problem = unnamed ? unnamed : _TraceFileProblem(file);
    return {{"variable", pattern},
            {"file", shown},
            {"format", Internal_Trelvo::IsJsonTraceFile(shown) ? "json" : "text"},
            {"problem", problem.empty() ? Diagnosis() : Diagnosis(problem)}};
}

ExitStatus _Judge(const Diagnosis& diagnosis) {
    switch (diagnosis["initialization"]["result"].get<uint32_t>()) {
        case TRELVO_E_OUT_OF_MEMORY:
        case TRELVO_E_IMPLEMENTATION_UNAVAILABLE:
        case TRELVO_E_MISSING_ENTRY_POINTS: return diagnosis["found"] ? kUnusable : kNotFound;
        default: return kUsable;
    }
}

}  // namespace

Diagnosis Diagnose(const std::string& frontEnd) {
    // A name without '/' would send the loader searching elsewhere.
    const std::string path = frontEnd.find('/') == std::string::npos ? "./" + frontEnd : frontEnd;
    // Loaded with the log on, the front end would delete Trelvo.log.
    const bool debugLogWasOn = Internal_Trelvo::SwitchOffDebugLog();
    Diagnosis diagnosis = {
        {"frontEnd", path},
        {"companion", InternalUtils::appendtail(InternalUtils::removetail(path.c_str()).c_str(),
                                                kProbeFileName)},
        {"failure", nullptr},
        {"debugLog", {{"wasOn", debugLogWasOn}, {"file", nullptr}}},
        {"callTrace", _CallTrace()}};
    _FrontEnd api{};
    const ProbeTable* probe = nullptr;
    ExitStatus verdict = kNotDiagnosed;
    if (_LoadFrontEnd(diagnosis, api) && _LoadCompanion(diagnosis, probe)) {
        probe->Search(diagnosis);
        _Initialize(api, diagnosis);
        if (diagnosis["found"]) probe->Inspect(diagnosis);
        verdict = _Judge(diagnosis);
    }
    diagnosis["warnings"] = Diagnosis::array();
    if (diagnosis["failure"].is_null()) _Warn(diagnosis);
    diagnosis["usable"] = verdict.code == kUsable.code;
    diagnosis["exitStatus"] = verdict.code;
    return diagnosis;
}

}  // namespace TrelvoDoctor
