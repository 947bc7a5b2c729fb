// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/* The seams must define the plain symbols: no fortified inline wrappers, and
 * no redirection of open to open64. */
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS
#define _GNU_SOURCE
#include "SystemSeams.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

/* Steered and read by the test's own thread only. */
static int s_failNextDlclose;
static char s_refusedUnloadText[512];
static int s_configurationOpenFails;
static int s_configurationOpenCount;

void SystemSeams_FailNextDlclose(void) { s_failNextDlclose = 1; }

const char *SystemSeams_RefusedUnloadText(void) { return s_refusedUnloadText; }

void SystemSeams_SetConfigurationOpenFails(int fails) { s_configurationOpenFails = fails; }

int SystemSeams_ConfigurationOpenCount(void) { return s_configurationOpenCount; }

/* A lookup that fails makes the loader record an error of its own. It is
 * provoked twice: once to read the text, once to leave it pending. */
static void leaveLoaderError(void *handle) {
    static const char missing[] = "trelvo_test_refused_unload";
    dlsym(handle, missing);
    const char *text = dlerror();
    snprintf(s_refusedUnloadText, sizeof s_refusedUnloadText, "%s", text != NULL ? text : "");
    dlsym(handle, missing);
}

int dlclose(void *handle) {
    if (s_failNextDlclose) {
        s_failNextDlclose = 0;
        leaveLoaderError(handle);
        return -1;
    }
    int (*system)(void *) = (int (*)(void *))dlsym(RTLD_NEXT, "dlclose");
    return system(handle);
}

static int isConfigurationFile(const char *path) {
    static const char name[] = "Trelvo.conf";
    const size_t length = strlen(path);
    return length >= sizeof name - 1 && strcmp(path + length - (sizeof name - 1), name) == 0;
}

/* The front end opens files for reading with open, then fdopen; built with
 * _FORTIFY_SOURCE or large-file flags it calls one of the other entry points,
 * so every one of them passes through here. */
static int openFile(const char *path, int flags, mode_t mode) {
    if (isConfigurationFile(path)) {
        ++s_configurationOpenCount;
        if (s_configurationOpenFails) {
            errno = ENOMEM;
            return -1;
        }
    }
    int (*system)(const char *, int, ...) =
        (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, "open");
    return system(path, flags, mode);
}

#define TRELVO_VARIADIC_OPEN(name)                  \
    int name(const char *path, int flags, ...) {    \
        mode_t mode = 0;                            \
        if ((flags & (O_CREAT | O_TMPFILE)) != 0) { \
            va_list arguments;                      \
            va_start(arguments, flags);             \
            mode = va_arg(arguments, mode_t);       \
            va_end(arguments);                      \
        }                                           \
        return openFile(path, flags, mode);         \
    }
TRELVO_VARIADIC_OPEN(open)
TRELVO_VARIADIC_OPEN(open64)

int __open_2(const char *path, int flags) { return openFile(path, flags, 0); }
int __open64_2(const char *path, int flags) { return openFile(path, flags, 0); }
