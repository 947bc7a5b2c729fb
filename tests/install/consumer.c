// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/* A program built against an installed libTrelvo, as C through pkg-config:
 *   cc $(pkg-config --cflags trelvo) consumer.c $(pkg-config --libs trelvo)
 * and as C++ through the CMake package (see CMakeLists.txt). It names a
 * library that cannot be loaded, lets the front end find the implementation
 * instead, calls through it, and exits non-zero unless the one found is the
 * file named by its argument and every result is the one the sample
 * implementation gives; disconnecting the last client must unload it. */
#include <stdio.h>
#include <string.h>

#include <trelvo/Trelvo.h>

static int failures;

static void expect(const char *call, VeltResult result, VeltResult wanted) {
    int ok = result == wanted;
    printf("%-45s 0x%08x %s\n", call, (unsigned)result, ok ? "ok" : "UNEXPECTED");
    if (!ok) {
        printf("  wanted 0x%08x: %s\n", (unsigned)wanted, VELT_GetLastErrorMessage(0));
        ++failures;
    }
}

static void expectText(const char *what, const char *text, const char *wanted) {
    int ok = text != NULL && strcmp(text, wanted) == 0;
    printf("%-45s %s %s\n", what, text != NULL ? text : "(null)", ok ? "ok" : "UNEXPECTED");
    if (!ok) ++failures;
}

static void expectNumber(const char *what, uint32_t value, uint32_t wanted) {
    int ok = value == wanted;
    printf("%-45s %u %s\n", what, (unsigned)value, ok ? "ok" : "UNEXPECTED");
    if (!ok) ++failures;
}

int main(int argc, char **argv) {
    uint32_t versionMajor = 0, versionMinor = 0, status = 0, lastClient = 0;
    const char *service = NULL;
    char missing[4096];
    if (argc != 2) {
        fprintf(stderr, "usage: %s EXPECTED-IMPLEMENTATION-PATH\n", argv[0]);
        return 2;
    }
    snprintf(missing, sizeof missing, "%s.missing", argv[1]);
    expect("VELT_Disconnect (nothing loaded)", VELT_Disconnect(), TRELVO_E_NOT_LOADED);
    expect("Trelvo_SetVeltApiImplementationPath(null)", Trelvo_SetVeltApiImplementationPath(NULL),
           TRELVO_E_NULL_ARGUMENT);
    expect("Trelvo_SetVeltApiImplementationPath(missing)",
           Trelvo_SetVeltApiImplementationPath(missing), TRELVO_E_PATH_NOT_LOADABLE);
    expect("VELT_Connect", VELT_Connect(NULL), 0);
    expectText("implementation", Trelvo_GetVeltApiImplementationPath(), argv[1]);
    expect("VELT_GetAPIVersion", VELT_GetAPIVersion(&versionMajor, &versionMinor), 0);
    expectNumber("version major", versionMajor, 1);
    expectNumber("version minor", versionMinor, 0);
    expect("VELT_GetService", VELT_GetService(7, (VeltArg)&service), 0);
    expectText("service", service, "sample service");
    expect("VELT_Disconnect", VELT_Disconnect(), 0);

    expect("VELT_ConnectInSameProcess (loads again)", VELT_ConnectInSameProcess(NULL), 0);
    expect("VELT_GetConnectionStatus", VELT_GetConnectionStatus(&status), 0);
    expectNumber("connection status", status, 1);
    expect("VELT_DisconnectIfLastClient", VELT_DisconnectIfLastClient(&lastClient), 0);
    expectNumber("last client gone", lastClient, 1);
    expect("VELT_Disconnect (unloaded)", VELT_Disconnect(), TRELVO_E_NOT_LOADED);
    return failures == 0 ? 0 : 1;
}
