// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/accessdll.h"

#include <dlfcn.h>

namespace InternalUtils {

void* loaddll(const std::string& path) {
    if (path.empty()) return nullptr;
    return dlopen(path.c_str(), RTLD_LAZY);
}

bool freedll(void* handle) {
    if (handle == nullptr) return true;
    return dlclose(handle) == 0;
}

void* getprocedurefromdll(void* handle, const char* name) {
    if (handle == nullptr || name == nullptr) return nullptr;
    return dlsym(handle, name);
}

std::string getdllerrormessage() {
    const char* text = dlerror();
    return text != nullptr ? text : std::string();
}

}  // namespace InternalUtils
