// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "FrontEnd.h"

#include <algorithm>

namespace TrelvoTest {

FrontEndTest::FrontEndTest() { environment().set("TRELVODEBUG", "1"); }

const FrontEndExports& FrontEndTest::LoadFrontEnd() {
    m_frontEnd = std::make_unique<LoadedLibrary>(installFrontEnd());
#define TRELVO_RESOLVE_EXPORT(name, ...)                          \
    m_api.name = m_frontEnd->symbol<decltype(m_api.name)>(#name); \
    if (m_api.name == nullptr) ADD_FAILURE() << "no export " #name;
    TRELVO_FOR_EACH_EXPORT(TRELVO_RESOLVE_EXPORT)
#undef TRELVO_RESOLVE_EXPORT
    return m_api;
}

int FrontEndTest::CountLogLines(const std::string& text) const {
    const std::vector<std::string> lines = ReadLines(logFile());
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
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

int FrontEndTest::CallCountOf(FakeVeltFunction function) {
    const std::vector<FakeVeltCall> calls = Calls();
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(),
                      [&](const FakeVeltCall& call) { return call.function == function; }));
}

}  // namespace TrelvoTest
