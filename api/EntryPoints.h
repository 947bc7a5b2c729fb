// The implementation's 20 entry points, in binding order: the front end binds
// them, diagnostics report them.
#pragma once

#include <cstddef>

namespace Internal_Trelvo {

struct EntryPointName {
    const char* symbol;
    bool required;  // without it the implementation cannot be used
};

inline constexpr EntryPointName kEntryPointNames[] = {
    {"VELT_Connect", true},
    {"VELT_ConnectInSameProcess", true},
    {"VELT_LaunchMultitonServerInstance", false},
    {"VELT_ConnectWithURI", false},
    {"VELT_ConnectSingleton", false},
    {"VELT_GetConnectionStatus", true},
    {"VELT_Disconnect", true},
    {"VELT_DisconnectIfLastClient", false},
    {"VELT_SelectConfigurationByFileName", false},
    {"VELT_SelectConfigurationByName", false},
    {"VELT_GetAvailableConfigurationCount", false},
    {"VELT_GetAvailableConfigurations", false},
    {"VELT_SetConfigurationParameters", false},
    {"VELT_SetClientInfo", false},
    {"VELT_FinishInitialization", false},
    {"VELT_BeginDynamicInitialization", false},
    {"VELT_CancelDynamicInitialization", false},
    {"VELT_GetAPIVersion", true},
    {"VELT_GetService", true},
    {"VELT_GetLastErrorMessage", true},
};

inline constexpr size_t kEntryPointCount = sizeof kEntryPointNames / sizeof kEntryPointNames[0];

}  // namespace Internal_Trelvo
