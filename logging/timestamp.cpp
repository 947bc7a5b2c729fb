#include "logging/timestamp.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <iomanip>
#include <sstream>

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
    std::ostringstream stream;
    stream << std::put_time(&local, "%Y-%m-%d %H:%M:%S") << ',' << std::setw(3)
           << std::setfill('0') << milliseconds;
    return stream.str();
}

}  // namespace InternalUtils
