// The debug log: Trelvo.log beside the library, written only while the
// environment switches it on (TRELVODEBUG non-empty, or "debugaccess" inside
// VELTAPIOPTS), read afresh for every entry. Best effort: a line that cannot be
// written is dropped silently. The file is deleted when the library is loaded
// with the log on.
#pragma once

#include <cstdint>

namespace Internal_Trelvo {

// Appends "<time stamp> <text>\n". Nothing for a null text or with the log off.
void LogText(const char* text);

// Logs "Error (<code>) accessing configuration file "<path>": <message>\n"
// with the configuration file's path and last reading error. The code is
// printed as a signed decimal.
void LogConfigFileErrors(int32_t code);

}  // namespace Internal_Trelvo
