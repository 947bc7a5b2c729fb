// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Built into a shared library of its own; see ModuleProbe.h.
#include "ModuleProbeTable.h"

#include "api/Internal_GetAPILibraryName.h"
#include "locate/createmodulerelativepath.h"
#include "locate/findfile.h"
#include "logging/InternalLogging.h"

extern "C" __attribute__((visibility("default"))) const TrelvoTest::ModuleProbeTable*
trelvo_module_probe() {
    static const TrelvoTest::ModuleProbeTable table = {
        InternalUtils::getcurrentmodulepath,
        InternalUtils::createmodulerelativepath,
        InternalUtils::findmodule,
        Internal_Trelvo::LogText,
        Internal_Trelvo::LogConfigFileErrors,
        Internal_Trelvo::ProcessConfiguration,
        Internal_Trelvo::GetConfigFilePath,
        Internal_Trelvo::GetConfigLastErrorMessage,
        Internal_Trelvo::GetAPILibraryName,
    };
    return &table;
}
