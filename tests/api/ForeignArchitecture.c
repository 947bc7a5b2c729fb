// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/* Built for the other of the two architectures, x86-64 and aarch64: a shared
 * object that the test processes cannot load. */
int trelvo_foreign_architecture(void) { return 0; }
