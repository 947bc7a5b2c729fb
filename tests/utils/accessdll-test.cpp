// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/accessdll.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"

namespace {

using namespace InternalUtils;
using TrelvoTest::TestDirectory;

// Each case has a private copy of a real library, m_probe, that exports
// trelvo_module_probe.
class AccessdllTest : public ::testing::Test {
protected:
    TestDirectory m_directory;
    const std::string m_probe = m_directory.copy(TRELVO_MODULE_PROBE_PATH, "libprobe-copy.so");
};

using LoadedDll = std::unique_ptr<void, bool (*)(void*)>;

// Loaded by loaddll, released with freedll at the end of the test.
LoadedDll Load(const std::string& path) {
    void* handle = loaddll(path);
    EXPECT_NE(handle, nullptr) << path << ": " << getdllerrormessage();
    return LoadedDll(handle, freedll);
}

TEST_F(AccessdllTest, EmptyPathLoadsNothingAndLeavesNoLoaderError) {
    dlerror();
    EXPECT_EQ(loaddll(""), nullptr);
    EXPECT_EQ(getdllerrormessage(), "");
}

TEST_F(AccessdllTest, MissingLibraryGivesItsErrorTextOnce) {
    EXPECT_EQ(loaddll(m_directory.file("libmissing.so")), nullptr);
    EXPECT_NE(getdllerrormessage().find("libmissing.so"), std::string::npos);
    EXPECT_EQ(getdllerrormessage(), "");
}

TEST_F(AccessdllTest, LoadingAndFreeingARealLibrarySucceeds) {
    void* handle = loaddll(m_probe);
    ASSERT_NE(handle, nullptr) << getdllerrormessage();
    EXPECT_TRUE(freedll(handle));
}

TEST_F(AccessdllTest, FreeingNoHandleSucceeds) { EXPECT_TRUE(freedll(nullptr)); }

// A null handle passed on to dlsym would be RTLD_DEFAULT, which finds malloc.
TEST_F(AccessdllTest, NullHandleOrNameFindsNothingWithoutAskingTheLoader) {
    const LoadedDll library = Load(m_probe);
    dlerror();
    EXPECT_EQ(getprocedurefromdll(nullptr, "malloc"), nullptr);
    EXPECT_EQ(getprocedurefromdll(library.get(), nullptr), nullptr);
    EXPECT_EQ(getdllerrormessage(), "");
}

TEST_F(AccessdllTest, ProcedureLookupFindsOnlyExportedSymbols) {
    const LoadedDll library = Load(m_probe);
    EXPECT_NE(getprocedurefromdll(library.get(), "trelvo_module_probe"), nullptr);
    EXPECT_EQ(getprocedurefromdll(library.get(), "trelvo_not_exported"), nullptr);
}

TEST_F(AccessdllTest, LoadedSymbolsStayOutOfTheGlobalScope) {
    const LoadedDll library = Load(m_probe);
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "trelvo_module_probe"), nullptr);
}

TEST_F(AccessdllTest, FunctionsAreBoundOnFirstUseNotAtLoad) {
    const LoadedDll library = Load(TRELVO_LAZY_BINDING_LIBRARY_PATH);
    EXPECT_NE(getprocedurefromdll(library.get(), "trelvo_test_call_undefined"), nullptr);
}

}  // namespace
