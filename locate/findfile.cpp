// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "locate/findfile.h"

#include <dirent.h>
#include <fnmatch.h>

#include <cstdlib>
#include <mutex>

#include "locate/createmodulerelativepath.h"
#include "utils/files.h"
#include "utils/paths.h"

namespace InternalUtils {
namespace {

// The list scandir allocates, released whatever happens while it is copied.
struct _ScannedEntries {
    dirent** entries = nullptr;
    int count = -1;
    ~_ScannedEntries() {
        for (int i = 0; i < count; ++i) free(entries[i]);
        free(entries);
    }
};

}  // namespace

std::array<std::string, 2> modulecandidates(const std::string& name) {
    return {createmodulerelativepath(name), appendtail(".", name.c_str())};
}

bool findmodule(const std::string& name, std::string& path) {
    for (std::string& candidate : modulecandidates(name)) {
        if (!candidatetested(candidate.c_str())) continue;
        path = std::move(candidate);
        if (fileexists(path.c_str())) return true;
    }
    return false;
}

std::vector<std::string> findfiles(const std::string& directory, const std::string& filePattern) {
    // scandir's filter takes no user data, so it reads the pattern of the call
    // in progress from here; the lock keeps concurrent calls from sharing it.
    static std::mutex _findFilesLock;
    static std::string pattern;
    std::lock_guard<std::mutex> guard(_findFilesLock);
    pattern = filePattern;
    const auto matches = [](const dirent* entry) {
        return fnmatch(pattern.c_str(), entry->d_name, FNM_PATHNAME) == 0 ? 1 : 0;
    };
    _ScannedEntries scanned;
    scanned.count = scandir(directory.c_str(), &scanned.entries, matches, alphasort);
    std::vector<std::string> result;
    for (int i = 0; i < scanned.count; ++i) {
        result.push_back(appendtail(directory.c_str(), scanned.entries[i]->d_name));
    }
    return result;
}

}  // namespace InternalUtils
