#include "tools/doctor/Diagnosis.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <sstream>

#include "api/EntryPoints.h"
#include "api/Trelvo.h"
#include "tools/doctor/DoctorProbe.h"

namespace TrelvoDoctor {

namespace {

namespace fs = std::filesystem;
using Internal_Trelvo::SearchStep;
using Internal_Trelvo::TrelvoConfiguration;

constexpr char kFrontEndFileName[] = "libTrelvo_aarch64.so";

// The doctor does not link the internals (their "beside the library" would be
// its own directory), so it cuts paths itself.
std::string _Directory(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string _LoaderError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown loader error";
}

// The library reads its log switch at every entry and, loaded with the switch
// on, deletes Trelvo.log; with it off, neither the companion nor the front end
// touches the log.
bool _SwitchOffDebugLog() {
    constexpr char kOption[] = "debugaccess";
    bool wasOn = false;
    const char* debug = getenv("TRELVODEBUG");
    if (debug != nullptr && *debug != '\0') {
        unsetenv("TRELVODEBUG");
        wasOn = true;
    }
    const char* options = getenv("VELTAPIOPTS");
    if (options != nullptr && strstr(options, kOption) != nullptr) {
        std::string kept = options;
        for (size_t at; (at = kept.find(kOption)) != std::string::npos;) {
            kept.erase(at, sizeof kOption - 1);
        }
        setenv("VELTAPIOPTS", kept.c_str(), 1);
        wasOn = true;
    }
    return wasOn;
}

struct _FrontEnd {
    decltype(&Trelvo_GetVeltApiImplementationPath) getImplementationPath = nullptr;
    decltype(&VELT_GetConnectionStatus) getConnectionStatus = nullptr;
    decltype(&VELT_GetLastErrorMessage) getLastErrorMessage = nullptr;
};

template <typename Function>
bool _Bind(void* handle, const char* symbol, Function& function, Diagnosis& diagnosis) {
    function = reinterpret_cast<Function>(dlsym(handle, symbol));
    if (function == nullptr) diagnosis.failure = diagnosis.frontEnd + " does not export " + symbol;
    return function != nullptr;
}

// Stays loaded: unloading it would strand the implementation it loaded.
bool _LoadFrontEnd(Diagnosis& diagnosis, _FrontEnd& frontEnd) {
    void* handle = dlopen(diagnosis.frontEnd.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        diagnosis.failure = "cannot load the front end: " + _LoaderError();
        return false;
    }
    return _Bind(handle, "Trelvo_GetVeltApiImplementationPath", frontEnd.getImplementationPath,
                 diagnosis) &&
           _Bind(handle, "VELT_GetConnectionStatus", frontEnd.getConnectionStatus, diagnosis) &&
           _Bind(handle, "VELT_GetLastErrorMessage", frontEnd.getLastErrorMessage, diagnosis);
}

struct _LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using _Library = std::unique_ptr<void, _LibraryCloser>;

const ProbeTable* _LoadCompanion(Diagnosis& diagnosis, _Library& library) {
    struct stat info {};
    if (stat(diagnosis.companion.c_str(), &info) != 0) {
        diagnosis.failure = "no companion library beside the front end: " + diagnosis.companion +
                            " (install trelvo-doctor's " + kProbeFileName + " there)";
        return nullptr;
    }
    library.reset(dlopen(diagnosis.companion.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library) {
        diagnosis.failure = "cannot load the companion library: " + _LoaderError();
        return nullptr;
    }
    const auto entry = reinterpret_cast<ProbeEntry>(dlsym(library.get(), kProbeEntrySymbol));
    const ProbeTable* table = entry != nullptr ? entry() : nullptr;
    if (table == nullptr || table->size != sizeof(ProbeTable)) {
        diagnosis.failure = diagnosis.companion + " is not the companion of this trelvo-doctor";
        return nullptr;
    }
    return table;
}

TrelvoConfiguration _ProcessConfiguration(const ProbeTable& probe, Diagnosis& diagnosis) {
    TrelvoConfiguration configuration;
    ConfigurationReport& report = diagnosis.configuration;
    report.status = probe.ProcessConfiguration(&configuration);
    report.file = probe.GetConfigFilePath();
    if (report.status != 0) report.error = probe.GetConfigLastErrorMessage();
    report.rawVeltApiPath = probe.GetConfiguredVeltApiPath();
    report.veltApiPath = configuration.veltApiPath;
    report.ignoreDefaultSearch = configuration.ignoreDefaultSearch;
    return configuration;
}

std::optional<SharedInfoReport> _SharedInfo(const ProbeTable& probe, SearchStep step) {
    if (step != SearchStep::kPravik && step != SearchStep::kFenra) return std::nullopt;
    SharedInfoReport report;
    report.path =
        step == SearchStep::kPravik ? probe.praviksharedinfopath() : probe.fenrasharedinfopath();
    report.exists = probe.fileexists(report.path.c_str());
    return report;
}

void _Search(const ProbeTable& probe, const TrelvoConfiguration& configuration,
             Diagnosis& diagnosis) {
    diagnosis.found = probe.GetAPILibraryName(configuration, diagnosis.chosen);
    bool chosenSeen = false;
    for (auto& candidate : probe.ListAPILibraryCandidates(configuration)) {
        CandidateReport report{candidate, _SharedInfo(probe, candidate.step)};
        report.chosen = diagnosis.found && !chosenSeen && candidate.path == diagnosis.chosen;
        chosenSeen = chosenSeen || report.chosen;
        diagnosis.candidates.push_back(std::move(report));
    }
}

// A harmless forwarded call makes the front end initialize as a client's
// first call would.
void _Initialize(const _FrontEnd& frontEnd, Diagnosis& diagnosis) {
    if (const char* path = frontEnd.getImplementationPath()) diagnosis.frontEndChoice = path;
    InitializationReport& report = diagnosis.initialization;
    uint32_t status = 0;
    report.result = frontEnd.getConnectionStatus(&status);
    if (report.result == 0) {
        report.connectionStatus = status;
    } else if (const char* text = frontEnd.getLastErrorMessage(0)) {
        report.error = text;
    }
}

void _Inspect(const ProbeTable& probe, Diagnosis& diagnosis) {
    std::vector<std::string> symbols;
    for (const auto& entryPoint : Internal_Trelvo::kEntryPointNames) {
        symbols.push_back(entryPoint.symbol);
    }
    const InspectedLibrary inspected = probe.InspectLibrary(diagnosis.chosen, symbols);
    ImplementationReport report;
    report.loaded = inspected.loaded;
    report.mappedByFrontEnd = inspected.alreadyMapped;
    report.mappedPath = inspected.mappedPath;
    report.loadError = inspected.loadError;
    for (size_t i = 0; i < inspected.exported.size() && i < symbols.size(); ++i) {
        report.entryPoints.push_back(
            {symbols[i], Internal_Trelvo::kEntryPointNames[i].required, inspected.exported[i]});
    }
    diagnosis.implementation = std::move(report);
}

std::string _Canonical(const std::string& path) {
    std::error_code failed;
    const fs::path canonical = fs::canonical(path, failed);
    return failed ? path : canonical.string();
}

std::string _Octal(mode_t mode) {
    std::ostringstream text;
    text << '0' << std::oct << std::setw(3) << std::setfill('0') << (mode & 07777);
    return text.str();
}

void _WarnIfWritableByOthers(const std::string& path, const char* what, Diagnosis& diagnosis) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) == 0) return;
    diagnosis.warnings.push_back(std::string(what) + " " + path +
                                 " can be written by users other than its owner (mode " +
                                 _Octal(info.st_mode) + ")");
}

void _Warn(Diagnosis& diagnosis) {
    if (diagnosis.found && diagnosis.frontEndChoice && *diagnosis.frontEndChoice != diagnosis.chosen) {
        diagnosis.warnings.push_back("the front end reports " + *diagnosis.frontEndChoice +
                                     ", its search code " + diagnosis.chosen);
    }
    if (!diagnosis.implementation) return;
    const ImplementationReport& implementation = *diagnosis.implementation;
    const std::string candidate = _Canonical(diagnosis.chosen);
    const std::string file =
        implementation.loaded ? _Canonical(implementation.mappedPath) : candidate;
    if (file != candidate) {
        diagnosis.warnings.push_back(
            "the loader mapped " + implementation.mappedPath + ", not the candidate " +
            diagnosis.chosen +
            " that the search found: the loader resolves a bare name by its own search "
            "(LD_LIBRARY_PATH, the front end's RUNPATH $ORIGIN, the system's directories)");
    }
    _WarnIfWritableByOthers(file, "the implementation", diagnosis);
    _WarnIfWritableByOthers(_Directory(file), "its directory", diagnosis);
}

Verdict _Judge(const Diagnosis& diagnosis) {
    switch (diagnosis.initialization.result) {
        case TRELVO_E_OUT_OF_MEMORY:
        case TRELVO_E_IMPLEMENTATION_UNAVAILABLE:
        case TRELVO_E_MISSING_ENTRY_POINTS:
            return diagnosis.found ? Verdict::kUnusable : Verdict::kNotFound;
        default:
            return Verdict::kUsable;
    }
}

std::string _ProgramDirectory() {
    std::error_code failed;
    const fs::path program = fs::read_symlink("/proc/self/exe", failed);
    return failed ? "." : program.parent_path().string();
}

}  // namespace

std::vector<std::string> DefaultFrontEndCandidates() {
    const std::string directory = _ProgramDirectory();
    std::vector<std::string> candidates = {directory + "/" + kFrontEndFileName};
    const std::string installed = TRELVO_DOCTOR_LIBDIR_FROM_BINDIR;
    if (!installed.empty()) {
        candidates.push_back(directory + "/" + installed + "/" + kFrontEndFileName);
    }
    return candidates;
}

Diagnosis Diagnose(const std::string& frontEnd) {
    Diagnosis diagnosis;
    // A name without '/' would send the loader searching elsewhere.
    diagnosis.frontEnd = frontEnd.find('/') == std::string::npos ? "./" + frontEnd : frontEnd;
    diagnosis.companion = _Directory(diagnosis.frontEnd) + "/" + kProbeFileName;
    diagnosis.debugLogWasOn = _SwitchOffDebugLog();
    _FrontEnd api;
    if (!_LoadFrontEnd(diagnosis, api)) return diagnosis;
    _Library library;
    const ProbeTable* probe = _LoadCompanion(diagnosis, library);
    if (probe == nullptr) return diagnosis;
    diagnosis.libraryDirectory = _Directory(probe->getcurrentmodulepath());
    diagnosis.logFile = probe->createmodulerelativepath("Trelvo.log");
    const TrelvoConfiguration configuration = _ProcessConfiguration(*probe, diagnosis);
    _Search(*probe, configuration, diagnosis);
    _Initialize(api, diagnosis);
    if (diagnosis.found) _Inspect(*probe, diagnosis);
    _Warn(diagnosis);
    diagnosis.verdict = _Judge(diagnosis);
    return diagnosis;
}

}  // namespace TrelvoDoctor
