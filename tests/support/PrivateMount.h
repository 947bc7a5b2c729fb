// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Replacing a system directory for one test process without touching it:
// the process enters a mount namespace of its own and bind-mounts a test's
// directory over the system one, so only this process sees the change.
#pragma once

#include <string>

#include "TestSupport.h"

namespace TrelvoTest {

// Puts the directory source over the directory target, for this process
// alone, and takes it off again on destruction (the private namespace stays).
// Without the privilege for a mount namespace of its own the process enters a
// new user namespace first; the kernel refuses that to a threaded process,
// which every process under user-mode emulation is. A test checks failure()
// and skips when the platform does not allow the mount.
class ScopedPrivateMount : NonCopyable {
public:
    ScopedPrivateMount(const std::string& source, const std::string& target);
    ~ScopedPrivateMount();

    // Empty when the mount is in place, otherwise why it could not be made.
    const std::string& failure() const { return m_failure; }

private:
    std::string m_target;
    std::string m_failure;
};

}  // namespace TrelvoTest
