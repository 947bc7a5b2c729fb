// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "api/CallTrace.h"

#include <iterator>

namespace Internal_Trelvo {
namespace {

struct _Named {
    const char* name;
    const char* parameters;  // as in "(arg1, arg2)"
};
// clang-format off
constexpr _Named _functions[] = {
#define TRELVO_TRACED_FUNCTION(symbol, binding, forwarding, parameters, arguments) \
    {#symbol, #arguments},
    TRELVO_ENTRY_POINTS(TRELVO_TRACED_FUNCTION)
#undef TRELVO_TRACED_FUNCTION
    {"Trelvo_GetVeltApiImplementationPath", "()"},
    {"Trelvo_SetVeltApiImplementationPath", "(path)"}};
// clang-format on
static_assert(std::size(_functions) == Traced::kCount && Traced::kCount <= kMaxTracedFunctions);

struct _NamedCode {
    uint32_t code;
    const char* name;
};
#define TRELVO_NAMED(code) \
    { code, #code }
constexpr _NamedCode _frontEndCodes[] = {
    TRELVO_NAMED(TRELVO_E_NULL_ARGUMENT),    TRELVO_NAMED(TRELVO_E_NOT_SUPPORTED),
    TRELVO_NAMED(TRELVO_E_NOT_IMPLEMENTED),  TRELVO_NAMED(TRELVO_E_OUT_OF_MEMORY),
    TRELVO_NAMED(TRELVO_E_NOT_LOADED),       TRELVO_NAMED(TRELVO_E_IMPLEMENTATION_UNAVAILABLE),
    TRELVO_NAMED(TRELVO_E_UNLOAD_FAILED),    TRELVO_NAMED(TRELVO_E_MISSING_ENTRY_POINTS),
    TRELVO_NAMED(TRELVO_E_PATH_NOT_LOADABLE)};
#undef TRELVO_NAMED

const char* _CodeName(uint32_t code) {
    for (const _NamedCode& named : _frontEndCodes) {
        if (named.code == code) return named.name;
    }
    return nullptr;
}

}  // namespace

TextCallRecord::TextCallRecord(Traced::Function function, int64_t start,
                               std::initializer_list<TraceValue> arguments) noexcept
    : TraceRecord(_functions[function].name, start, function) {
    Arguments(_functions[function].parameters, arguments, false);
}

void TraceCall(Traced::Function function, int64_t start,
               std::initializer_list<TraceValue> arguments, uint32_t code, bool byFrontEnd,
               const TraceInnerCall* inner) noexcept {
    TraceRecord record(_functions[function].name, start, function);
    record.Arguments(_functions[function].parameters, arguments, code == 0);
    record.Code(code, byFrontEnd ? _CodeName(code) : nullptr);
    if (inner)
        record.InnerCall(inner->name, inner->result, inner->result ? nullptr : &inner->counter);
    record.End();
}

void TraceEvent(const char* event, const char* path, Traced::Function inside,
                int64_t start) noexcept {
    TraceRecord record(event, start, -1, _functions[inside].name);
    record.Arguments("(path)", {path}, false);
    record.End();
}

}  // namespace Internal_Trelvo
