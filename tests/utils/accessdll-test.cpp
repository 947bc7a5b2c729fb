#include "utils/accessdll.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

using namespace InternalUtils;
using TrelvoTest::TestDirectory;

// A private copy of a real library that exports trelvo_module_probe.
std::string CopyOfProbe(const TestDirectory& directory) {
    return directory.copy(TRELVO_MODULE_PROBE_PATH, "libprobe-copy.so");
}

// Loaded by loaddll, released at the end of the test.
class LoadedByLoaddll {
public:
    explicit LoadedByLoaddll(const std::string& path) : m_handle(loaddll(path)) {
        EXPECT_NE(m_handle, nullptr) << path << ": " << getdllerrormessage();
    }
    ~LoadedByLoaddll() { freedll(m_handle); }
    LoadedByLoaddll(const LoadedByLoaddll&) = delete;
    LoadedByLoaddll& operator=(const LoadedByLoaddll&) = delete;
    void* get() const { return m_handle; }

private:
    void* m_handle;
};

TEST(AccessdllTest, EmptyPathLoadsNothingAndLeavesNoLoaderError) {
    dlerror();
    EXPECT_EQ(loaddll(""), nullptr);
    EXPECT_EQ(getdllerrormessage(), "");
}

TEST(AccessdllTest, MissingLibraryGivesItsErrorTextOnce) {
    TestDirectory directory;
    EXPECT_EQ(loaddll(directory.file("libmissing.so")), nullptr);
    EXPECT_NE(getdllerrormessage().find("libmissing.so"), std::string::npos);
    EXPECT_EQ(getdllerrormessage(), "");
}

TEST(AccessdllTest, LoadingAndFreeingARealLibrarySucceeds) {
    TestDirectory directory;
    void* handle = loaddll(CopyOfProbe(directory));
    ASSERT_NE(handle, nullptr) << getdllerrormessage();
    EXPECT_TRUE(freedll(handle));
}

TEST(AccessdllTest, FreeingNoHandleSucceeds) { EXPECT_TRUE(freedll(nullptr)); }

// A null handle passed on to dlsym would be RTLD_DEFAULT, which finds malloc.
TEST(AccessdllTest, NullHandleOrNameFindsNothingWithoutAskingTheLoader) {
    TestDirectory directory;
    LoadedByLoaddll library(CopyOfProbe(directory));
    dlerror();
    EXPECT_EQ(getprocedurefromdll(nullptr, "malloc"), nullptr);
    EXPECT_EQ(getprocedurefromdll(library.get(), nullptr), nullptr);
    EXPECT_EQ(getdllerrormessage(), "");
}

TEST(AccessdllTest, ProcedureLookupFindsOnlyExportedSymbols) {
    TestDirectory directory;
    LoadedByLoaddll library(CopyOfProbe(directory));
    EXPECT_NE(getprocedurefromdll(library.get(), "trelvo_module_probe"), nullptr);
    EXPECT_EQ(getprocedurefromdll(library.get(), "trelvo_not_exported"), nullptr);
}

TEST(AccessdllTest, LoadedSymbolsStayOutOfTheGlobalScope) {
    TestDirectory directory;
    LoadedByLoaddll library(CopyOfProbe(directory));
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "trelvo_module_probe"), nullptr);
}

TEST(AccessdllTest, FunctionsAreBoundOnFirstUseNotAtLoad) {
    LoadedByLoaddll library(TRELVO_LAZY_BINDING_LIBRARY_PATH);
    EXPECT_NE(getprocedurefromdll(library.get(), "trelvo_test_call_undefined"), nullptr);
}

}  // namespace
