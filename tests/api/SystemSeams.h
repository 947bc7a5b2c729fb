// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Failures that no real file system or loader produces on demand, forced
// through functions that the test executable defines in place of the system's
// (it exports them, so the front end's references bind to them). Until a test
// steers them they forward to the system's own.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// The next dlclose fails and unloads nothing. It leaves a genuine loader error
// pending for dlerror, as a refused unload would.
void SystemSeams_FailNextDlclose(void);
// The text of that error; empty until a dlclose was failed.
const char* SystemSeams_RefusedUnloadText(void);

// While set, opening a path that ends in "Trelvo.conf" fails with ENOMEM.
void SystemSeams_SetConfigurationOpenFails(int fails);
// Attempts to open a path ending in "Trelvo.conf", failed or not.
int SystemSeams_ConfigurationOpenCount(void);

#ifdef __cplusplus
}
#endif
