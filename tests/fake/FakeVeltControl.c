// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "FakeVeltControl.h"

#include <errno.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>

#define FAKE_CONTROL_API __attribute__((visibility("default")))

/* Steered values and counters are atomic; the records and the text are
 * guarded by s_lock. */
static _Atomic uint32_t s_results[FAKE_VELT_FUNCTION_COUNT];
static _Atomic uint32_t s_connectionStatus;
static _Atomic uint32_t s_lastClient;
static atomic_int s_loadCount;
static atomic_int s_errno;
static pthread_mutex_t s_lock = PTHREAD_MUTEX_INITIALIZER;
static char s_errorMessage[FAKE_VELT_MAX_TEXT];
static FakeVeltCall s_calls[FAKE_VELT_MAX_CALLS];
static int s_callCount;

static void copyText(char *destination, size_t capacity, const char *text) {
    snprintf(destination, capacity, "%s", text != NULL ? text : "");
}

FAKE_CONTROL_API void FakeVelt_SetResult(FakeVeltFunction function, uint32_t result) {
    atomic_store(&s_results[function], result);
}

FAKE_CONTROL_API void FakeVelt_SetConnectionStatus(uint32_t status) {
    atomic_store(&s_connectionStatus, status);
}

FAKE_CONTROL_API void FakeVelt_SetLastClient(uint32_t lastClient) {
    atomic_store(&s_lastClient, lastClient);
}

FAKE_CONTROL_API void FakeVelt_SetErrno(int error) { atomic_store(&s_errno, error); }

FAKE_CONTROL_API void FakeVelt_SetErrorMessage(const char *text) {
    pthread_mutex_lock(&s_lock);
    copyText(s_errorMessage, sizeof s_errorMessage, text);
    pthread_mutex_unlock(&s_lock);
}

FAKE_CONTROL_API int FakeVelt_CallCount(void) {
    pthread_mutex_lock(&s_lock);
    const int count = s_callCount;
    pthread_mutex_unlock(&s_lock);
    return count;
}

FAKE_CONTROL_API int FakeVelt_LoadCount(void) { return atomic_load(&s_loadCount); }

/* Entries are written once and never moved, so the pointer stays valid. */
FAKE_CONTROL_API const FakeVeltCall *FakeVelt_Call(int index) {
    pthread_mutex_lock(&s_lock);
    const FakeVeltCall *call =
        index >= 0 && index < s_callCount && index < FAKE_VELT_MAX_CALLS ? &s_calls[index] : NULL;
    pthread_mutex_unlock(&s_lock);
    return call;
}

FAKE_CONTROL_API uint32_t FakeVelt_Record(FakeVeltFunction function, const char *variant,
                                          uint64_t argument1, uint64_t argument2,
                                          uint64_t argument3) {
    pthread_mutex_lock(&s_lock);
    if (s_callCount < FAKE_VELT_MAX_CALLS) {
        FakeVeltCall *call = &s_calls[s_callCount];
        *call = (FakeVeltCall){function, {argument1, argument2, argument3}, ""};
        copyText(call->variant, sizeof call->variant, variant);
    }
    ++s_callCount;
    pthread_mutex_unlock(&s_lock);
    const int error = atomic_load(&s_errno);
    if (error != 0) errno = error;
    return atomic_load(&s_results[function]);
}

FAKE_CONTROL_API uint32_t FakeVelt_ConnectionStatus(void) {
    return atomic_load(&s_connectionStatus);
}

FAKE_CONTROL_API uint32_t FakeVelt_LastClient(void) { return atomic_load(&s_lastClient); }

/* The text stays put until the test sets another, which it does not do while
 * the front end copies it. */
FAKE_CONTROL_API const char *FakeVelt_ErrorMessage(void) { return s_errorMessage; }

FAKE_CONTROL_API void FakeVelt_NoteLoad(void) { atomic_fetch_add(&s_loadCount, 1); }
