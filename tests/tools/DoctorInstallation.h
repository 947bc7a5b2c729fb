// A private installation for the doctor to examine, in a test directory:
//   lib/   the front end and the doctor's companion
//   home/  $HOME, holding .fenra, so the system's shared-info files are
//          never read
//   work/  the current directory, empty
// VELT_PATH starts unset. Everything is undone on destruction.
#pragma once

#include <memory>
#include <string>

#include "TestSupport.h"

namespace TrelvoTest {

class DoctorInstallation {
public:
    DoctorInstallation();

    const TestDirectory& root() const { return m_root; }
    std::string library() const { return m_root.file("lib"); }
    std::string frontEnd() const { return m_root.file("lib/libTrelvo_aarch64.so"); }
    std::string work() const { return m_root.file("work"); }
    ScopedEnvironment& environment() { return m_environment; }

    // Copies source as libVeltApi_aarch64.so into directory (made if needed),
    // mode 0755; returns its path.
    std::string installImplementation(const std::string& directory,
                                      const std::string& source = TRELVO_SAMPLE_PATH) const;
    // lib/Trelvo.conf.
    void writeConfiguration(const std::string& content) const;
    // home/.fenra/Korvalt/<product>/sharedinfo.txt, whose first line names
    // libVeltApi_aarch64.so in directory.
    std::string writeSharedInfo(const std::string& product, const std::string& directory) const;

private:
    TestDirectory m_root;
    ScopedEnvironment m_environment;
    std::unique_ptr<ScopedCurrentDirectory> m_currentDirectory;
};

}  // namespace TrelvoTest
