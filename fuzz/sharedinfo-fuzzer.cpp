// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The parsing of a shared-info file, through locatepravik with HOME pointing
// at a tree of the fuzzer's own: the result must be the parent directory of
// the file's first line when that line is usable, and empty otherwise.
#include <libgen.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FuzzDirectory.h"
#include "locate/locateimpl.h"

namespace {

// The library reads no further than this.
constexpr size_t kReadLimit = 1 << 20;

// What the file should give: only a first line ended by a line feed within
// the read limit, not empty and without a NUL, names a directory.
std::string Expected(const uint8_t* data, size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    const size_t lineFeed = content.find('\n');
    if (lineFeed == std::string::npos || lineFeed == 0 || lineFeed >= kReadLimit) {
        return std::string();
    }
    std::string line = content.substr(0, lineFeed);
    if (line.find('\0') != std::string::npos) return std::string();
    return dirname(line.data());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string home = TrelvoFuzz::FuzzDirectory();
    std::filesystem::create_directories(home + "/.fenra/Korvalt/Pravik");
    setenv("HOME", home.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path =
        TrelvoFuzz::FuzzDirectory() + "/.fenra/Korvalt/Pravik/sharedinfo.txt";
    TrelvoFuzz::WriteBytes(path, data, size);
    const std::string located = InternalUtils::locatepravik();
    if (located.find('\n') != std::string::npos || located != Expected(data, size)) abort();
    return 0;
}
