// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// What every test needs to stay hermetic: its own directory tree, its own
// environment and current directory, and private copies of the libraries it
// loads. Each helper undoes its change when it goes out of scope. Also the
// naming of parameterized cases.
#pragma once

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace TrelvoTest {

// Base of the helpers that undo something when they go: a copy would undo it
// twice.
class NonCopyable {
protected:
    NonCopyable() = default;
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;
};

// A fresh directory below $TMPDIR (or /tmp), removed with all it holds,
// whatever modes a test gave it or anything in it. A directory that cannot be
// removed fails the test.
class TestDirectory : NonCopyable {
public:
    TestDirectory();
    ~TestDirectory();

    const std::string& path() const { return m_path; }
    std::string file(const std::string& relative) const;
    // Creates relative (and its parents) as a directory; returns its path.
    std::string mkdir(const std::string& relative) const;
    // Writes content to relative, creating parent directories; returns its path.
    std::string write(const std::string& relative, const std::string& content) const;
    // Creates relative as a FIFO, with nothing writing to it; returns its path.
    std::string fifo(const std::string& relative) const;
    // Copies the file at source to relative; returns the new path.
    std::string copy(const std::string& source, const std::string& relative) const;
    // Copies source to the full path destination, replacing what is there.
    static void copyFile(const std::string& source, const std::string& destination);

private:
    std::string m_path;
};

// Sets (or, with nullopt, unsets) environment variables; restores each one's
// earlier value or absence on destruction.
class ScopedEnvironment : NonCopyable {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();

    ScopedEnvironment& set(const std::string& name, const std::optional<std::string>& value);
    ScopedEnvironment& unset(const std::string& name) { return set(name, std::nullopt); }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// Changes the current directory; changes back on destruction.
class ScopedCurrentDirectory : NonCopyable {
public:
    explicit ScopedCurrentDirectory(const std::string& directory);
    ~ScopedCurrentDirectory();

private:
    std::string m_previous;
};

// The file name under which the front end looks for the implementation.
inline constexpr char kImplementationName[] = "libVeltApi_aarch64.so";
// The search's candidate in the current directory, as it names it.
inline const std::string kCurrentDirectoryCandidate = std::string("./") + kImplementationName;

// A private installation in a test directory of its own:
//   lib/   the libraries under test, with their Trelvo.conf and Trelvo.log
//   home/  $HOME, holding .fenra, so that no installed product of the machine
//          is seen
//   work/  the current directory, empty
// VELT_PATH starts unset. Everything is undone on destruction.
class Installation {
public:
    Installation();

    const TestDirectory& root() const { return m_root; }
    ScopedEnvironment& environment() { return m_environment; }
    std::string library() const { return m_root.file("lib"); }
    std::string work() const { return m_root.file("work"); }
    std::string frontEnd() const { return m_root.file("lib/libTrelvo_aarch64.so"); }
    std::string logFile() const { return m_root.file("lib/Trelvo.log"); }

    // Copies the front end under test to frontEnd(); returns its path.
    std::string installFrontEnd() const;
    // Copies source as libVeltApi_aarch64.so into directory (made if needed),
    // both of mode 0755; returns its path.
    std::string installImplementation(const std::string& directory,
                                      const std::string& source) const;
    void writeConfiguration(const std::string& content) const;
    // home/.fenra/Korvalt/<product>/sharedinfo.txt, whose first line names
    // libVeltApi_aarch64.so in directory; product is "Pravik" or
    // "FENRA/Trunwell". Returns its path.
    std::string writeSharedInfo(const std::string& product, const std::string& directory) const;

private:
    TestDirectory m_root;
    ScopedEnvironment m_environment;
    ScopedCurrentDirectory m_currentDirectory;
};

// A shared library loaded with dlopen(RTLD_NOW | RTLD_LOCAL), closed on
// destruction unless released. Fails the current test when loading fails.
class LoadedLibrary : NonCopyable {
public:
    explicit LoadedLibrary(const std::string& path);
    ~LoadedLibrary() { close(); }

    // dlclose; true when it succeeded (or nothing was loaded).
    bool close();

    // The symbol's address cast to T; null when absent.
    template <typename T>
    T symbol(const char* name) const {
        return reinterpret_cast<T>(m_handle != nullptr ? dlsym(m_handle, name) : nullptr);
    }

private:
    void* m_handle = nullptr;
};

// Base of the parameters of value-parameterized cases: names each instance,
// in GoogleTest's output and, through CaseName, in the test's name.
struct NamedCase {
    const char* caseName;
};

inline std::ostream& operator<<(std::ostream& stream, const NamedCase& namedCase) {
    return stream << namedCase.caseName;
}

using CaseName = ::testing::PrintToStringParamName;

// The fixture of a table of cases: Fixture, with a row of type Case as the
// parameter.
template <typename Fixture, typename Case>
class TableTest : public Fixture, public ::testing::WithParamInterface<Case> {};

// The whole content of a file; nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);

// The file's lines, without their line feeds.
std::vector<std::string> ReadLines(const std::string& path);

bool Exists(const std::string& path);

}  // namespace TrelvoTest
