// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "PrivateMount.h"

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace TrelvoTest {
namespace {

std::string _SystemError(const std::string& call) { return call + ": " + strerror(errno); }

// A shared root would carry the bind mount back into the parent namespace.
std::string _MakeRootPrivate() {
    const bool made = mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return made ? std::string() : _SystemError("making / private");
}

std::string _EnterPrivateMountNamespace() {
    if (unshare(CLONE_NEWNS) == 0) return _MakeRootPrivate();
    if (errno != EPERM) return _SystemError("unshare(CLONE_NEWNS)");
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) return _MakeRootPrivate();
    if (errno != EINVAL) return _SystemError("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
    return _SystemError(
        "unshare(CLONE_NEWUSER | CLONE_NEWNS) in a threaded process, as every "
        "process under user-mode emulation is");
}

}  // namespace

ScopedPrivateMount::ScopedPrivateMount(const std::string& source, const std::string& target)
    : m_failure(_EnterPrivateMountNamespace()) {
    if (!m_failure.empty()) return;
    if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        m_failure = _SystemError("bind-mounting " + source + " over " + target);
        return;
    }
    m_target = target;
}

ScopedPrivateMount::~ScopedPrivateMount() {
    if (!m_target.empty()) umount2(m_target.c_str(), MNT_DETACH);
}

}  // namespace TrelvoTest
