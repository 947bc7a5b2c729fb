// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/*
 * A sample VELT API implementation: all 20 entry points, with behaviour simple
 * enough to check by eye. See README.md beside this file.
 */
#include <stdint.h>
#include <stdio.h>

#define SAMPLE_API __attribute__((visibility("default")))

typedef uint32_t VeltResult;

enum { kOk = 0, kNotConnected = 1, kBadArgument = 2 };
enum { kStatusDisconnected = 0, kStatusConnected = 1 };

static uint32_t connections;
static char lastError[128] = "";

static VeltResult fail(VeltResult code, const char *what) {
    snprintf(lastError, sizeof lastError, "sample: %s", what);
    return code;
}

static VeltResult connect(void) {
    ++connections;
    lastError[0] = '\0';
    return kOk;
}

static VeltResult requireConnection(void) {
    return connections > 0 ? kOk : fail(kNotConnected, "not connected");
}

SAMPLE_API VeltResult VELT_Connect(void *arg1) {
    (void)arg1;
    return connect();
}
SAMPLE_API VeltResult VELT_ConnectInSameProcess(void *arg1) {
    (void)arg1;
    return connect();
}
SAMPLE_API VeltResult VELT_LaunchMultitonServerInstance(void *arg1) {
    (void)arg1;
    return connect();
}
SAMPLE_API VeltResult VELT_ConnectWithURI(void *arg1, void *arg2) {
    (void)arg1;
    return arg2 != NULL ? connect() : fail(kBadArgument, "no URI");
}
SAMPLE_API VeltResult VELT_ConnectSingleton(void *arg1, uint32_t arg2) {
    (void)arg1;
    (void)arg2;
    return connect();
}

/* Writes 1 while any client is connected, 0 otherwise. */
SAMPLE_API VeltResult VELT_GetConnectionStatus(uint32_t *status) {
    if (status == NULL) return fail(kBadArgument, "no status slot");
    *status = connections > 0 ? kStatusConnected : kStatusDisconnected;
    return kOk;
}

/* The entry points never call one another by name: the front end exports the
 * same names, and the dynamic loader would bind such a call to it. */
static VeltResult disconnect(void) {
    if (connections == 0) return fail(kNotConnected, "not connected");
    --connections;
    return kOk;
}

SAMPLE_API VeltResult VELT_Disconnect(void) { return disconnect(); }

/* Drops one client and writes 1 when it was the last one. */
SAMPLE_API VeltResult VELT_DisconnectIfLastClient(uint32_t *lastClient) {
    VeltResult result = disconnect();
    if (result == kOk && lastClient != NULL) *lastClient = connections == 0 ? 1 : 0;
    return result;
}

SAMPLE_API VeltResult VELT_SelectConfigurationByFileName(void *arg1) {
    (void)arg1;
    return requireConnection();
}
SAMPLE_API VeltResult VELT_SelectConfigurationByName(void *arg1) {
    (void)arg1;
    return requireConnection();
}

/* Writes the number of configurations (always 1) through arg1. */
SAMPLE_API VeltResult VELT_GetAvailableConfigurationCount(void *arg1) {
    if (arg1 == NULL) return fail(kBadArgument, "no count slot");
    *(uint32_t *)arg1 = 1;
    return kOk;
}

SAMPLE_API VeltResult VELT_GetAvailableConfigurations(uint32_t arg1, void *arg2) {
    (void)arg1;
    (void)arg2;
    return requireConnection();
}
SAMPLE_API VeltResult VELT_SetConfigurationParameters(uint32_t arg1, void *arg2, void *arg3) {
    (void)arg1;
    (void)arg2;
    (void)arg3;
    return requireConnection();
}
SAMPLE_API VeltResult VELT_SetClientInfo(void *arg1, void *arg2) {
    (void)arg1;
    (void)arg2;
    return kOk;
}
SAMPLE_API VeltResult VELT_FinishInitialization(void) { return requireConnection(); }
SAMPLE_API VeltResult VELT_BeginDynamicInitialization(void) { return requireConnection(); }
SAMPLE_API VeltResult VELT_CancelDynamicInitialization(void) { return requireConnection(); }

/* Writes major and minor version, 1 and 0, through arg1 and arg2. */
SAMPLE_API VeltResult VELT_GetAPIVersion(void *arg1, void *arg2) {
    if (arg1 == NULL || arg2 == NULL) return fail(kBadArgument, "no version slots");
    *(uint32_t *)arg1 = 1;
    *(uint32_t *)arg2 = 0;
    return kOk;
}

/* Writes the address of a static text naming the service through arg2. */
SAMPLE_API VeltResult VELT_GetService(uint32_t arg1, void *arg2) {
    static const char service[] = "sample service";
    if (arg2 == NULL) return fail(kBadArgument, "no service slot");
    (void)arg1;
    *(const char **)arg2 = service;
    return requireConnection();
}

SAMPLE_API const char *VELT_GetLastErrorMessage(uint32_t arg1) {
    (void)arg1;
    return lastError;
}
