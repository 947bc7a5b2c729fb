// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "api/CallTrace.h"

#include <iterator>

namespace Internal_Trelvo {
namespace {

struct _Function {
    const char* name;
    const char* parameters;  // the parameters' names, as in "(arg1, arg2)"
};

// clang-format off
constexpr _Function _functions[] = {
#define TRELVO_TRACED_FUNCTION(symbol, binding, forwarding, parameters, arguments) \
    {#symbol, #arguments},
    TRELVO_ENTRY_POINTS(TRELVO_TRACED_FUNCTION)
#undef TRELVO_TRACED_FUNCTION
    {"Trelvo_GetVeltApiImplementationPath", "()"},
    {"Trelvo_SetVeltApiImplementationPath", "(path)"},
};
// clang-format on
static_assert(std::size(_functions) == Traced::kCount && Traced::kCount <= kMaxTracedFunctions);

struct _NamedCode {
    uint32_t code;
    const char* name;
};
#define TRELVO_NAMED_CODE(code) \
    { code, #code }
constexpr _NamedCode _frontEndCodes[] = {
    TRELVO_NAMED_CODE(TRELVO_E_NULL_ARGUMENT),
    TRELVO_NAMED_CODE(TRELVO_E_NOT_SUPPORTED),
    TRELVO_NAMED_CODE(TRELVO_E_NOT_IMPLEMENTED),
    TRELVO_NAMED_CODE(TRELVO_E_OUT_OF_MEMORY),
    TRELVO_NAMED_CODE(TRELVO_E_NOT_LOADED),
    TRELVO_NAMED_CODE(TRELVO_E_IMPLEMENTATION_UNAVAILABLE),
    TRELVO_NAMED_CODE(TRELVO_E_UNLOAD_FAILED),
    TRELVO_NAMED_CODE(TRELVO_E_MISSING_ENTRY_POINTS),
    TRELVO_NAMED_CODE(TRELVO_E_PATH_NOT_LOADABLE),
};
#undef TRELVO_NAMED_CODE

const char* _CodeName(uint32_t code) {
    for (const _NamedCode& named : _frontEndCodes) {
        if (named.code == code) return named.name;
    }
    return nullptr;
}

// The next parameter name of "(arg1, arg2)" from *at on, copied into name.
const char* _NextName(const char*& at, char (&name)[16]) {
    while (*at == '(' || *at == ',' || *at == ' ') ++at;
    size_t length = 0;
    for (; *at != 0 && *at != ',' && *at != ')'; ++at) {
        if (length + 1 < sizeof name) name[length++] = *at;
    }
    name[length] = 0;
    return name;
}

// The value behind a counter is the implementation's only when it succeeded.
void _Arguments(TraceRecord& record, Traced::Function function,
                std::initializer_list<TraceArgument> arguments, bool succeeded) {
    const char* names = _functions[function].parameters;
    char name[16];
    for (const TraceArgument& argument : arguments) {
        _NextName(names, name);
        switch (argument.kind) {
            case TraceArgument::Kind::Pointer: record.Pointer(name, argument.pointer); break;
            case TraceArgument::Kind::Integer: record.Integer(name, argument.integer); break;
            case TraceArgument::Kind::Text:
                record.Text(name, static_cast<const char*>(argument.pointer));
                break;
            case TraceArgument::Kind::Counter:
                record.PointerTo(
                    name, argument.pointer,
                    succeeded ? static_cast<const uint32_t*>(argument.pointer) : nullptr);
        }
    }
}

}  // namespace

TextCallRecord::TextCallRecord(Traced::Function function, int64_t start,
                               std::initializer_list<TraceArgument> arguments) noexcept
    : m_function(function), m_record(_functions[function].name, start) {
    _Arguments(m_record, function, arguments, false);
}

const char* TextCallRecord::Returned(const char* text) {
    m_failed = text == nullptr;
    m_record.ResultText(text);
    return text;
}

void TextCallRecord::End() noexcept { m_record.End(static_cast<int>(m_function), m_failed); }

void TraceCall(Traced::Function function, int64_t start,
               std::initializer_list<TraceArgument> arguments, uint32_t code, bool byFrontEnd,
               const TraceInnerCall* inner) noexcept {
    TraceRecord record(_functions[function].name, start);
    _Arguments(record, function, arguments, code == 0);
    record.Code(code, byFrontEnd ? _CodeName(code) : nullptr);
    if (inner != nullptr) {
        record.InnerCall(inner->name, inner->result,
                         inner->result == 0 ? &inner->counter : nullptr);
    }
    record.End(static_cast<int>(function), code != 0);
}

void TraceEvent(const char* event, const char* path, Traced::Function inside,
                int64_t start) noexcept {
    TraceRecord record(event, start, _functions[inside].name);
    record.Text("path", path);
    record.End();
}

}  // namespace Internal_Trelvo
