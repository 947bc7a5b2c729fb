// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// A library that calls a function nothing defines: it loads only when
// function references are bound on first use, not at load time.
extern "C" void trelvo_test_undefined_function();

extern "C" __attribute__((visibility("default"))) void trelvo_test_call_undefined() {
    trelvo_test_undefined_function();
}
