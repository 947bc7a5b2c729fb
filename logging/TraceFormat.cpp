// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <sys/prctl.h>

#include <algorithm>
#include <charconv>
#include <cstring>

#include "logging/TraceWriter.h"

namespace Internal_Trelvo {
namespace {

constexpr int64_t kSecond = 1000000000;
constexpr size_t kTextLimit = PIPE_BUF - 384;  // leaves room for the rest of a record

struct _Digits {  // at least width digits, padded by pad
    uint64_t value;
    int width = 1, base = 10;
    char pad = '0';
};
struct _Micros {  // nanoseconds as microseconds with three decimals
    int64_t nanoseconds;
    int width = 1;
};
struct _Quoted {  // as a JSON string; null without quotes
    const char* text;
};

void _Part(TraceBuffer& out, std::string_view bytes) {
    const size_t length = std::min(bytes.size(), sizeof out.data - out.size);
    memcpy(out.data + out.size, bytes.data(), length);
    out.size += length;
}

void _Part(TraceBuffer& out, _Digits number) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, number.value, number.base).ptr;
    for (auto length = end - digits; length < number.width; ++length) _Part(out, {&number.pad, 1});
    _Part(out, {digits, static_cast<size_t>(end - digits)});
}

void _Part(TraceBuffer& out, uint64_t decimal) { _Part(out, _Digits{decimal}); }

template <typename... Parts>
void _Add(TraceBuffer& out, const Parts&... parts) {
    (_Part(out, parts), ...);
}

void _Part(TraceBuffer& out, _Micros time) {
    const auto value = static_cast<uint64_t>(time.nanoseconds);
    _Add(out, _Digits{value / 1000, time.width - 4, 10, ' '}, ".", _Digits{value % 1000, 3});
}

// The length of the well-formed UTF-8 sequence (RFC 3629) at text, or minus
// that of its maximal ill-formed subpart (one U+FFFD). The second byte's range
// excludes overlong forms, surrogates and values over U+10FFFF.
int _Utf8Sequence(const unsigned char* text) {
    const unsigned char lead = text[0];
    if (lead < 0x80) return 1;
    if (lead < 0xC2 || lead > 0xF4) return -1;
    const int length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (int i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
        if (text[i] < low || text[i] > high) return -i;
    }
    return length;
}

// Cut at a character boundary, with a mark, where the record would outgrow PIPE_BUF.
void _Part(TraceBuffer& out, _Quoted quoted) {
    if (quoted.text == nullptr) return _Part(out, "null");
    _Part(out, "\"");
    for (auto* at = reinterpret_cast<const unsigned char*>(quoted.text); *at != 0;) {
        const int sequence = _Utf8Sequence(at);
        const char escaped[] = {'\\', static_cast<char>(*at), 0};
        const char control[] = {
            '\\', 'u', '0', '0', "0123456789abcdef"[*at >> 4], "0123456789abcdef"[*at & 0xF]};
        std::string_view bytes(reinterpret_cast<const char*>(at), std::max(sequence, 0));
        if (sequence < 0) bytes = "\\ufffd";
        if (*at < 0x20 || *at == 0x7F) bytes = {control, sizeof control};
        if (*at == '"' || *at == '\\') bytes = escaped;
        if (out.size + bytes.size() > kTextLimit) return _Add(out, "\xE2\x80\xA6[cut]\"");
        _Part(out, bytes);
        at += sequence < 0 ? -sequence : sequence;
    }
    _Part(out, "\"");
}

}  // namespace

void FormatTraceHeader(TraceBuffer& out, const TraceContext& process, const char* utc,
                       const char* before) {
    const _Quoted program{program_invocation_short_name};
    const auto origin = static_cast<uint64_t>(process.origin);
    if (!process.json) {
        return _Add(out, "# pid ", process.pid, " start ", process.processStart, " ", program,
                    " trace started ", utc, " at CLOCK_MONOTONIC ", origin / kSecond, ".",
                    _Digits{origin % kSecond / 1000, 6}, " s\n");
    }
    _Add(out, before, "{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":", process.pid,
         ",\"tid\":", process.pid, ",\"args\":{\"start\":", process.processStart,
         ",\"name\":", program, ",\"utc\":\"", utc, "\",\"ts\":", _Micros{process.origin}, "}}");
}

// By total time, with each row's share of it; sorted as copied, since a call
// still in flight may count.
bool FormatTraceSummary(TraceBuffer& out, pid_t pid,
                        const TraceSummaryRow (&counted)[kTraceSummaryRows]) {
    struct Row {
        uint64_t calls, failures, total, longest;
        const char* name;
    } rows[kTraceSummaryRows];
    uint64_t allTime = 0;
    for (int i = 0; i < kTraceSummaryRows; ++i) {
        const uint64_t calls = counted[i].calls.load(std::memory_order_acquire);
        rows[i] = {calls, counted[i].failures, counted[i].total, counted[i].longest,
                   counted[i].name.load(std::memory_order_acquire)};
        allTime += rows[i].total;
    }
    std::sort(rows, std::end(rows), [](auto& a, auto& b) { return a.total > b.total; });
    _Add(out, "# summary of pid ", pid, " ", _Quoted{program_invocation_short_name},
         ", by total time\n",
         "# time %    total us     mean us      max us    calls failures function\n");
    for (const Row& row : rows) {
        if (row.calls == 0) continue;
        const uint64_t share = row.total * 10000 / std::max(allTime, uint64_t{1});
        _Add(out, "# ", _Digits{share / 100, 3, 10, ' '}, ".", _Digits{share % 100, 2},
             _Micros{static_cast<int64_t>(row.total), 12},
             _Micros{static_cast<int64_t>(row.total / row.calls), 12},
             _Micros{static_cast<int64_t>(row.longest), 12}, _Digits{row.calls, 9, 10, ' '},
             _Digits{row.failures, 9, 10, ' '}, " ", row.name, "\n");
    }
    return std::any_of(rows, std::end(rows), [](const Row& row) { return row.calls != 0; });
}

// Text: "HH:MM:SS.uuuuuu PID/TID NAME(" or "... -- EVENT ", in UTC; JSON: the
// event up to its arguments, after its thread's name when that is new.
TraceFormat::TraceFormat(const TraceContext& c, int64_t start, const char* name,
                         const char* category, const char* inside)
    : m_on(c.tid != 0), m_name(name), m_start(start), m_inside(inside), m_json(c.json) {
    if (!m_on) return;
    if (!c.json) {
        const int64_t utc = start + c.utcOffset;
        const auto second = static_cast<uint64_t>(utc / kSecond % 86400);
        _Add(m_out, _Digits{second / 3600, 2}, ":", _Digits{second / 60 % 60, 2}, ":",
             _Digits{second % 60, 2}, ".", _Digits{static_cast<uint64_t>(utc % kSecond / 1000), 6},
             " ", c.pid, "/", c.tid, inside ? " -- " : " ", name, inside ? " " : "(");
        return;
    }
    if (c.newThread) {  // as the program named it
        char threadName[16] = "";
        prctl(PR_GET_NAME, threadName);
        _Add(m_out, ",\n{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":", c.pid, ",\"tid\":", c.tid,
             ",\"args\":{\"name\":", _Quoted{threadName}, "}}");
    }
    _Add(m_out, ",\n{\"name\":\"", name, "\",\"cat\":\"", category,
         "\",\"ph\":\"X\",\"pid\":", c.pid, ",\"tid\":", c.tid, ",\"ts\":", _Micros{start},
         ",\"args\":{");
}

// In JSON a comma before each key but the first of its object.
void TraceFormat::_Key(std::string_view key, const char* separator, const char* mark) {
    if (!m_json) return _Add(m_out, separator);
    _Add(m_out, m_out.data[m_out.size - 1] == '{' ? "\"" : ",\"", mark, key, "\":");
}

void TraceFormat::Field(std::string_view key, const char* separator, const TraceValue& value) {
    if (!m_on) return;
    _Key(key, separator);
    const char* quote = m_json ? "\"" : "";  // JSON's hexadecimal numbers are strings
    const auto* text = static_cast<const char*>(value.pointer);
    const bool code = value.kind == TraceValue::kCode;
    if (value.kind == TraceValue::kInteger) return _Add(m_out, uint64_t{value.integer});
    if (value.kind == TraceValue::kText) return _Add(m_out, _Quoted{text});
    if (value.kind == TraceValue::kWord) return _Add(m_out, quote, text, quote);
    if (!code && value.pointer == nullptr) return _Add(m_out, "null");
    _Add(m_out, quote, "0x",
         code ? _Digits{value.integer, 8, 16}
              : _Digits{reinterpret_cast<uintptr_t>(value.pointer), 1, 16},
         quote);
}

void TraceFormat::Arguments(const char* parameters, std::initializer_list<TraceValue> values,
                            bool succeeded) {
    for (const TraceValue& value : values) {
        const std::string_view rest(parameters + strspn(parameters, "(, "));
        const std::string_view name = rest.substr(0, rest.find_first_of(",)"));
        parameters = name.data() + name.size();
        Field(name, &value == values.begin() ? "" : ", ", value);
        if (!m_on || value.kind != TraceValue::kWritten || !value.pointer || !succeeded) continue;
        _Key(name, " -> ", "*");
        _Add(m_out, uint64_t{*static_cast<const uint32_t*>(value.pointer)});
    }
}

void TraceFormat::Open(std::string_view key, const char* separator) {
    if (!m_on) return;
    _Key(key, separator);
    if (m_json) _Add(m_out, "{");
}

void TraceFormat::Close(const char* textEnd) {
    if (m_on) _Add(m_out, m_json ? "}" : textEnd);
}

const TraceBuffer& TraceFormat::Finish(int64_t duration) {
    if (m_json) {
        if (m_inside) _Add(m_out, ",\"in\":\"", m_inside, "\"");  // after the event's path
        _Add(m_out, "},\"dur\":", _Micros{duration}, "}");
    } else {
        _Add(m_out, " <", _Micros{duration}, "us>");
        if (m_inside) _Add(m_out, " (in ", m_inside, ")");
        _Add(m_out, "\n");
    }
    m_on = false;
    return m_out;
}

}  // namespace Internal_Trelvo
