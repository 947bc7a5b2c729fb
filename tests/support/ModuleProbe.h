// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The internals that depend on where the library itself lies (files beside
// it, the log, the configuration) reached through a shared library of their
// own. A test copies that library into its own directory, so "beside the
// library" is a place the test owns, and each copy starts with fresh state.
#pragma once

#include <memory>
#include <string>

#include "ModuleProbeTable.h"
#include "TestSupport.h"

namespace TrelvoTest {

// A private copy of the probe library in directory, loaded. Its load-time
// work (the log reset) runs in the constructor, under the environment the
// test has set by then.
class ModuleProbe {
public:
    explicit ModuleProbe(const std::string& directory);

    const ModuleProbeTable* operator->() const { return m_table; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::unique_ptr<LoadedLibrary> m_library;
    const ModuleProbeTable* m_table = nullptr;
};

}  // namespace TrelvoTest
