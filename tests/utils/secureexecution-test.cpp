// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// A set-user-ID process reads every variable as unset and skips the search's
// candidates that the current directory decides. A helper linking the
// internals is run by root twice: as it is, and set-user-ID to nobody.
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "TestSupport.h"

namespace {

// search: whether the search found a file, then the candidate it left, which
// after a failed search is the last one tested.
std::string Report(bool secure, const std::string& veltPath, const std::string& search) {
    return "secure=" + std::string(secure ? "1" : "0") + "\nVELT_PATH=" + veltPath +
           "\nfound=" + search + "\ntrace=" + (secure ? "0" : "1") + "\n";
}

// The implementation in the current directory and in $VELT_PATH, and a call
// trace into a directory that anyone may write; every directory open to
// nobody, so that only secure execution can hide them.
class SecureExecutionTest : public ::testing::Test, public TrelvoTest::Installation {
protected:
    SecureExecutionTest() {
        chmod(root().path().c_str(), 0755);
        root().write(std::string("work/") + TrelvoTest::kImplementationName, "");
        root().write(std::string("velt/") + TrelvoTest::kImplementationName, "");
        environment().set("VELT_PATH", root().file("velt"));
        chmod(root().mkdir("traces").c_str(), 0777);
        environment().set("TRELVOTRACE", root().file("traces/trace-%p.txt"));
    }

    std::string Helper(const std::string& name) const {
        const std::string path = root().copy(TRELVO_SECURE_EXECUTION_HELPER_PATH, name);
        chmod(path.c_str(), 0755);
        return path;
    }

    // The helper's standard output, given an empty directory as its configured
    // one; nullopt when it could not be run or failed.
    std::optional<std::string> Launch(const std::string& helper) const {
        const std::string command = "'" + helper + "' '" + root().mkdir("empty") + "'";
        FILE* output = popen(command.c_str(), "r");
        if (output == nullptr) return std::nullopt;
        std::string text;
        char buffer[256];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, output)) > 0;) text.append(buffer, n);
        const int status = pclose(output);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
        return text;
    }
};

TEST_F(SecureExecutionTest, SetUserIdProcessIgnoresEnvironmentAndCurrentDirectory) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to give the helper to nobody";
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) GTEST_SKIP() << "no user nobody";
    const std::optional<std::string> plain = Launch(Helper("plain-helper"));
    if (!plain) {
        GTEST_SKIP() << "the helper cannot be run from here (under user-mode emulation an "
                        "aarch64 program runs only through the emulator)";
    }
    EXPECT_EQ(*plain,
              Report(false, root().file("velt"), "1 " + TrelvoTest::kCurrentDirectoryCandidate));

    const std::string setUserId = Helper("set-user-id-helper");
    ASSERT_EQ(chown(setUserId.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(chmod(setUserId.c_str(), 04755), 0);
    const std::optional<std::string> secure = Launch(setUserId);
    ASSERT_TRUE(secure) << "the set-user-ID helper failed";
    if (secure->rfind("secure=0", 0) == 0) {
        GTEST_SKIP() << "the set-user-ID bit took no effect here (a nosuid mount, no_new_privs, "
                        "or an emulator that does not carry it)";
    }
    // The current directory skipped, the last file tested lies beside the
    // helper, which links the search.
    EXPECT_EQ(*secure, Report(true, "", "0 " + root().file(TrelvoTest::kImplementationName)));
}

}  // namespace
