// The variants of the fake implementation, as a C++ test picks them; what
// each exports is described in FakeVeltApi.c.
#pragma once

#include <string>

#include "FakeVeltControl.h"

namespace TrelvoTest {

enum class Fake {
    kComplete,
    kWithoutConnectWithURI,
    kWithoutOptional,
    kWithoutRequired,  // lacks VELT_Disconnect and VELT_GetService
    kWithoutGetLastErrorMessage,
    kSecond,  // complete, records itself as "second"
    kNull,    // complete, records nothing and always returns 0
};

// The built variant, to be copied where a test needs it.
inline std::string FakePath(Fake variant) {
    static const char* const names[] = {
        "complete", "without-connect-with-uri", "without-optional", "without-required",
        "without-get-last-error-message", "second", "null"};
    return std::string(FAKE_VELT_DIRECTORY) + "/libfake-velt-" + names[static_cast<int>(variant)] +
           ".so";
}

}  // namespace TrelvoTest
