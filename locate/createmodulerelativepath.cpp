// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "locate/createmodulerelativepath.h"

#include <dlfcn.h>

#include "utils/paths.h"

namespace InternalUtils {

std::string getcurrentmodulepath() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&getcurrentmodulepath), &info);
    return info.dli_fname != nullptr ? info.dli_fname : std::string();
}

std::string createmodulerelativepath(const std::string& name) {
    const std::string directory = removetail(getcurrentmodulepath().c_str());
    return appendtail(directory.c_str(), name.c_str());
}

}  // namespace InternalUtils
