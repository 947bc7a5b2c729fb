// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The fake implementation as a C++ test picks it.
#pragma once

#include <string>

#include "FakeVeltControl.h"

namespace TrelvoTest {

// The built variant named variant, as tests/fake/CMakeLists.txt lists them
// ("complete", "without-required", "second", ...), to be copied where a test
// needs it.
inline std::string FakePath(const std::string& variant) {
    return FAKE_VELT_DIRECTORY "/libfake-velt-" + variant + ".so";
}

}  // namespace TrelvoTest
