// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The texts the library logs to Trelvo.log or reports as errors, and matching
// the log's lines.
#pragma once

#include <gmock/gmock.h>

#include <cstdint>
#include <cstring>
#include <regex>
#include <string>

namespace TrelvoTest {

// A local time stamp "YYYY-MM-DD HH:MM:SS,mmm" (a leap second allowed).
inline bool IsTimestamp(const std::string& text) {
    static const std::regex layout(
        "[0-9]{4}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01]) "
        "([01][0-9]|2[0-3]):[0-5][0-9]:([0-5][0-9]|60),[0-9]{3}");
    return std::regex_match(text, layout);
}

// A line that holds one entry: a time stamp, one space, then exactly text.
MATCHER_P(IsLogEntry, text, "is a log entry \"" + std::string(text) + "\"") {
    const std::string line = arg;
    return line.size() >= 24 && IsTimestamp(line.substr(0, 23)) && line[23] == ' ' &&
           line.substr(24) == text;
}

// The text of the entry that names path as the implementation in use.
inline std::string UsingEntry(const std::string& path) {
    return "Using VELT API from \"" + path + "\"";
}

// The texts of the entries that tell how the configuration was processed.
inline constexpr char kResolvedLine[] = "Resolved veltapipath to be ";
inline std::string ResolvedEntry(const std::string& path) {
    return kResolvedLine + ("\"" + path + "\"");
}
inline std::string ConfigurationErrorEntry(int32_t code, const std::string& file,
                                           const std::string& message) {
    return "Error (" + std::to_string(code) + ") accessing configuration file \"" + file +
           "\": " + message;
}

// The configuration reader's failures.
inline std::string OpenFailure(int error) {
    return std::string("Trying to open the configuration file for reading: ") + strerror(error);
}
inline std::string ReadFailure(int line, const std::string& path, int error) {
    return "Failed to read line " + std::to_string(line) + " from the configuration file \"" +
           path + "\": " + strerror(error);
}

// The failure of a search that found nothing; candidate is the last it tried.
inline std::string NotFoundError(const std::string& candidate) {
    return "Unable to locate a suitable VELT API implementation: " + candidate;
}

}  // namespace TrelvoTest
