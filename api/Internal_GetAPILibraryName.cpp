// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "api/Internal_GetAPILibraryName.h"

#include "locate/findfile.h"
#include "locate/locateimpl.h"
#include "utils/environment.h"
#include "utils/files.h"
#include "utils/paths.h"

namespace Internal_Trelvo {
namespace {

// The search order: GetAPILibraryName walks it to the first file found, the
// listing walks all of it.
// clang-format off
constexpr SearchStep kSearchOrder[] = {
    SearchStep::kConfiguredDirectory, SearchStep::kBesideLibrary, SearchStep::kCurrentDirectory,
    SearchStep::kVeltPath,            SearchStep::kPravik,        SearchStep::kFenra,
};
// clang-format on

// An empty directory forms no candidate.
std::string _InDirectory(const std::string& directory) {
    if (directory.empty()) return std::string();
    return InternalUtils::appendtail(directory.c_str(), kImplementationFileName);
}

// The step's candidate, formed afresh from the environment and the products'
// shared-info files; empty when the step has no directory to offer.
std::string _FormCandidate(SearchStep step, const TrelvoConfiguration& configuration) {
    switch (step) {
        case SearchStep::kConfiguredDirectory:
            // An empty configured directory gives the bare name, tested in the
            // current directory and handed to the loader as it is.
            return InternalUtils::appendtail(configuration.veltApiPath.c_str(),
                                             kImplementationFileName);
        case SearchStep::kBesideLibrary:
        case SearchStep::kCurrentDirectory:
            return InternalUtils::modulecandidates(
                kImplementationFileName)[step == SearchStep::kBesideLibrary ? 0 : 1];
        case SearchStep::kVeltPath: return _InDirectory(InternalUtils::getenvvar("VELT_PATH"));
        case SearchStep::kPravik: return _InDirectory(InternalUtils::locatepravik());
        case SearchStep::kFenra: return _InDirectory(InternalUtils::locatefenra());
    }
    return std::string();
}

bool _IsSearched(SearchStep step, const TrelvoConfiguration& configuration) {
    return step == SearchStep::kConfiguredDirectory || !configuration.ignoreDefaultSearch;
}

}  // namespace

bool GetAPILibraryName(const TrelvoConfiguration& configuration, std::string& out) {
    for (const SearchStep step : kSearchOrder) {
        if (!_IsSearched(step, configuration)) return false;
        std::string candidate = _FormCandidate(step, configuration);
        // A step without a directory, or one that secure execution skips,
        // leaves out as it was: the error text names the last file tested.
        if (!InternalUtils::candidatetested(candidate.c_str())) continue;
        out = std::move(candidate);
        if (InternalUtils::fileexists(out.c_str())) return true;
    }
    return false;
}

std::vector<SearchCandidate> ListAPILibraryCandidates(const TrelvoConfiguration& configuration) {
    std::vector<SearchCandidate> candidates;
    for (const SearchStep step : kSearchOrder) {
        SearchCandidate candidate{step, _FormCandidate(step, configuration)};
        // An empty path exists nowhere.
        candidate.exists = InternalUtils::candidateexists(candidate.path.c_str());
        candidate.searched = _IsSearched(step, configuration);
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

}  // namespace Internal_Trelvo
