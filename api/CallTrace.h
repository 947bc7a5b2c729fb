// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace of the 22 exports: their names, their arguments' kinds and
// the front end's own result codes, written by logging/TraceWriter.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "api/EntryPoints.h"
#include "logging/TraceWriter.h"

namespace Internal_Trelvo {

// The 20 entry points in binding order, then the two path functions.
// clang-format off
namespace Traced {
enum Function : size_t {
#define TRELVO_TRACED_INDEX(symbol, ...) symbol,
    TRELVO_ENTRY_POINTS(TRELVO_TRACED_INDEX)
#undef TRELVO_TRACED_INDEX
    Trelvo_GetVeltApiImplementationPath,
    Trelvo_SetVeltApiImplementationPath,
    kCount
};
}  // namespace Traced
// clang-format on

// An argument as the trace shows it. Pass-through values are shown, never
// followed; a counter (uint32_t *status, *lastClient) is read after the
// call, and only when the call succeeded.
struct TraceArgument {
    enum class Kind { Pointer, Integer, Counter, Text };
    TraceArgument(void* pointer) : kind(Kind::Pointer), pointer(pointer) {}
    TraceArgument(uint32_t integer) : kind(Kind::Integer), integer(integer) {}
    TraceArgument(uint32_t* counter) : kind(Kind::Counter), pointer(counter) {}
    TraceArgument(const char* text) : kind(Kind::Text), pointer(text) {}

    Kind kind;
    const void* pointer = nullptr;
    uint32_t integer = 0;
};

// A call that the front end made itself inside an export, and what the
// implementation wrote through its counter.
struct TraceInnerCall {
    const char* name;
    uint32_t result;
    uint32_t counter;
};

// The record of a call of function that returns a text: begun with its
// arguments; the text is copied into the record as soon as it is known,
// while the caller still guards it, and written by End.
class TextCallRecord {
public:
    TextCallRecord(Traced::Function function, int64_t start,
                   std::initializer_list<TraceArgument> arguments) noexcept;
    const char* Returned(const char* text);
    void End() noexcept;

private:
    Traced::Function m_function;
    bool m_failed = false;
    TraceRecord m_record;
};

// Writes the record of a call that began at start and returns code now;
// byFrontEnd when the front end produced the code, which then shows its name.
void TraceCall(Traced::Function function, int64_t start,
               std::initializer_list<TraceArgument> arguments, uint32_t code, bool byFrontEnd,
               const TraceInnerCall* inner = nullptr) noexcept;

// The front end's own events inside a call: "loaded", "unloaded", "unload
// failed", with the implementation's path.
void TraceEvent(const char* event, const char* path, Traced::Function inside,
                int64_t start) noexcept;

}  // namespace Internal_Trelvo
