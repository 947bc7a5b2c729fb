#include "api/Internal_GetAPILibraryName.h"

#include "locate/findfile.h"
#include "locate/locateimpl.h"
#include "utils/environment.h"
#include "utils/files.h"
#include "utils/paths.h"

namespace Internal_Trelvo {
namespace {

// Forms the candidate in out; true when it exists. An empty directory forms
// nothing and finds nothing.
bool _FoundIn(const std::string& directory, std::string& out) {
    if (directory.empty()) return false;
    out = InternalUtils::appendtail(directory.c_str(), kImplementationFileName);
    return InternalUtils::candidateexists(out.c_str());
}

}  // namespace

bool GetAPILibraryName(const TrelvoConfiguration& configuration, std::string& out) {
    // An empty configured directory gives the bare name, tested in the
    // current directory and handed to the loader as it is.
    out = InternalUtils::appendtail(configuration.veltApiPath.c_str(), kImplementationFileName);
    if (InternalUtils::candidateexists(out.c_str())) return true;
    if (configuration.ignoreDefaultSearch) return false;
    if (InternalUtils::findmodule(kImplementationFileName, out)) return true;
    return _FoundIn(InternalUtils::getenvvar("VELT_PATH"), out) ||
           _FoundIn(InternalUtils::locatepravik(), out) ||
           _FoundIn(InternalUtils::locatefenra(), out);
}

}  // namespace Internal_Trelvo
