#include "FrontEnd.h"

#include <algorithm>

namespace TrelvoTest {
namespace {

std::string _FakeBuildPath(Fake variant) {
    static const char* const names[] = {
        "complete",         "without-connect-with-uri",       "without-optional",
        "without-required", "without-get-last-error-message", "second"};
    return std::string(FAKE_VELT_DIRECTORY) + "/libfake-velt-" +
           names[static_cast<int>(variant)] + ".so";
}

}  // namespace

FrontEndTest::FrontEndTest()
    : m_workingDirectory(m_root.mkdir("cwd")),
      m_home(m_root.mkdir("home")),
      m_currentDirectory(m_workingDirectory) {
    m_root.mkdir("home/.fenra");
    m_environment.set("HOME", m_home).set("TRELVODEBUG", "1").unset("VELT_PATH");
}

const FrontEndExports& FrontEndTest::LoadFrontEnd() {
    m_frontEnd = std::make_unique<LoadedLibrary>(
        m_root.copy(TRELVO_FRONT_END_PATH, "libTrelvo_aarch64.so"));
#define TRELVO_RESOLVE_EXPORT(name)                                   \
    m_api.name = m_frontEnd->symbol<decltype(m_api.name)>(#name);     \
    if (m_api.name == nullptr) ADD_FAILURE() << "no export " #name;
    TRELVO_FOR_EACH_EXPORT(TRELVO_RESOLVE_EXPORT)
#undef TRELVO_RESOLVE_EXPORT
    return m_api;
}

std::string FrontEndTest::PlaceFake(Fake variant, const std::string& directory) const {
    const std::string path = directory + "/" + kImplementationName;
    TestDirectory::copyFile(_FakeBuildPath(variant), path);
    return path;
}

void FrontEndTest::WriteConfiguration(const std::string& content) const {
    m_root.write("Trelvo.conf", content);
}

int FrontEndTest::CountLogLines(const std::string& text) const {
    const std::vector<std::string> lines = ReadLines(m_root.file("Trelvo.log"));
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

std::string FrontEndTest::UsingLine(const std::string& path) {
    return "Using VELT API from \"" + path + "\"";
}

bool FrontEndTest::IsMapped(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

std::vector<FakeVeltCall> FrontEndTest::Calls() {
    std::vector<FakeVeltCall> calls;
    for (int i = 0; const FakeVeltCall* call = FakeVelt_Call(i); ++i) calls.push_back(*call);
    return calls;
}

}  // namespace TrelvoTest
