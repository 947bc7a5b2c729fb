// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// A text that a traced call returns, as any bytes up to the first NUL: its
// JSON record must parse, fit in PIPE_BUF, and give back a well-formed text
// unchanged (a long one cut only at its end, with the mark).
#include <limits.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "FuzzDirectory.h"
#include "logging/TraceWriter.h"

namespace {

using Json = nlohmann::json;

const std::string& TracePath() {
    static const std::string path = TrelvoFuzz::FuzzDirectory() + "/trace.json";
    return path;
}

std::string ReadTrace() {
    std::ostringstream content;
    content << std::ifstream(TracePath(), std::ios::binary).rdbuf();
    return content.str();
}

// The JSON library's own view: it refuses to write a string that is not
// UTF-8.
bool IsUtf8(const std::string& text) {
    try {
        Json(text).dump();
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TRELVOTRACE", TracePath().c_str(), 1);
    Internal_Trelvo::StartCallTrace();
    if (!Internal_Trelvo::IsCallTraceOn()) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string returned = bytes.substr(0, bytes.find('\0'));
    if (truncate(TracePath().c_str(), 0) != 0) abort();  // the trace appends
    Internal_Trelvo::TraceRecord record("VELT_GetLastErrorMessage", Internal_Trelvo::TraceClock());
    record.Field("result", ") = ", returned.c_str());
    record.End(false);
    const std::string written = ReadTrace();
    const Json events = Json::parse("[0" + written + "]", nullptr, false);
    if (written.size() > PIPE_BUF || !events.is_array() || !events.back()["args"].is_object()) {
        abort();
    }
    const std::string shown = events.back()["args"]["result"];
    // Cut only where the record reached its limit, and only at the end.
    const std::string mark = "\xE2\x80\xA6[cut]";
    const size_t kept = shown.size() - std::min(shown.size(), mark.size());
    const bool cut = shown.compare(kept, std::string::npos, mark) == 0 &&
                     written.size() + 6 > PIPE_BUF - 384 && kept < returned.size() &&
                     returned.compare(0, kept, shown, 0, kept) == 0;
    if (IsUtf8(returned) && shown != returned && !cut) abort();
    return 0;
}
