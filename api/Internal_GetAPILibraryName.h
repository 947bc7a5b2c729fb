#pragma once

#include <string>

#include "config/ProcessConfiguration.h"

namespace Internal_Trelvo {

// The implementation library's file name, joined to every candidate directory.
inline constexpr char kImplementationFileName[] = "libVeltApi_aarch64.so";

// Searches, in order: the configured directory; unless ignoreDefaultSearch,
// beside this library, the current directory, $VELT_PATH and the two
// installed products' directories. Only existence is tested. True with the
// found path in out; false with the last candidate formed in out.
bool GetAPILibraryName(const TrelvoConfiguration& configuration, std::string& out);

}  // namespace Internal_Trelvo
