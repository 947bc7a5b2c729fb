// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "logging/timestamp.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace InternalUtils {

std::string GetTimestamp() {
    using std::chrono::nanoseconds;
    // One reading for both fields, so the milliseconds belong to the second
    // that is printed.
    const int64_t now =
        std::chrono::duration_cast<nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const int64_t seconds = now / 1000000000;
    const auto milliseconds = static_cast<uint32_t>((now - seconds * 1000000000) / 1000000);
    const time_t calendarTime = static_cast<time_t>(seconds);
    std::tm local{};
    if (localtime_r(&calendarTime, &local) == nullptr) return std::string();
    // strftime rather than a stream: every field is numeric, and streams would
    // bring the C++ locale machinery into the library's start-up.
    char stamp[64];
    const size_t length = strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    snprintf(stamp + length, sizeof stamp - length, ",%03u", static_cast<unsigned>(milliseconds));
    return stamp;
}

}  // namespace InternalUtils
