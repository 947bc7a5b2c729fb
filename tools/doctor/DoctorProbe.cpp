// Built into the companion library; see DoctorProbe.h.
#include "tools/doctor/DoctorProbe.h"

#include <dlfcn.h>
#include <link.h>

#include "locate/createmodulerelativepath.h"
#include "locate/locateimpl.h"
#include "utils/accessdll.h"
#include "utils/files.h"

namespace TrelvoDoctor {
namespace {

std::string _MappedName(void* handle) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return std::string();
    return map->l_name != nullptr ? map->l_name : std::string();
}

// The dlopen calls sit in this library, so the loader searches a bare name
// with this library's RUNPATH.
void* _Open(const std::string& path, InspectedLibrary& inspected) {
    if (path.empty()) return nullptr;
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    inspected.alreadyMapped = handle != nullptr;
    if (handle != nullptr) return handle;
    InternalUtils::getdllerrormessage();
    return InternalUtils::loaddll(path);
}

InspectedLibrary _InspectLibrary(const std::string& path,
                                 const std::vector<std::string>& symbols) {
    InspectedLibrary inspected;
    void* handle = _Open(path, inspected);
    if (handle == nullptr) {
        inspected.loadError = InternalUtils::getdllerrormessage();
        return inspected;
    }
    inspected.loaded = true;
    inspected.mappedPath = _MappedName(handle);
    for (const std::string& symbol : symbols) {
        inspected.exported.push_back(
            InternalUtils::getprocedurefromdll(handle, symbol.c_str()) != nullptr);
    }
    InternalUtils::freedll(handle);
    return inspected;
}

}  // namespace
}  // namespace TrelvoDoctor

extern "C" __attribute__((visibility("default"))) const TrelvoDoctor::ProbeTable*
trelvo_doctor_probe() {
    static const TrelvoDoctor::ProbeTable table = {
        sizeof(TrelvoDoctor::ProbeTable),
        InternalUtils::getcurrentmodulepath,
        InternalUtils::createmodulerelativepath,
        Internal_Trelvo::ProcessConfiguration,
        Internal_Trelvo::GetConfigFilePath,
        Internal_Trelvo::GetConfigLastErrorMessage,
        Internal_Trelvo::GetConfiguredVeltApiPath,
        Internal_Trelvo::ListAPILibraryCandidates,
        Internal_Trelvo::GetAPILibraryName,
        InternalUtils::praviksharedinfopath,
        InternalUtils::fenrasharedinfopath,
        InternalUtils::fileexists,
        TrelvoDoctor::_InspectLibrary,
    };
    return &table;
}
