// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "ModuleProbe.h"

#include <gtest/gtest.h>

namespace TrelvoTest {

ModuleProbe::ModuleProbe(const std::string& directory)
    : m_path(directory + "/libtrelvo-module-probe.so") {
    TestDirectory::copyFile(TRELVO_MODULE_PROBE_PATH, m_path);
    m_library = std::make_unique<LoadedLibrary>(m_path);
    using Entry = const ModuleProbeTable* (*)();
    const auto entry = m_library->symbol<Entry>("trelvo_module_probe");
    if (entry == nullptr) ADD_FAILURE() << "no trelvo_module_probe in " << m_path;
    m_table = entry != nullptr ? entry() : nullptr;
}

}  // namespace TrelvoTest
