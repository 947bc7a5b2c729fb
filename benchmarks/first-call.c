// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/*
 * What a process's first forwarded call costs, against loading the
 * implementation by hand. Each sample is a fresh child process, forked from
 * this one, which has loaded neither library, and times one of:
 *   front end: from just before loading the front end to the return of its
 *     first forwarded call, which processes the (absent) configuration, finds
 *     the implementation beside the front end, loads it and binds it;
 *   the same in a process that has the C++ runtime loaded already, as a C++
 *     client has;
 *   implementation: loading the implementation and looking up its 20 entry
 *     points with dlsym.
 * The kinds alternate; their medians, split into loading and the rest, and
 * the ratios to the last kind are printed.
 *
 *   trelvo-first-call [samples]      (default 101)
 */
#include <dlfcn.h>
#include <libgen.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "api/EntryPoints.h"

typedef uint32_t (*ConnectFunction)(void *);

#define ENTRY_POINT_SYMBOL(symbol, ...) #symbol,
static const char *const kEntryPoints[] = {TRELVO_ENTRY_POINTS(ENTRY_POINT_SYMBOL)};

enum { kEntryPointCount = sizeof kEntryPoints / sizeof kEntryPoints[0] };

static char frontEndPath[PATH_MAX];
static char implementationPath[PATH_MAX];

/* Nanoseconds spent loading a library, and then calling or binding it; a
 * negative loading time marks a failure. */
typedef struct {
    int64_t loading;
    int64_t calling;
} Sample;

static const Sample kFailed = {-1, 0};

static int64_t now(void) {
    struct timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return (int64_t)time.tv_sec * 1000000000 + time.tv_nsec;
}

static Sample timeFirstForwardedCall(void) {
    const int64_t start = now();
    void *frontEnd = dlopen(frontEndPath, RTLD_LAZY);
    if (frontEnd == NULL) return kFailed;
    const int64_t loaded = now();
    ConnectFunction connect = (ConnectFunction)dlsym(frontEnd, "VELT_Connect");
    if (connect == NULL || connect(NULL) != 0) return kFailed;
    return (Sample){loaded - start, now() - loaded};
}

/* As a C++ client sees it: the C++ runtime that the front end needs is in the
 * process already. */
static Sample timeFirstForwardedCallWithCxxRuntime(void) {
    if (dlopen("libstdc++.so.6", RTLD_LAZY | RTLD_GLOBAL) == NULL) return kFailed;
    return timeFirstForwardedCall();
}

static Sample timeLoadingTheImplementation(void) {
    const int64_t start = now();
    void *implementation = dlopen(implementationPath, RTLD_LAZY);
    if (implementation == NULL) return kFailed;
    const int64_t loaded = now();
    for (int i = 0; i < kEntryPointCount; ++i) {
        if (dlsym(implementation, kEntryPoints[i]) == NULL) return kFailed;
    }
    return (Sample){loaded - start, now() - loaded};
}

/* Runs measure in a child process. */
static Sample sampleInChild(Sample (*measure)(void)) {
    int channel[2];
    if (pipe(channel) != 0) return kFailed;
    const pid_t child = fork();
    if (child == 0) {
        const Sample sample = measure();
        _exit(write(channel[1], &sample, sizeof sample) == sizeof sample ? 0 : 1);
    }
    close(channel[1]);
    Sample sample = kFailed;
    if (child < 0 || read(channel[0], &sample, sizeof sample) != sizeof sample) sample = kFailed;
    close(channel[0]);
    if (child > 0) waitpid(child, NULL, 0);
    return sample;
}

static int compareTimes(const void *left, const void *right) {
    const int64_t a = *(const int64_t *)left, b = *(const int64_t *)right;
    return (a > b) - (a < b);
}

/* Medians of the loading, calling and total times, in microseconds. */
typedef struct {
    double loading;
    double calling;
    double total;
} Medians;

static double medianMicroseconds(int64_t *times, int count) {
    qsort(times, (size_t)count, sizeof *times, compareTimes);
    const int64_t middle =
        count % 2 != 0 ? times[count / 2] : (times[count / 2 - 1] + times[count / 2]) / 2;
    return (double)middle / 1000.0;
}

static Medians medians(const Sample *samples, int count, int64_t *scratch) {
    Medians result;
    for (int i = 0; i < count; ++i) scratch[i] = samples[i].loading;
    result.loading = medianMicroseconds(scratch, count);
    for (int i = 0; i < count; ++i) scratch[i] = samples[i].calling;
    result.calling = medianMicroseconds(scratch, count);
    for (int i = 0; i < count; ++i) scratch[i] = samples[i].loading + samples[i].calling;
    result.total = medianMicroseconds(scratch, count);
    return result;
}

/* The libraries lie beside this program, the implementation under its
 * default name, where the front end's search finds it. */
static int locateLibraries(void) {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return 0;
    self[length] = '\0';
    const char *directory = dirname(self);
    snprintf(frontEndPath, sizeof frontEndPath, "%s/libTrelvo_aarch64.so", directory);
    snprintf(implementationPath, sizeof implementationPath, "%s/libVeltApi_aarch64.so", directory);
    return 1;
}

enum { kKinds = 3 };

static Sample (*const kMeasures[kKinds])(void) = {
    timeFirstForwardedCall, timeFirstForwardedCallWithCxxRuntime, timeLoadingTheImplementation};

static const char *const kDescriptions[kKinds] = {
    "first forwarded call, from loading the front end",
    "the same with the C++ runtime already loaded",
    "loading the implementation and binding 20 entry points"};

int main(int argc, char **argv) {
    const int count = argc > 1 ? atoi(argv[1]) : 101;
    if (count < 1 || !locateLibraries()) {
        fprintf(stderr, "usage: %s [samples]\n", argv[0]);
        return 2;
    }
    /* The log off, and no directory named by the environment. */
    unsetenv("TRELVODEBUG");
    unsetenv("VELTAPIOPTS");
    unsetenv("VELT_PATH");

    Sample *samples = calloc((size_t)count * kKinds, sizeof *samples);
    int64_t *scratch = calloc((size_t)count, sizeof *scratch);
    if (samples == NULL || scratch == NULL) return 1;
    for (int i = 0; i < count; ++i) {
        for (int kind = 0; kind < kKinds; ++kind) {
            Sample *sample = &samples[kind * count + i];
            *sample = sampleInChild(kMeasures[kind]);
            if (sample->loading < 0) {
                fprintf(stderr, "%s failed; are %s and %s there?\n", kDescriptions[kind],
                        frontEndPath, implementationPath);
                return 1;
            }
        }
    }
    Medians results[kKinds];
    printf("medians of %d fresh processes each, in microseconds: total (loading + calling)\n",
           count);
    for (int kind = 0; kind < kKinds; ++kind) {
        results[kind] = medians(&samples[kind * count], count, scratch);
        printf("  %-56s %8.1f (%.1f + %.1f)\n", kDescriptions[kind], results[kind].total,
               results[kind].loading, results[kind].calling);
    }
    const double baseline = results[kKinds - 1].total;
    printf(
        "ratio to loading the implementation: %.2f, with the C++ runtime loaded %.2f"
        " (at most 2.4 wanted)\n",
        results[0].total / baseline, results[1].total / baseline);
    free(samples);
    free(scratch);
    return 0;
}
