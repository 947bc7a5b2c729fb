// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace of the 22 exports: their names, their parameters and the
// front end's own result codes, for logging/TraceWriter.h.
#pragma once

#include <utility>

#include "api/EntryPoints.h"
#include "logging/TraceWriter.h"

namespace Internal_Trelvo {

// The 20 entry points in binding order, then the two path functions.
// clang-format off
#define TRELVO_TRACED_FUNCTIONS(X)                               \
    TRELVO_ENTRY_POINTS(X)                                       \
    X(Trelvo_GetVeltApiImplementationPath, , Own, (), ())         \
    X(Trelvo_SetVeltApiImplementationPath, , Own, (const char* path), (path))
namespace Traced {
#define TRELVO_TRACED_INDEX(symbol, ...) symbol,
enum Function : int { TRELVO_TRACED_FUNCTIONS(TRELVO_TRACED_INDEX) kCount };
#undef TRELVO_TRACED_INDEX

inline constexpr struct Named {
    const char* name;
    const char* parameters;  // as in "(arg1, arg2)"
} kFunctions[] = {
#define TRELVO_TRACED_NAME(symbol, binding, forwarding, parameters, arguments) {#symbol, #arguments},
    TRELVO_TRACED_FUNCTIONS(TRELVO_TRACED_NAME)
#undef TRELVO_TRACED_NAME
};
static_assert(kCount <= kTraceSummaryRows);

#define TRELVO_NAMED(code) {code, #code}
inline constexpr struct NamedCode { uint32_t code; const char* name; } kFrontEndCodes[] = {
    TRELVO_NAMED(TRELVO_E_NULL_ARGUMENT), TRELVO_NAMED(TRELVO_E_NOT_SUPPORTED),
    TRELVO_NAMED(TRELVO_E_NOT_IMPLEMENTED), TRELVO_NAMED(TRELVO_E_OUT_OF_MEMORY),
    TRELVO_NAMED(TRELVO_E_NOT_LOADED), TRELVO_NAMED(TRELVO_E_IMPLEMENTATION_UNAVAILABLE),
    TRELVO_NAMED(TRELVO_E_UNLOAD_FAILED), TRELVO_NAMED(TRELVO_E_MISSING_ENTRY_POINTS),
    TRELVO_NAMED(TRELVO_E_PATH_NOT_LOADABLE)};
#undef TRELVO_NAMED
#undef TRELVO_TRACED_FUNCTIONS
}  // namespace Traced
// clang-format on

// A call that the caller made itself inside the one recorded, and what it
// wrote through its counter.
struct TraceInnerCall {
    const char* name;
    uint32_t result, counter;
};

// A call of function begun with its arguments. One that returns a text gets
// it copied in by ResultText while the caller still guards it.
struct CallRecord : TraceRecord {
    CallRecord(Traced::Function function, int64_t start,
               std::initializer_list<TraceValue> arguments, bool succeeded = false) noexcept
        : TraceRecord(Traced::kFunctions[function].name, start, function) {
        Arguments(Traced::kFunctions[function].parameters, arguments, succeeded);
    }
    const char* ResultText(const char* text) {
        if (!std::exchange(m_answered, true)) Field("result", ") = ", text);
        return text;
    }
    bool m_answered = false;
};

// The record of a call that began at start and returns code now; byFrontEnd
// when the front end produced the code, which then shows its name. The
// setter's own status query is shown inside it, its counter only where it
// succeeded, as for the call's own.
inline void TraceCall(Traced::Function function, int64_t start,
                      std::initializer_list<TraceValue> arguments, uint32_t code, bool byFrontEnd,
                      const TraceInnerCall* inner = nullptr) noexcept {
    CallRecord record(function, start, arguments, code == 0);
    record.Field("result", ") = ", {code, TraceValue::kCode});
    for (const auto& named : Traced::kFrontEndCodes)
        if (byFrontEnd && named.code == code)
            record.Field("resultName", " ", {named.name, TraceValue::kWord});
    if (inner) {
        record.Open("frontEndCall", " [by the front end: ");
        record.Field("name", "", {inner->name, TraceValue::kWord});
        if (inner->result == 0) record.Field("counter", "(-> ", inner->counter);
        record.Field("result",
                     inner->result == 0 ? ") = " : "() = ", {inner->result, TraceValue::kCode});
        record.Close("]");
    }
    record.End(code != 0);
}

// The front end's own events inside a call: "loaded", "unloaded", "unload
// failed", with the implementation's path.
inline void TraceEvent(const char* event, const char* path, Traced::Function inside,
                       int64_t start) noexcept {
    TraceRecord record(event, start, -1, "front end", Traced::kFunctions[inside].name);
    record.Arguments("(path)", {path}, false);
    record.End(false);
}

}  // namespace Internal_Trelvo
