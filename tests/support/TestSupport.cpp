// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace TrelvoTest {
namespace fs = std::filesystem;

TestDirectory::TestDirectory() {
    std::string pattern = (fs::temp_directory_path() / "trelvo-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << pattern;
    // Canonical, so that paths the library forms from its own location compare
    // equal to the ones the test builds.
    m_path = fs::canonical(pattern).string();
}

TestDirectory::~TestDirectory() {
    std::error_code ignored;
    // Directories a test made unreadable or unwritable, this one included,
    // must still go: each is opened up before the walk enters it.
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(m_path, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::remove_all(m_path, ignored);
    if (Exists(m_path)) ADD_FAILURE() << "cannot remove the test directory " << m_path;
}

std::string TestDirectory::file(const std::string& relative) const {
    return m_path + "/" + relative;
}

std::string TestDirectory::mkdir(const std::string& relative) const {
    const std::string path = file(relative);
    fs::create_directories(path);
    return path;
}

std::string TestDirectory::write(const std::string& relative, const std::string& content) const {
    const std::string path = file(relative);
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    return path;
}

std::string TestDirectory::copy(const std::string& source, const std::string& relative) const {
    const std::string path = file(relative);
    copyFile(source, path);
    return path;
}

std::string TestDirectory::fifo(const std::string& relative) const {
    const std::string path = file(relative);
    fs::create_directories(fs::path(path).parent_path());
    if (mkfifo(path.c_str(), 0600) != 0) ADD_FAILURE() << "mkfifo(" << path << ") failed";
    return path;
}

void TestDirectory::copyFile(const std::string& source, const std::string& destination) {
    fs::create_directories(fs::path(destination).parent_path());
    fs::copy_file(source, destination, fs::copy_options::overwrite_existing);
}

namespace {

void _Assign(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
}

}  // namespace

ScopedEnvironment::~ScopedEnvironment() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) _Assign(it->first, it->second);
}

ScopedEnvironment& ScopedEnvironment::set(const std::string& name,
                                          const std::optional<std::string>& value) {
    const char* previous = getenv(name.c_str());
    m_saved.emplace_back(name,
                         previous != nullptr ? std::optional<std::string>(previous) : std::nullopt);
    _Assign(name, value);
    return *this;
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::string& directory)
    : m_previous(fs::current_path().string()) {
    fs::current_path(directory);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() {
    std::error_code ignored;
    fs::current_path(m_previous, ignored);
}

Installation::Installation() : m_currentDirectory(m_root.mkdir("work")) {
    // Fixed modes: the doctor warns of directories that others can write.
    chmod(m_root.mkdir("lib").c_str(), 0755);
    m_root.mkdir("home/.fenra");
    m_environment.set("HOME", m_root.file("home")).unset("VELT_PATH");
}

std::string Installation::installFrontEnd() const {
    TestDirectory::copyFile(TRELVO_FRONT_END_PATH, frontEnd());
    return frontEnd();
}

std::string Installation::installImplementation(const std::string& directory,
                                                const std::string& source) const {
    const std::string path = directory + "/" + kImplementationName;
    TestDirectory::copyFile(source, path);
    chmod(path.c_str(), 0755);
    chmod(directory.c_str(), 0755);
    return path;
}

void Installation::writeConfiguration(const std::string& content) const {
    m_root.write("lib/Trelvo.conf", content);
}

std::string Installation::writeSharedInfo(const std::string& product,
                                          const std::string& directory) const {
    return m_root.write("home/.fenra/Korvalt/" + product + "/sharedinfo.txt",
                        directory + "/" + kImplementationName + "\n");
}

LoadedLibrary::LoadedLibrary(const std::string& path) {
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) ADD_FAILURE() << "dlopen(" << path << "): " << dlerror();
}

bool LoadedLibrary::close() {
    if (m_handle == nullptr) return true;
    const bool closed = dlclose(m_handle) == 0;
    m_handle = nullptr;
    return closed;
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) return std::nullopt;
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream stream(path, std::ios::binary);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace TrelvoTest
