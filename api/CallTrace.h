// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace of the 22 exports: their names, their parameters and the
// front end's own result codes, written by logging/TraceWriter.h.
#pragma once

#include "api/EntryPoints.h"
#include "logging/TraceWriter.h"

namespace Internal_Trelvo {

// The 20 entry points in binding order, then the two path functions.
// clang-format off
namespace Traced {
enum Function : int {
#define TRELVO_TRACED_INDEX(symbol, ...) symbol,
    TRELVO_ENTRY_POINTS(TRELVO_TRACED_INDEX)
#undef TRELVO_TRACED_INDEX
    Trelvo_GetVeltApiImplementationPath,
    Trelvo_SetVeltApiImplementationPath,
    kCount
};
}  // namespace Traced
// clang-format on

// A call that returns a text, begun with its arguments: ResultText copies
// the text in while the caller still guards it.
struct TextCallRecord : TraceRecord {
    TextCallRecord(Traced::Function function, int64_t start,
                   std::initializer_list<TraceValue> arguments) noexcept;
};

// A call that the front end made itself inside an export, and what the
// implementation wrote through its counter.
struct TraceInnerCall {
    const char* name;
    uint32_t result, counter;
};

// Writes the record of a call that began at start and returns code now;
// byFrontEnd when the front end produced the code, which then shows its name.
void TraceCall(Traced::Function function, int64_t start,
               std::initializer_list<TraceValue> arguments, uint32_t code, bool byFrontEnd,
               const TraceInnerCall* inner = nullptr) noexcept;

// The front end's own events inside a call: "loaded", "unloaded", "unload
// failed", with the implementation's path.
void TraceEvent(const char* event, const char* path, Traced::Function inside,
                int64_t start) noexcept;

}  // namespace Internal_Trelvo
