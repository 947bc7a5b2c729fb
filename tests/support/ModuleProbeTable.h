// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The entry points of the probe library (see ModuleProbe.h). The library
// itself includes only this, so that it builds without GoogleTest.
#pragma once

#include <cstdint>
#include <string>

#include "config/ProcessConfiguration.h"

namespace TrelvoTest {

struct ModuleProbeTable {
    std::string (*getcurrentmodulepath)();
    std::string (*createmodulerelativepath)(const std::string& name);
    bool (*findmodule)(const std::string& name, std::string& path);
    void (*LogText)(const char* text);
    void (*LogConfigFileErrors)(int32_t code);
    int32_t (*ProcessConfiguration)(Internal_Trelvo::TrelvoConfiguration* configuration);
    std::string (*GetConfigFilePath)();
    std::string (*GetConfigLastErrorMessage)();
    bool (*GetAPILibraryName)(const Internal_Trelvo::TrelvoConfiguration& configuration,
                              std::string& out);
};

}  // namespace TrelvoTest
