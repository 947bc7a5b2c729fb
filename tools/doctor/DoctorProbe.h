// The companion of trelvo-doctor: a shared library that links the front end's
// internals and lies beside libTrelvo_aarch64.so, so that its code finds
// "beside the library" exactly where the front end does. The doctor loads it
// from the front end's directory and calls the internals through this table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "api/Internal_GetAPILibraryName.h"
#include "config/ProcessConfiguration.h"

namespace TrelvoDoctor {

inline constexpr char kProbeFileName[] = "libTrelvoDoctorProbe_aarch64.so";
inline constexpr char kProbeEntrySymbol[] = "trelvo_doctor_probe";

// What the dynamic loader made of a path handed to it as the front end hands
// it over.
struct InspectedLibrary {
    bool loaded = false;
    // The process had it mapped already: the front end loaded it.
    bool alreadyMapped = false;
    // The name under which the loader mapped it (a bare name resolved).
    std::string mappedPath;
    // The loader's text when it could not be loaded.
    std::string loadError;
    // One flag per symbol asked for, in the same order.
    std::vector<bool> exported;
};

struct ProbeTable {
    // sizeof(ProbeTable) in the build that made the companion: one from
    // another build is refused rather than called through a different layout.
    size_t size;
    std::string (*getcurrentmodulepath)();
    std::string (*createmodulerelativepath)(const std::string& name);
    int32_t (*ProcessConfiguration)(Internal_Trelvo::TrelvoConfiguration* configuration);
    std::string (*GetConfigFilePath)();
    std::string (*GetConfigLastErrorMessage)();
    std::string (*GetConfiguredVeltApiPath)();
    std::vector<Internal_Trelvo::SearchCandidate> (*ListAPILibraryCandidates)(
        const Internal_Trelvo::TrelvoConfiguration& configuration);
    bool (*GetAPILibraryName)(const Internal_Trelvo::TrelvoConfiguration& configuration,
                              std::string& out);
    std::string (*praviksharedinfopath)();
    std::string (*fenrasharedinfopath)();
    bool (*fileexists)(const char* path);
    // Looks the path up among the loaded objects, else loads it with the
    // front end's mode and, since the companion has the front end's RUNPATH
    // and directory, by the same rules; then releases it again.
    InspectedLibrary (*InspectLibrary)(const std::string& path,
                                       const std::vector<std::string>& symbols);
};

using ProbeEntry = const ProbeTable* (*)();

}  // namespace TrelvoDoctor
