// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>
#include <vector>

#include "config/ProcessConfiguration.h"

namespace Internal_Trelvo {

// The implementation library's file name, joined to every candidate directory.
inline constexpr char kImplementationFileName[] = "libVeltApi_aarch64.so";

// The places the search looks, in its order.
enum class SearchStep {
    kConfiguredDirectory,  // veltApiPath; the only step taken with ignoreDefaultSearch
    kBesideLibrary,
    kCurrentDirectory,
    kVeltPath,  // the directory named by $VELT_PATH
    kPravik,    // the installed products' directories
    kFenra,
};

struct SearchCandidate {
    SearchStep step;
    // The file the step tests; empty when the step has no directory to offer
    // ($VELT_PATH unset, a product not installed) and so tests nothing.
    std::string path;
    bool exists = false;
    // False for the default steps while ignoreDefaultSearch is set:
    // GetAPILibraryName never reaches them.
    bool searched = true;
};

// Searches, in order: the configured directory; unless ignoreDefaultSearch,
// beside this library, the current directory, $VELT_PATH and the two
// installed products' directories. Only existence is tested, and only of the
// candidates that candidatetested (a secure-execution process skips the
// relative ones). True with the found path in out; false with the last
// candidate tested in out, which is left as it was when none was.
bool GetAPILibraryName(const TrelvoConfiguration& configuration, std::string& out);

// Every step of GetAPILibraryName's search in its order, each formed and
// tested as the search does, without stopping at the first file found or at
// ignoreDefaultSearch. For diagnostics: it explains the search, it does not
// make the choice.
std::vector<SearchCandidate> ListAPILibraryCandidates(const TrelvoConfiguration& configuration);

}  // namespace Internal_Trelvo
