// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/*
 * The control side of the fake VELT API implementation. The fake variants
 * link this library and the tests link it directly, so what a test steers and
 * what the fake records live outside the fake and survive its unloading and
 * reloading. Storage is fixed-size; every function is thread-safe.
 */
#ifndef FAKE_VELT_CONTROL_H
#define FAKE_VELT_CONTROL_H

#include <stdint.h>

#include "api/EntryPoints.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The 20 entry points, in the order in which the front end binds them:
 * FAKE_VELT_Connect and so on. */
/* clang-format off */
typedef enum {
#define FAKE_VELT_FUNCTION(symbol, ...) FAKE_##symbol,
    TRELVO_ENTRY_POINTS(FAKE_VELT_FUNCTION)
#undef FAKE_VELT_FUNCTION
    FAKE_VELT_FUNCTION_COUNT
} FakeVeltFunction;
/* clang-format on */

enum { FAKE_VELT_MAX_CALLS = 256, FAKE_VELT_MAX_TEXT = 256, FAKE_VELT_MAX_VARIANT = 48 };

/* One call as the fake received it: each argument widened to 64 bits from the
 * width of its parameter (a 32-bit parameter can only show 32 bits; a pointer
 * shows all 64), unused ones 0; and the variant that received it. */
typedef struct {
    FakeVeltFunction function;
    uint64_t arguments[3];
    char variant[FAKE_VELT_MAX_VARIANT];
} FakeVeltCall;

/* Steering, by the test. Until set, every result is 0, both written values are
 * 0 and the error text is empty. */
void FakeVelt_SetResult(FakeVeltFunction function, uint32_t result);
void FakeVelt_SetConnectionStatus(uint32_t status);
void FakeVelt_SetLastClient(uint32_t lastClient);
/* Every recorded call then leaves errno set to it; 0 leaves errno alone. */
void FakeVelt_SetErrno(int error);
/* Truncated to FAKE_VELT_MAX_TEXT - 1 bytes. */
void FakeVelt_SetErrorMessage(const char *text);

/* Observation, by the test. Calls past FAKE_VELT_MAX_CALLS are counted but
 * not kept; FakeVelt_Call then gives null for them. */
int FakeVelt_CallCount(void);
const FakeVeltCall *FakeVelt_Call(int index);
/* How often a fake variant was mapped into the process. */
int FakeVelt_LoadCount(void);

/* Used by the fake. */
uint32_t FakeVelt_Record(FakeVeltFunction function, const char *variant, uint64_t argument1,
                         uint64_t argument2, uint64_t argument3);
uint32_t FakeVelt_ConnectionStatus(void);
uint32_t FakeVelt_LastClient(void);
const char *FakeVelt_ErrorMessage(void);
void FakeVelt_NoteLoad(void);

#ifdef __cplusplus
}
#endif

#endif /* FAKE_VELT_CONTROL_H */
