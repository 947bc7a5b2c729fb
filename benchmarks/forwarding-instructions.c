// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/*
 * A client's calls counted instruction by instruction: a million calls of a
 * required and of an optional entry point, once through the pointer that dlsym
 * gives for the implementation's function and once through the front end's
 * export, each loop in a function of its own. Run under callgrind by
 * scripts/measure.sh instructions, which reads each loop's inclusive count.
 */
#include <dlfcn.h>
#include <stdio.h>

#include <trelvo/Trelvo.h>

/* Each loop stays a function of its own, unmerged and unspecialised, so that
 * callgrind reports it by name. clang has no noipa; noinline does there. */
#if defined(__clang__)
#define MEASURED __attribute__((noinline))
#else
#define MEASURED __attribute__((noipa))
#endif

enum { kCalls = 1000000 };

typedef VeltResult (*RequiredFunction)(VeltArg);
typedef VeltResult (*OptionalFunction)(VeltArg, VeltArg);

MEASURED void DirectRequired(RequiredFunction function) {
    for (int call = 0; call < kCalls; ++call) function(NULL);
}

MEASURED void ForwardedRequired(void) {
    for (int call = 0; call < kCalls; ++call) VELT_Connect(NULL);
}

MEASURED void DirectOptional(OptionalFunction function) {
    for (int call = 0; call < kCalls; ++call) function(NULL, NULL);
}

MEASURED void ForwardedOptional(void) {
    for (int call = 0; call < kCalls; ++call) VELT_ConnectWithURI(NULL, NULL);
}

int main(void) {
    /* The first calls initialize the front end and bind the client's PLT
     * slots, so that the loops see only the ready path. */
    if (VELT_Connect(NULL) != 0 || VELT_ConnectWithURI(NULL, NULL) != 0) {
        fprintf(stderr, "the front end did not initialize: %s\n", VELT_GetLastErrorMessage(0));
        return 1;
    }
    const char *path = Trelvo_GetVeltApiImplementationPath();
    void *implementation = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (implementation == NULL) {
        fprintf(stderr, "%s is not loaded\n", path);
        return 1;
    }
    RequiredFunction required = (RequiredFunction)dlsym(implementation, "VELT_Connect");
    OptionalFunction optional = (OptionalFunction)dlsym(implementation, "VELT_ConnectWithURI");
    if (required == NULL || optional == NULL) {
        fprintf(stderr, "cannot bind the implementation %s\n", path);
        return 1;
    }
    printf("implementation: %s\ncalls per loop: %d\n", path, kCalls);
    DirectRequired(required);
    ForwardedRequired();
    DirectOptional(optional);
    ForwardedOptional();
    return 0;
}
