// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

/* A shared library linked with no run-time search path. */
int trelvo_elf_specimen(void) { return 0; }
