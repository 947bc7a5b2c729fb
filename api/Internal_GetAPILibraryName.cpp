#include "api/Internal_GetAPILibraryName.h"

#include "locate/createmodulerelativepath.h"
#include "locate/findfile.h"
#include "locate/locateimpl.h"
#include "utils/environment.h"
#include "utils/files.h"
#include "utils/paths.h"

namespace Internal_Trelvo {
namespace {

constexpr SearchStep kSearchOrder[] = {
    SearchStep::kConfiguredDirectory, SearchStep::kBesideLibrary, SearchStep::kCurrentDirectory,
    SearchStep::kVeltPath,            SearchStep::kPravik,        SearchStep::kFenra,
};

// An empty directory forms no candidate.
std::string _InDirectory(const std::string& directory) {
    if (directory.empty()) return std::string();
    return InternalUtils::appendtail(directory.c_str(), kImplementationFileName);
}

// Reads the environment and the products' shared-info files afresh.
std::string _FormCandidate(SearchStep step, const TrelvoConfiguration& configuration) {
    switch (step) {
        case SearchStep::kConfiguredDirectory:
            // An empty configured directory gives the bare name, tested in the
            // current directory and handed to the loader as it is.
            return InternalUtils::appendtail(configuration.veltApiPath.c_str(),
                                             kImplementationFileName);
        // The two places of findmodule, named one by one for the listing.
        case SearchStep::kBesideLibrary:
            return InternalUtils::createmodulerelativepath(kImplementationFileName);
        case SearchStep::kCurrentDirectory:
            return InternalUtils::appendtail(".", kImplementationFileName);
        case SearchStep::kVeltPath:
            return _InDirectory(InternalUtils::getenvvar("VELT_PATH"));
        case SearchStep::kPravik:
            return _InDirectory(InternalUtils::locatepravik());
        case SearchStep::kFenra:
            return _InDirectory(InternalUtils::locatefenra());
    }
    return std::string();
}

bool _IsSearched(SearchStep step, const TrelvoConfiguration& configuration) {
    return step == SearchStep::kConfiguredDirectory || !configuration.ignoreDefaultSearch;
}

// Forms the step's candidate in out; true when it exists. A step without a
// directory forms nothing and leaves out as it was.
bool _FoundAt(SearchStep step, const TrelvoConfiguration& configuration, std::string& out) {
    std::string candidate = _FormCandidate(step, configuration);
    if (candidate.empty()) return false;
    out = std::move(candidate);
    return InternalUtils::candidateexists(out.c_str());
}

}  // namespace

bool GetAPILibraryName(const TrelvoConfiguration& configuration, std::string& out) {
    if (_FoundAt(SearchStep::kConfiguredDirectory, configuration, out)) return true;
    if (configuration.ignoreDefaultSearch) return false;
    // Beside this library, then the current directory.
    if (InternalUtils::findmodule(kImplementationFileName, out)) return true;
    return _FoundAt(SearchStep::kVeltPath, configuration, out) ||
           _FoundAt(SearchStep::kPravik, configuration, out) ||
           _FoundAt(SearchStep::kFenra, configuration, out);
}

std::vector<SearchCandidate> ListAPILibraryCandidates(const TrelvoConfiguration& configuration) {
    std::vector<SearchCandidate> candidates;
    for (const SearchStep step : kSearchOrder) {
        SearchCandidate candidate{step, _FormCandidate(step, configuration)};
        candidate.exists =
            !candidate.path.empty() && InternalUtils::candidateexists(candidate.path.c_str());
        candidate.searched = _IsSearched(step, configuration);
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

}  // namespace Internal_Trelvo
