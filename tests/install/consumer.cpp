// A C++ program built against an installed libTrelvo through its CMake
// package (find_package(Trelvo), target Trelvo::Trelvo; see CMakeLists.txt).
// It names a library that cannot be loaded, lets the front end find the
// implementation instead, and checks that the one it found is the file named
// by its argument and that disconnecting the last client unloads it.
#include <trelvo/Trelvo.h>

#include <cstdio>
#include <string>

namespace {

int failures = 0;

void Expect(const std::string& call, VeltResult result, VeltResult wanted) {
    const bool ok = result == wanted;
    std::printf("%-45s 0x%08x %s\n", call.c_str(), unsigned{result}, ok ? "ok" : "UNEXPECTED");
    if (ok) return;
    std::printf("  wanted 0x%08x: %s\n", unsigned{wanted}, VELT_GetLastErrorMessage(0));
    ++failures;
}

void ExpectValue(const std::string& what, const std::string& value, const std::string& wanted) {
    const bool ok = value == wanted;
    std::printf("%-45s %s %s\n", what.c_str(), value.c_str(), ok ? "ok" : "UNEXPECTED");
    if (!ok) ++failures;
}

std::string OrNull(const char* text) { return text != nullptr ? text : "(null)"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s EXPECTED-IMPLEMENTATION-PATH\n", argv[0]);
        return 2;
    }
    const std::string expectedPath = argv[1];
    Expect("Trelvo_SetVeltApiImplementationPath(null)", Trelvo_SetVeltApiImplementationPath(nullptr),
           TRELVO_E_NULL_ARGUMENT);
    Expect("Trelvo_SetVeltApiImplementationPath(missing)",
           Trelvo_SetVeltApiImplementationPath((expectedPath + ".missing").c_str()),
           TRELVO_E_PATH_NOT_LOADABLE);
    ExpectValue("implementation", OrNull(Trelvo_GetVeltApiImplementationPath()), expectedPath);

    Expect("VELT_ConnectInSameProcess", VELT_ConnectInSameProcess(nullptr), 0);
    uint32_t status = 0;
    Expect("VELT_GetConnectionStatus", VELT_GetConnectionStatus(&status), 0);
    ExpectValue("connection status", std::to_string(status), "1");
    uint32_t lastClient = 0;
    Expect("VELT_DisconnectIfLastClient", VELT_DisconnectIfLastClient(&lastClient), 0);
    ExpectValue("last client gone", std::to_string(lastClient), "1");
    Expect("VELT_Disconnect (unloaded)", VELT_Disconnect(), TRELVO_E_NOT_LOADED);
    return failures == 0 ? 0 : 1;
}
