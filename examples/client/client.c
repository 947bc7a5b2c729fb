// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/* A small VELT API client: it links against the front end only and calls
 * through it into whichever implementation the front end chooses. */
#include <stdio.h>

#include <trelvo/Trelvo.h>

static int check(const char *call, VeltResult result) {
    printf("%-28s -> 0x%08x", call, (unsigned)result);
    if (result != 0) printf("  (%s)", VELT_GetLastErrorMessage(0));
    printf("\n");
    return result == 0;
}

int main(void) {
    uint32_t major = 0, minor = 0, status = 0, lastClient = 0;
    const char *service = NULL;
    int ok = check("VELT_Connect", VELT_Connect(NULL));
    if (!ok) return 1;
    printf("implementation: %s\n", Trelvo_GetVeltApiImplementationPath());
    ok &= check("VELT_GetAPIVersion", VELT_GetAPIVersion(&major, &minor));
    printf("API version %u.%u\n", (unsigned)major, (unsigned)minor);
    ok &= check("VELT_GetConnectionStatus", VELT_GetConnectionStatus(&status));
    printf("connection status %u\n", (unsigned)status);
    ok &= check("VELT_GetService", VELT_GetService(7, (VeltArg)&service));
    printf("service: %s\n", service != NULL ? service : "(none)");
    ok &= check("VELT_DisconnectIfLastClient", VELT_DisconnectIfLastClient(&lastClient));
    printf("last client gone: %u\n", (unsigned)lastClient);
    return ok ? 0 : 1;
}
