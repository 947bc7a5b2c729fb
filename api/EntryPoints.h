// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The implementation's 20 entry points, in binding order, described once:
// the entry-point table, its binding and clearing, the plain forwarders and
// the diagnostics all expand this list.
//
//   X(symbol, binding, forwarding, (parameters), (arguments))
//
// binding     Required: the implementation cannot be used without it.
//             Optional: its forwarder answers TRELVO_E_NOT_IMPLEMENTED instead.
// forwarding  Forwarded: the export only initializes and calls through.
//             Own: the export has behaviour of its own (disconnecting, the
//             front end's error text) and is written out in api/Trelvo.cpp.
// parameters  the export's parameter list as api/Trelvo.h declares it, and
// arguments   the same names as passed on.
#pragma once

#include "api/Trelvo.h"

// clang-format off
#define TRELVO_ENTRY_POINTS(X)                                                                    \
    X(VELT_Connect,                        Required, Forwarded, (VeltArg arg1), (arg1))             \
    X(VELT_ConnectInSameProcess,           Required, Forwarded, (VeltArg arg1), (arg1))             \
    X(VELT_LaunchMultitonServerInstance,   Optional, Forwarded, (VeltArg arg1), (arg1))             \
    X(VELT_ConnectWithURI,                 Optional, Forwarded, (VeltArg arg1, VeltArg arg2),       \
      (arg1, arg2))                                                                                 \
    X(VELT_ConnectSingleton,               Optional, Forwarded, (VeltArg arg1, VeltInt arg2),       \
      (arg1, arg2))                                                                                 \
    X(VELT_GetConnectionStatus,            Required, Forwarded, (uint32_t * status), (status))      \
    X(VELT_Disconnect,                     Required, Own,       (void), ())                         \
    X(VELT_DisconnectIfLastClient,         Optional, Own,       (uint32_t * lastClient),            \
      (lastClient))                                                                                 \
    X(VELT_SelectConfigurationByFileName,  Optional, Forwarded, (VeltArg arg1), (arg1))             \
    X(VELT_SelectConfigurationByName,      Optional, Forwarded, (VeltArg arg1), (arg1))             \
    X(VELT_GetAvailableConfigurationCount, Optional, Forwarded, (VeltArg arg1), (arg1))             \
    X(VELT_GetAvailableConfigurations,     Optional, Forwarded, (VeltInt arg1, VeltArg arg2),       \
      (arg1, arg2))                                                                                 \
    X(VELT_SetConfigurationParameters,     Optional, Forwarded,                                     \
      (VeltInt arg1, VeltArg arg2, VeltArg arg3), (arg1, arg2, arg3))                               \
    X(VELT_SetClientInfo,                  Optional, Forwarded, (VeltArg arg1, VeltArg arg2),       \
      (arg1, arg2))                                                                                 \
    X(VELT_FinishInitialization,           Optional, Forwarded, (void), ())                         \
    X(VELT_BeginDynamicInitialization,     Optional, Forwarded, (void), ())                         \
    X(VELT_CancelDynamicInitialization,    Optional, Forwarded, (void), ())                         \
    X(VELT_GetAPIVersion,                  Required, Forwarded, (VeltArg arg1, VeltArg arg2),       \
      (arg1, arg2))                                                                                 \
    X(VELT_GetService,                     Required, Forwarded, (VeltInt arg1, VeltArg arg2),       \
      (arg1, arg2))                                                                                 \
    X(VELT_GetLastErrorMessage,            Required, Own,       (VeltInt arg1), (arg1))
// clang-format on

#ifdef __cplusplus

#include <cstddef>
#include <iterator>
#include <type_traits>

namespace Internal_Trelvo {

enum class Binding { Required, Optional };

// Each row's parameters and arguments are those of the export it names;
// their return type is the export's own.
// clang-format off
#define TRELVO_CHECK_PARAMETERS(symbol, binding, forwarding, parameters, arguments) \
    static_assert(std::is_same_v<decltype(&symbol),                                  \
                                 auto(*) parameters -> decltype(symbol arguments)>,  \
                  #symbol " is described with other parameters than it is declared");
// clang-format on
TRELVO_ENTRY_POINTS(TRELVO_CHECK_PARAMETERS)
#undef TRELVO_CHECK_PARAMETERS

struct EntryPointName {
    const char* symbol;
    bool required;
};

inline constexpr EntryPointName kEntryPointNames[] = {
#define TRELVO_ENTRY_POINT_NAME(symbol, binding, ...) \
    {#symbol, Binding::binding == Binding::Required},
    TRELVO_ENTRY_POINTS(TRELVO_ENTRY_POINT_NAME)
#undef TRELVO_ENTRY_POINT_NAME
};

inline constexpr size_t kEntryPointCount = std::size(kEntryPointNames);

}  // namespace Internal_Trelvo

#endif
