#include "DoctorInstallation.h"

#include <sys/stat.h>

#include "tools/doctor/Doctor.h"

namespace TrelvoTest {

DoctorInstallation::DoctorInstallation() {
    m_root.copy(TRELVO_FRONT_END_PATH, "lib/libTrelvo_aarch64.so");
    m_root.copy(TRELVO_DOCTOR_PROBE_PATH, std::string("lib/") + TrelvoDoctor::kProbeFileName);
    // Fixed modes: an unusual umask must not make the doctor warn.
    chmod(library().c_str(), 0755);
    m_root.mkdir("home/.fenra");
    m_environment.set("HOME", m_root.file("home")).unset("VELT_PATH");
    m_currentDirectory = std::make_unique<ScopedCurrentDirectory>(m_root.mkdir("work"));
}

std::string DoctorInstallation::installImplementation(const std::string& directory,
                                                      const std::string& source) const {
    const std::string path = directory + "/libVeltApi_aarch64.so";
    TestDirectory::copyFile(source, path);
    chmod(path.c_str(), 0755);
    chmod(directory.c_str(), 0755);
    return path;
}

void DoctorInstallation::writeConfiguration(const std::string& content) const {
    m_root.write("lib/Trelvo.conf", content);
}

std::string DoctorInstallation::writeSharedInfo(const std::string& product,
                                                const std::string& directory) const {
    return m_root.write("home/.fenra/Korvalt/" + product + "/sharedinfo.txt",
                        directory + "/libVeltApi_aarch64.so\n");
}

}  // namespace TrelvoTest
