// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/*
 * A fake VELT API implementation, built into several variants that differ
 * only in the entry points they export: tests/fake/CMakeLists.txt withholds a
 * group of them by defining its macro (FAKE_OPTIONAL, FAKE_CONNECT_WITH_URI,
 * FAKE_DISCONNECT_AND_GET_SERVICE, FAKE_GET_LAST_ERROR_MESSAGE) as
 * FAKE_WITHHELD. FAKE_VELT_VARIANT names the variant in every call it records.
 * A withheld function is still compiled, with hidden visibility, so every
 * variant is the same code.
 *
 * FAKE_VELT_NULL builds it without the control library: every entry point
 * records nothing and returns 0 (an empty text) at once, so that a measurement
 * through the front end sees the front end's own cost and nothing else.
 *
 * Hazard: no entry point may call another by its VELT_ name. The front end
 * exports the same names, and the loader could bind such a call to it.
 */
#include <stddef.h>
#include <stdint.h>

#include "FakeVeltControl.h"
#include "api/Trelvo.h"

#define FAKE_EXPORTED __attribute__((visibility("default")))
#define FAKE_WITHHELD __attribute__((visibility("hidden")))
#define FAKE_REQUIRED FAKE_EXPORTED
#ifndef FAKE_OPTIONAL
#define FAKE_OPTIONAL FAKE_EXPORTED
#endif
#ifndef FAKE_CONNECT_WITH_URI
#define FAKE_CONNECT_WITH_URI FAKE_OPTIONAL
#endif
#ifndef FAKE_DISCONNECT_AND_GET_SERVICE
#define FAKE_DISCONNECT_AND_GET_SERVICE FAKE_EXPORTED
#endif
#ifndef FAKE_GET_LAST_ERROR_MESSAGE
#define FAKE_GET_LAST_ERROR_MESSAGE FAKE_EXPORTED
#endif

static uint64_t widePointer(const void *pointer) { return (uint64_t)(uintptr_t)pointer; }
static uint64_t wideInteger(VeltInt integer) { return integer; }
/* An argument widened to 64 bits from the width of its parameter. */
#define WIDE(argument) _Generic((argument), VeltInt : wideInteger, default : widePointer)(argument)

static VeltResult record(FakeVeltFunction function, uint64_t argument1, uint64_t argument2,
                         uint64_t argument3) {
    return FakeVelt_Record(function, FAKE_VELT_VARIANT, argument1, argument2, argument3);
}

__attribute__((constructor)) static void noteLoad(void) { FakeVelt_NoteLoad(); }

#if defined(FAKE_VELT_NULL)
/* In place of the control library, and inlined into the entry points. */
uint32_t FakeVelt_Record(FakeVeltFunction function, const char *variant, uint64_t argument1,
                         uint64_t argument2, uint64_t argument3) {
    (void)function, (void)variant, (void)argument1, (void)argument2, (void)argument3;
    return 0;
}
uint32_t FakeVelt_ConnectionStatus(void) { return 0; }
uint32_t FakeVelt_LastClient(void) { return 0; }
const char *FakeVelt_ErrorMessage(void) { return ""; }
void FakeVelt_NoteLoad(void) {}
#endif

/* The entry points that only record their call, by their number of parameters. */
#define FAKE_ENTRY_0(visibility, symbol) \
    visibility VeltResult symbol(void) { return record(FAKE_##symbol, 0, 0, 0); }
#define FAKE_ENTRY_1(visibility, symbol, Type1) \
    visibility VeltResult symbol(Type1 arg1) { return record(FAKE_##symbol, WIDE(arg1), 0, 0); }
#define FAKE_ENTRY_2(visibility, symbol, Type1, Type2)           \
    visibility VeltResult symbol(Type1 arg1, Type2 arg2) {       \
        return record(FAKE_##symbol, WIDE(arg1), WIDE(arg2), 0); \
    }

FAKE_ENTRY_0(FAKE_DISCONNECT_AND_GET_SERVICE, VELT_Disconnect)
FAKE_ENTRY_0(FAKE_OPTIONAL, VELT_FinishInitialization)
FAKE_ENTRY_0(FAKE_OPTIONAL, VELT_BeginDynamicInitialization)
FAKE_ENTRY_0(FAKE_OPTIONAL, VELT_CancelDynamicInitialization)
FAKE_ENTRY_1(FAKE_REQUIRED, VELT_Connect, VeltArg)
FAKE_ENTRY_1(FAKE_REQUIRED, VELT_ConnectInSameProcess, VeltArg)
FAKE_ENTRY_1(FAKE_OPTIONAL, VELT_LaunchMultitonServerInstance, VeltArg)
FAKE_ENTRY_1(FAKE_OPTIONAL, VELT_SelectConfigurationByFileName, VeltArg)
FAKE_ENTRY_1(FAKE_OPTIONAL, VELT_SelectConfigurationByName, VeltArg)
FAKE_ENTRY_1(FAKE_OPTIONAL, VELT_GetAvailableConfigurationCount, VeltArg)
FAKE_ENTRY_2(FAKE_CONNECT_WITH_URI, VELT_ConnectWithURI, VeltArg, VeltArg)
FAKE_ENTRY_2(FAKE_OPTIONAL, VELT_ConnectSingleton, VeltArg, VeltInt)
FAKE_ENTRY_2(FAKE_OPTIONAL, VELT_GetAvailableConfigurations, VeltInt, VeltArg)
FAKE_ENTRY_2(FAKE_OPTIONAL, VELT_SetClientInfo, VeltArg, VeltArg)
FAKE_ENTRY_2(FAKE_REQUIRED, VELT_GetAPIVersion, VeltArg, VeltArg)
FAKE_ENTRY_2(FAKE_DISCONNECT_AND_GET_SERVICE, VELT_GetService, VeltInt, VeltArg)

FAKE_REQUIRED VeltResult VELT_GetConnectionStatus(uint32_t *status) {
    const VeltResult result = record(FAKE_VELT_GetConnectionStatus, WIDE(status), 0, 0);
    if (status != NULL) *status = FakeVelt_ConnectionStatus();
    return result;
}

FAKE_OPTIONAL VeltResult VELT_DisconnectIfLastClient(uint32_t *lastClient) {
    const VeltResult result = record(FAKE_VELT_DisconnectIfLastClient, WIDE(lastClient), 0, 0);
    if (lastClient != NULL) *lastClient = FakeVelt_LastClient();
    return result;
}

FAKE_OPTIONAL VeltResult VELT_SetConfigurationParameters(VeltInt arg1, VeltArg arg2, VeltArg arg3) {
    return record(FAKE_VELT_SetConfigurationParameters, arg1, WIDE(arg2), WIDE(arg3));
}

FAKE_GET_LAST_ERROR_MESSAGE const char *VELT_GetLastErrorMessage(VeltInt arg1) {
    record(FAKE_VELT_GetLastErrorMessage, arg1, 0, 0);
    return FakeVelt_ErrorMessage();
}

/* Every described entry point must be defined above, or the link fails here. */
#define FAKE_DEFINED(symbol, ...) (void (*)(void)) symbol,
__attribute__((used)) static void (*const definedHere[])(void) = {
    TRELVO_ENTRY_POINTS(FAKE_DEFINED)};
