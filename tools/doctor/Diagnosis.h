// What trelvo-doctor finds out about one front end: its configuration, every
// candidate of its search, the implementation it chooses, what the loader
// maps for it and what the front end's initialization makes of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "api/Internal_GetAPILibraryName.h"

namespace TrelvoDoctor {

// Also the program's exit status.
enum class Verdict {
    kUsable = 0,        // the front end initialized with the implementation
    kNotFound = 1,      // the search found no implementation library
    kUnusable = 2,      // one was found, but the front end could not use it
    kNotDiagnosed = 3,  // the front end or the companion could not be loaded
};

struct ConfigurationReport {
    std::string file;
    // ProcessConfiguration's status: 0 when the file was read.
    int32_t status = 0;
    // The reader's text when the file was not read.
    std::string error;
    std::string rawVeltApiPath;
    std::string veltApiPath;
    bool ignoreDefaultSearch = false;
};

struct SharedInfoReport {
    std::string path;
    bool exists = false;
};

struct CandidateReport {
    Internal_Trelvo::SearchCandidate candidate;
    // The shared-info file consulted, for the installed products' steps.
    std::optional<SharedInfoReport> sharedInfo;
    bool chosen = false;
};

struct EntryPointReport {
    std::string name;
    bool required = false;
    bool exported = false;
};

struct ImplementationReport {
    bool loaded = false;
    // The object was found already mapped by the front end's initialization,
    // so mappedPath is the very file the front end uses.
    bool mappedByFrontEnd = false;
    std::string mappedPath;
    std::string loadError;
    std::vector<EntryPointReport> entryPoints;
};

struct InitializationReport {
    // Of the forwarded call VELT_GetConnectionStatus.
    uint32_t result = 0;
    uint32_t connectionStatus = 0;
    // VELT_GetLastErrorMessage when the result is not 0.
    std::string error;
};

struct Diagnosis {
    std::string frontEnd;
    // Why nothing could be diagnosed (Verdict::kNotDiagnosed); empty otherwise.
    std::string failure;
    std::string companion;
    // The directory that the front end's search calls "beside the library".
    std::string libraryDirectory;
    // The debug log was switched on; the doctor switched it off for itself.
    bool debugLogWasOn = false;
    std::string logFile;
    ConfigurationReport configuration;
    std::vector<CandidateReport> candidates;
    // The search's result: the file found, or the last candidate formed.
    bool found = false;
    std::string chosen;
    // Trelvo_GetVeltApiImplementationPath; nullopt when it returned null.
    std::optional<std::string> frontEndChoice;
    std::optional<ImplementationReport> implementation;
    InitializationReport initialization;
    std::vector<std::string> warnings;
    Verdict verdict = Verdict::kNotDiagnosed;
};

// Where the doctor looks for the front end when none is named: beside its own
// program file (the build tree), then in the library directory of the prefix
// it is installed in.
std::vector<std::string> DefaultFrontEndCandidates();

// Loads the front end at frontEnd (a path; a bare name means one in the
// current directory) and its companion beside it into this process, and
// leaves them loaded: the front end keeps the implementation that its
// initialization loaded. The front end processes its configuration once per
// process, so diagnose once per process. The debug log is switched off in
// this process's environment first, so that Trelvo.log is left as it was.
Diagnosis Diagnose(const std::string& frontEnd);

}  // namespace TrelvoDoctor
