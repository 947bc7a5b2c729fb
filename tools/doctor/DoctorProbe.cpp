// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The companion library; see ProbeTable.
#include "tools/doctor/Doctor.h"

#include <dlfcn.h>
#include <link.h>

#include "api/EntryPoints.h"
#include "locate/createmodulerelativepath.h"
#include "locate/locateimpl.h"
#include "utils/accessdll.h"
#include "utils/files.h"
#include "utils/paths.h"

namespace TrelvoDoctor {
namespace {

using Internal_Trelvo::SearchStep;

Diagnosis _OrNull(const std::string& text) { return text.empty() ? Diagnosis() : Diagnosis(text); }

Diagnosis _Candidate(const Internal_Trelvo::SearchCandidate& candidate, bool chosen) {
    const StepNames* names =
        FindStepNames([&](const StepNames& row) { return row.step == candidate.step; });
    Diagnosis json = {{"step", names != nullptr ? names->name : ""},
                      {"path", _OrNull(candidate.path)},
                      {"exists", candidate.exists},
                      {"searched", candidate.searched},
                      {"chosen", chosen}};
    if (candidate.step != SearchStep::kPravik && candidate.step != SearchStep::kFenra) return json;
    const std::string sharedInfo = candidate.step == SearchStep::kPravik
                                       ? InternalUtils::praviksharedinfopath()
                                       : InternalUtils::fenrasharedinfopath();
    json["sharedInfo"] = {{"path", sharedInfo},
                          {"exists", InternalUtils::fileexists(sharedInfo.c_str())}};
    return json;
}

void _Search(Diagnosis& diagnosis) {
    diagnosis["debugLog"]["file"] = InternalUtils::createmodulerelativepath("Trelvo.log");
    diagnosis["libraryDirectory"] =
        InternalUtils::removetail(InternalUtils::getcurrentmodulepath().c_str());
    Internal_Trelvo::TrelvoConfiguration configuration;
    const int32_t status = Internal_Trelvo::ProcessConfiguration(&configuration);
    diagnosis["configuration"] = {
        {"file", Internal_Trelvo::GetConfigFilePath()},
        {"read", status == 0},
        {"status", status},
        {"error", _OrNull(status == 0 ? "" : Internal_Trelvo::GetConfigLastErrorMessage())},
        {"veltapipath",
         {{"raw", Internal_Trelvo::GetConfiguredVeltApiPath()},
          {"resolved", configuration.veltApiPath}}},
        {"ignoredefaultsearch", configuration.ignoreDefaultSearch}};
    std::string chosen;
    const bool found = Internal_Trelvo::GetAPILibraryName(configuration, chosen);
    bool chosenSeen = false;
    Diagnosis& candidates = diagnosis["candidates"] = Diagnosis::array();
    for (const auto& candidate : Internal_Trelvo::ListAPILibraryCandidates(configuration)) {
        const bool isChosen = found && !chosenSeen && candidate.path == chosen;
        chosenSeen = chosenSeen || isChosen;
        candidates.push_back(_Candidate(candidate, isChosen));
    }
    diagnosis["found"] = found;
    diagnosis["chosen"] = found ? Diagnosis(chosen) : Diagnosis();
    diagnosis["lastCandidate"] = chosen;
}

std::string _MappedName(void* handle) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return std::string();
    return map->l_name != nullptr ? map->l_name : std::string();
}

// The dlopen calls sit in this library, so the loader searches a bare name
// with this library's RUNPATH.
void _Inspect(Diagnosis& diagnosis) {
    const std::string path = diagnosis["chosen"];
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    const bool mapped = handle != nullptr;
    InternalUtils::getdllerrormessage();  // not the text to report
    if (handle == nullptr) handle = InternalUtils::loaddll(path);
    const std::string loadError = handle == nullptr ? InternalUtils::getdllerrormessage() : "";
    Diagnosis entryPoints = Diagnosis::array();
    for (const auto& entryPoint : Internal_Trelvo::kEntryPointNames) {
        if (handle == nullptr) break;  // no entry points without a library
        const bool exported =
            InternalUtils::getprocedurefromdll(handle, entryPoint.symbol) != nullptr;
        entryPoints.push_back({{"name", entryPoint.symbol},
                               {"required", entryPoint.required},
                               {"exported", exported}});
    }
    diagnosis["implementation"] = {
        {"loaded", handle != nullptr},
        {"mappedByFrontEnd", mapped},
        {"mappedPath", _OrNull(handle != nullptr ? _MappedName(handle) : "")},
        {"loadError", _OrNull(loadError)},
        {"entryPoints", entryPoints}};
    InternalUtils::freedll(handle);
}

}  // namespace
}  // namespace TrelvoDoctor

extern "C" __attribute__((visibility("default"))) const TrelvoDoctor::ProbeTable*
trelvo_doctor_probe() {
    static const TrelvoDoctor::ProbeTable table = {sizeof(TrelvoDoctor::ProbeTable),
                                                   TrelvoDoctor::kProbeLayout,
                                                   TrelvoDoctor::_Search, TrelvoDoctor::_Inspect};
    return &table;
}
