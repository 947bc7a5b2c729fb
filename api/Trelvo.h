// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/*
 * libTrelvo: the VELT API front end.
 *
 * Clients link against libTrelvo_aarch64.so and call the VELT API through it.
 * On the first call the front end reads Trelvo.conf beside itself, finds the
 * implementation library (libVeltApi_aarch64.so), loads it and forwards every
 * call to it unchanged. Its own failures are the TRELVO_E_* result codes below;
 * every other non-zero result comes from the implementation.
 *
 * Threads: the first call, a change of path and the getter may be made from
 * several threads at once; they are serialised internally. Once initialized, a
 * forwarded call takes no lock. Disconnecting (which unloads the
 * implementation) while another thread is inside the library or inside the
 * implementation is the caller's responsibility to prevent.
 *
 * Usable from C (C99 on) and C++.
 */
#ifndef TRELVO_H
#define TRELVO_H

#include <stdint.h>

#if defined(TRELVO_BUILDING_LIBRARY)
#define TRELVO_API __attribute__((visibility("default")))
#else
#define TRELVO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* 32-bit result code: 0 is success; the front end's own failures have the
 * high bit set. Codes of the implementation pass through unchanged. */
typedef uint32_t VeltResult;

/* Pass-through values: the front end never reads them, it only hands each to
 * the implementation in the same position and width. */
typedef void *VeltArg;    /* pointer-sized */
typedef uint32_t VeltInt; /* 32-bit */

/* Trelvo_SetVeltApiImplementationPath was given a null path. */
#define TRELVO_E_NULL_ARGUMENT ((VeltResult)0x80000001u)
/* VELT_DisconnectIfLastClient: the implementation does not offer it. */
#define TRELVO_E_NOT_SUPPORTED ((VeltResult)0x80000003u)
/* An optional entry point is not exported by the implementation. Also
 * returned by VELT_Disconnect when the loaded implementation has no
 * VELT_Disconnect of its own: it is unloaded all the same. */
#define TRELVO_E_NOT_IMPLEMENTED ((VeltResult)0x80000004u)
/* Memory ran out while the front end processed its configuration or built
 * its texts. */
#define TRELVO_E_OUT_OF_MEMORY ((VeltResult)0x80000006u)
/* A disconnect with no implementation loaded. */
#define TRELVO_E_NOT_LOADED ((VeltResult)0x80000007u)
/* No implementation library was found, or the one found cannot be loaded. */
#define TRELVO_E_IMPLEMENTATION_UNAVAILABLE ((VeltResult)0x8000000eu)
/* Unloading the implementation failed; it is still loaded. */
#define TRELVO_E_UNLOAD_FAILED ((VeltResult)0x8000000fu)
/* The implementation lacks at least one required entry point. */
#define TRELVO_E_MISSING_ENTRY_POINTS ((VeltResult)0x80000013u)
/* Trelvo_SetVeltApiImplementationPath: the named library cannot be loaded. */
#define TRELVO_E_PATH_NOT_LOADABLE ((VeltResult)0x80000014u)

TRELVO_API VeltResult VELT_Connect(VeltArg arg1);
TRELVO_API VeltResult VELT_ConnectInSameProcess(VeltArg arg1);
TRELVO_API VeltResult VELT_LaunchMultitonServerInstance(VeltArg arg1);
TRELVO_API VeltResult VELT_ConnectWithURI(VeltArg arg1, VeltArg arg2);
TRELVO_API VeltResult VELT_ConnectSingleton(VeltArg arg1, VeltInt arg2);
TRELVO_API VeltResult VELT_GetConnectionStatus(uint32_t *status);

/* Tells the implementation, then unloads it, whatever it answered; returns
 * its answer. TRELVO_E_NOT_LOADED when nothing is loaded. */
TRELVO_API VeltResult VELT_Disconnect(void);

/* Unloads the implementation only when it reports, through *lastClient, that
 * the last client has gone (value 1). A null lastClient is passed on to the
 * implementation but never read: nothing is unloaded. */
TRELVO_API VeltResult VELT_DisconnectIfLastClient(uint32_t *lastClient);

TRELVO_API VeltResult VELT_SelectConfigurationByFileName(VeltArg arg1);
TRELVO_API VeltResult VELT_SelectConfigurationByName(VeltArg arg1);
TRELVO_API VeltResult VELT_GetAvailableConfigurationCount(VeltArg arg1);
TRELVO_API VeltResult VELT_GetAvailableConfigurations(VeltInt arg1, VeltArg arg2);
TRELVO_API VeltResult VELT_SetConfigurationParameters(VeltInt arg1, VeltArg arg2, VeltArg arg3);
TRELVO_API VeltResult VELT_SetClientInfo(VeltArg arg1, VeltArg arg2);
TRELVO_API VeltResult VELT_FinishInitialization(void);
TRELVO_API VeltResult VELT_BeginDynamicInitialization(void);
TRELVO_API VeltResult VELT_CancelDynamicInitialization(void);
TRELVO_API VeltResult VELT_GetAPIVersion(VeltArg arg1, VeltArg arg2);
TRELVO_API VeltResult VELT_GetService(VeltInt arg1, VeltArg arg2);

/* The text of the front end's last failure if there is one, else the
 * implementation's own last error text. Never null; valid until the next call
 * of this function or until the front end's state changes. */
TRELVO_API const char *VELT_GetLastErrorMessage(VeltInt arg1);

/* The path of the implementation library that will be used, searching for it
 * if none is chosen yet; null when no loadable library can be found. The text
 * stays valid until the path changes. */
TRELVO_API const char *Trelvo_GetVeltApiImplementationPath(void);

/* Names the implementation library (a full path, or a name for the dynamic
 * loader to search). A loaded implementation is replaced only when its
 * connection status is 0 or 3. TRELVO_E_PATH_NOT_LOADABLE when the file cannot
 * be loaded; the path is then forgotten. */
TRELVO_API VeltResult Trelvo_SetVeltApiImplementationPath(const char *path);

#ifdef __cplusplus
}
#endif

#endif /* TRELVO_H */
