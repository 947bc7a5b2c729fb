// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "locate/locateimpl.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "utils/environment.h"
#include "utils/fileops.h"
#include "utils/files.h"
#include "utils/paths.h"

namespace InternalUtils {
namespace {

// Only the first line of a shared-info file is used, and it has to be a path;
// anything past this many bytes cannot be part of a usable one, so a huge file
// costs no more than this.
constexpr long kMaxSharedInfoBytes = 1L << 20;

// The parent directory of the path on the file's first line, which must end
// in a line feed; empty for anything else.
std::string _GetVELTLocation(const char* path) {
    FILE* opened = nullptr;
    if (openfile(&opened, path, "r") != 0) return std::string();
    UniqueFile stream(opened);
    long size = 0;
    if (getfilesize(stream.get(), &size) != 0 || size < 0) return std::string();
    if (size > kMaxSharedInfoBytes) size = kMaxSharedInfoBytes;
    // Zero-filled, so a file that shrank since it was measured leaves a NUL
    // right after what was read.
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    if (readfile(buffer.data(), 1, static_cast<size_t>(size), stream.get()) != 0) {
        return std::string();
    }
    stream.reset();
    const char* lineFeed = strchr(buffer.data(), '\n');
    if (lineFeed == nullptr || lineFeed == buffer.data()) return std::string();
    return removetail(std::string(static_cast<const char*>(buffer.data()), lineFeed).c_str());
}

std::string _SharedInfoPath(const char** components, size_t count) {
    std::string base = getenvvar("HOME") + "/.fenra";
    if (!direxists(base.c_str())) base = "/usr/share";
    return combinepaths(base.c_str(), components, count);
}

std::string _LocateProduct(const std::string& sharedInfo) {
    if (!fileexists(sharedInfo.c_str())) return std::string();
    return _GetVELTLocation(sharedInfo.c_str());
}

}  // namespace

std::string praviksharedinfopath() {
    const char* components[] = {"Korvalt", "Pravik", "sharedinfo.txt"};
    return _SharedInfoPath(components, 3);
}

std::string fenrasharedinfopath() {
    const char* components[] = {"Korvalt", "FENRA", "Trunwell", "sharedinfo.txt"};
    return _SharedInfoPath(components, 4);
}

std::string locatepravik() { return _LocateProduct(praviksharedinfopath()); }

std::string locatefenra() { return _LocateProduct(fenrasharedinfopath()); }

}  // namespace InternalUtils
