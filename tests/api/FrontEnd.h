// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Every front-end test starts from a private, freshly loaded copy of the
// front end in its own installation, and places the fake implementation
// (tests/fake) where the case needs it. What a test observes: the fake's
// records, the debug log, and which libraries are mapped.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeVelt.h"
#include "LogEntry.h"
#include "TestSupport.h"
#include "api/EntryPoints.h"

namespace TrelvoTest {

// X(symbol, ...) for each of the 22 exports.
#define TRELVO_FOR_EACH_EXPORT(X)          \
    TRELVO_ENTRY_POINTS(X)                 \
    X(Trelvo_GetVeltApiImplementationPath) \
    X(Trelvo_SetVeltApiImplementationPath)

// The 22 exports of one loaded copy, typed as the public header declares them.
struct FrontEndExports {
#define TRELVO_EXPORT_MEMBER(symbol, ...) decltype(&::symbol) symbol = nullptr;
    TRELVO_FOR_EACH_EXPORT(TRELVO_EXPORT_MEMBER)
#undef TRELVO_EXPORT_MEMBER
};

class FrontEndTest : public ::testing::Test, public Installation {
protected:
    // The debug log is on.
    FrontEndTest();

    // Copies the front end into library() and loads it. Arrange the files and
    // the environment before: loading resets the log.
    const FrontEndExports& LoadFrontEnd();

    // Places the variant as libVeltApi_aarch64.so in directory (made if
    // missing); returns its path.
    std::string PlaceFake(const std::string& variant, const std::string& directory) const {
        return installImplementation(directory, FakePath(variant));
    }

    int CountLogLines(const std::string& text) const;
    // Whether the library at path is mapped into the process.
    static bool IsMapped(const std::string& path);
    static std::vector<FakeVeltCall> Calls();
    // How many of the recorded calls went to function.
    static int CallCountOf(FakeVeltFunction function);

    std::unique_ptr<LoadedLibrary> m_frontEnd;
    FrontEndExports m_api;
};

}  // namespace TrelvoTest
