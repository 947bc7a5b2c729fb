// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/paths.h"

#include <libgen.h>

namespace InternalUtils {

std::string removetail(const char* path) {
    if (path == nullptr) return std::string();
    std::string copy(path);  // dirname may write into its argument
    return dirname(copy.data());
}

std::string appendtail(const char* base, const char* tail) {
    std::string result(base != nullptr ? base : "");
    if (tail == nullptr) return result;
    if (!result.empty() && result.back() != '/') result += '/';
    return result += tail;
}

std::string combinepaths(const char* base, const char** parts, size_t count) {
    std::string result(base != nullptr ? base : "");
    for (size_t i = 0; i < count; ++i) {
        if (parts[i] != nullptr) result = appendtail(result.c_str(), parts[i]);
    }
    return result;
}

std::string removeextension(const char* path) {
    std::string result(path != nullptr ? path : "");
    const size_t dot = result.rfind('.');
    if (dot != std::string::npos) result.erase(dot);
    return result;
}

std::string addextension(const char* path, const char* extension) {
    const std::string ext(extension != nullptr ? extension : "");
    std::string result(path != nullptr ? path : "");
    if (!result.empty() && !ext.empty() && ext.front() != '.') result += '.';
    return result += ext;
}

}  // namespace InternalUtils
