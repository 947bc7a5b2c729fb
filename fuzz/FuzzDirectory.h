// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// A directory of the fuzzer's own below $TMPDIR (or /tmp), made at the first
// use and removed when the process exits.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace TrelvoFuzz {

// Never destroyed, so that the removal at exit can still read it.
inline const std::string& FuzzDirectory() {
    static const std::string* const directory = [] {
        auto* path = new std::string(
            (std::filesystem::temp_directory_path() / "trelvo-fuzz-XXXXXX").string());
        if (mkdtemp(path->data()) == nullptr) abort();
        atexit([] { std::filesystem::remove_all(FuzzDirectory()); });
        return path;
    }();
    return *directory;
}

// Replaces the file at path with exactly the given bytes.
inline void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace TrelvoFuzz
