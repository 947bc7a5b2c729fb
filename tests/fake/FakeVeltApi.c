/*
 * A fake VELT API implementation, built into several variants that differ
 * only in the entry points they export:
 *   FAKE_VELT_WITHOUT_CONNECT_WITH_URI        withholds VELT_ConnectWithURI;
 *   FAKE_VELT_WITHOUT_OPTIONAL                withholds all 13 optional ones;
 *   FAKE_VELT_WITHOUT_REQUIRED                withholds VELT_Disconnect and
 *                                             VELT_GetService;
 *   FAKE_VELT_WITHOUT_GET_LAST_ERROR_MESSAGE  withholds VELT_GetLastErrorMessage.
 * FAKE_VELT_VARIANT names the variant in every call it records. A withheld
 * function is still compiled, with hidden visibility, so every variant is the
 * same code.
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

#if defined(FAKE_VELT_WITHOUT_OPTIONAL)
#define FAKE_OPTIONAL FAKE_WITHHELD
#else
#define FAKE_OPTIONAL FAKE_EXPORTED
#endif

#if defined(FAKE_VELT_WITHOUT_OPTIONAL) || defined(FAKE_VELT_WITHOUT_CONNECT_WITH_URI)
#define FAKE_CONNECT_WITH_URI FAKE_WITHHELD
#else
#define FAKE_CONNECT_WITH_URI FAKE_EXPORTED
#endif

#if defined(FAKE_VELT_WITHOUT_REQUIRED)
#define FAKE_DISCONNECT_AND_GET_SERVICE FAKE_WITHHELD
#else
#define FAKE_DISCONNECT_AND_GET_SERVICE FAKE_EXPORTED
#endif

#if defined(FAKE_VELT_WITHOUT_GET_LAST_ERROR_MESSAGE)
#define FAKE_GET_LAST_ERROR_MESSAGE FAKE_WITHHELD
#else
#define FAKE_GET_LAST_ERROR_MESSAGE FAKE_EXPORTED
#endif

#define FAKE_REQUIRED FAKE_EXPORTED

static uint64_t wide(const void *pointer) { return (uint64_t)(uintptr_t)pointer; }

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

FAKE_REQUIRED VeltResult VELT_Connect(VeltArg arg1) {
    return record(FAKE_VELT_Connect, wide(arg1), 0, 0);
}

FAKE_REQUIRED VeltResult VELT_ConnectInSameProcess(VeltArg arg1) {
    return record(FAKE_VELT_ConnectInSameProcess, wide(arg1), 0, 0);
}

FAKE_OPTIONAL VeltResult VELT_LaunchMultitonServerInstance(VeltArg arg1) {
    return record(FAKE_VELT_LaunchMultitonServerInstance, wide(arg1), 0, 0);
}

FAKE_CONNECT_WITH_URI VeltResult VELT_ConnectWithURI(VeltArg arg1, VeltArg arg2) {
    return record(FAKE_VELT_ConnectWithURI, wide(arg1), wide(arg2), 0);
}

FAKE_OPTIONAL VeltResult VELT_ConnectSingleton(VeltArg arg1, VeltInt arg2) {
    return record(FAKE_VELT_ConnectSingleton, wide(arg1), arg2, 0);
}

FAKE_REQUIRED VeltResult VELT_GetConnectionStatus(uint32_t *status) {
    const VeltResult result = record(FAKE_VELT_GetConnectionStatus, wide(status), 0, 0);
    if (status != NULL) *status = FakeVelt_ConnectionStatus();
    return result;
}

FAKE_DISCONNECT_AND_GET_SERVICE VeltResult VELT_Disconnect(void) {
    return record(FAKE_VELT_Disconnect, 0, 0, 0);
}

FAKE_OPTIONAL VeltResult VELT_DisconnectIfLastClient(uint32_t *lastClient) {
    const VeltResult result = record(FAKE_VELT_DisconnectIfLastClient, wide(lastClient), 0, 0);
    if (lastClient != NULL) *lastClient = FakeVelt_LastClient();
    return result;
}

FAKE_OPTIONAL VeltResult VELT_SelectConfigurationByFileName(VeltArg arg1) {
    return record(FAKE_VELT_SelectConfigurationByFileName, wide(arg1), 0, 0);
}

FAKE_OPTIONAL VeltResult VELT_SelectConfigurationByName(VeltArg arg1) {
    return record(FAKE_VELT_SelectConfigurationByName, wide(arg1), 0, 0);
}

FAKE_OPTIONAL VeltResult VELT_GetAvailableConfigurationCount(VeltArg arg1) {
    return record(FAKE_VELT_GetAvailableConfigurationCount, wide(arg1), 0, 0);
}

FAKE_OPTIONAL VeltResult VELT_GetAvailableConfigurations(VeltInt arg1, VeltArg arg2) {
    return record(FAKE_VELT_GetAvailableConfigurations, arg1, wide(arg2), 0);
}

FAKE_OPTIONAL VeltResult VELT_SetConfigurationParameters(VeltInt arg1, VeltArg arg2,
                                                         VeltArg arg3) {
    return record(FAKE_VELT_SetConfigurationParameters, arg1, wide(arg2), wide(arg3));
}

FAKE_OPTIONAL VeltResult VELT_SetClientInfo(VeltArg arg1, VeltArg arg2) {
    return record(FAKE_VELT_SetClientInfo, wide(arg1), wide(arg2), 0);
}

FAKE_OPTIONAL VeltResult VELT_FinishInitialization(void) {
    return record(FAKE_VELT_FinishInitialization, 0, 0, 0);
}

FAKE_OPTIONAL VeltResult VELT_BeginDynamicInitialization(void) {
    return record(FAKE_VELT_BeginDynamicInitialization, 0, 0, 0);
}

FAKE_OPTIONAL VeltResult VELT_CancelDynamicInitialization(void) {
    return record(FAKE_VELT_CancelDynamicInitialization, 0, 0, 0);
}

FAKE_REQUIRED VeltResult VELT_GetAPIVersion(VeltArg arg1, VeltArg arg2) {
    return record(FAKE_VELT_GetAPIVersion, wide(arg1), wide(arg2), 0);
}

FAKE_DISCONNECT_AND_GET_SERVICE VeltResult VELT_GetService(VeltInt arg1, VeltArg arg2) {
    return record(FAKE_VELT_GetService, arg1, wide(arg2), 0);
}

FAKE_GET_LAST_ERROR_MESSAGE const char *VELT_GetLastErrorMessage(VeltInt arg1) {
    record(FAKE_VELT_GetLastErrorMessage, arg1, 0, 0);
    return FakeVelt_ErrorMessage();
}
