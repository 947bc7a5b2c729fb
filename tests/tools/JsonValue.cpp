#include "JsonValue.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace TrelvoTest {
namespace {

class CJsonReader {
public:
    explicit CJsonReader(const std::string& text) : m_text(text) {}

    std::optional<JsonValue> ReadDocument() {
        JsonValue value;
        if (!_Value(value)) return std::nullopt;
        _SkipSpace();
        if (m_at != m_text.size()) return std::nullopt;
        return value;
    }

private:
    void _SkipSpace() {
        while (m_at < m_text.size() && strchr(" \t\r\n", m_text[m_at]) != nullptr) ++m_at;
    }
    bool _Take(char c) {
        _SkipSpace();
        if (m_at >= m_text.size() || m_text[m_at] != c) return false;
        ++m_at;
        return true;
    }
    bool _Literal(const char* word) {
        const size_t length = strlen(word);
        if (m_text.compare(m_at, length, word) != 0) return false;
        m_at += length;
        return true;
    }

    static bool _Typed(JsonValue& value, JsonValue::Type type, bool boolean = false) {
        value.type = type;
        value.boolean = boolean;
        return true;
    }
    bool _Value(JsonValue& value) {
        _SkipSpace();
        if (m_at >= m_text.size()) return false;
        const char c = m_text[m_at];
        if (c == '{') return _Object(value);
        if (c == '[') return _Array(value);
        if (c == '"') return _Typed(value, JsonValue::Type::kString) && _String(value.string);
        if (_Literal("null")) return _Typed(value, JsonValue::Type::kNull);
        if (_Literal("true")) return _Typed(value, JsonValue::Type::kBool, true);
        if (_Literal("false")) return _Typed(value, JsonValue::Type::kBool, false);
        return _Number(value);
    }

    bool _Digits() {
        const size_t start = m_at;
        while (m_at < m_text.size() && isdigit(static_cast<unsigned char>(m_text[m_at]))) ++m_at;
        return m_at > start;
    }
    bool _Number(JsonValue& value) {
        const size_t start = m_at;
        if (m_text[m_at] == '-') ++m_at;
        if (m_text.compare(m_at, 1, "0") == 0) {
            ++m_at;
        } else if (!_Digits()) {
            return false;
        }
        if (m_text.compare(m_at, 1, ".") == 0 && (++m_at, !_Digits())) return false;
        if (m_at < m_text.size() && (m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
            ++m_at;
            if (m_at < m_text.size() && (m_text[m_at] == '+' || m_text[m_at] == '-')) ++m_at;
            if (!_Digits()) return false;
        }
        value.type = JsonValue::Type::kNumber;
        value.number = strtod(m_text.substr(start, m_at - start).c_str(), nullptr);
        return true;
    }

    static void _AppendUtf8(unsigned code, std::string& out) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xc0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3f));
        } else {
            out += static_cast<char>(0xe0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (code & 0x3f));
        }
    }
    bool _Unicode(std::string& out) {
        if (m_at + 4 > m_text.size()) return false;
        const std::string hex = m_text.substr(m_at, 4);
        if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
        m_at += 4;
        _AppendUtf8(static_cast<unsigned>(strtoul(hex.c_str(), nullptr, 16)), out);
        return true;
    }
    bool _Escape(std::string& out) {
        if (m_at >= m_text.size()) return false;
        const char c = m_text[m_at++];
        switch (c) {
            case '"': case '\\': case '/': out += c; return true;
            case 'b': out += '\b'; return true;
            case 'f': out += '\f'; return true;
            case 'n': out += '\n'; return true;
            case 'r': out += '\r'; return true;
            case 't': out += '\t'; return true;
            case 'u': return _Unicode(out);
            default: return false;
        }
    }
    bool _String(std::string& out) {
        ++m_at;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
            } else if (!_Escape(out)) {
                return false;
            }
        }
        return false;
    }

    // Elements separated by commas up to the closing bracket; member reads
    // one element (and, in an object, its name).
    template <typename Member>
    bool _Sequence(char close, Member member) {
        ++m_at;
        if (_Take(close)) return true;
        do {
            if (!member()) return false;
        } while (_Take(','));
        return _Take(close);
    }
    bool _Array(JsonValue& value) {
        value.type = JsonValue::Type::kArray;
        return _Sequence(']', [&] {
            value.elements.emplace_back();
            return _Value(value.elements.back());
        });
    }
    bool _Object(JsonValue& value) {
        value.type = JsonValue::Type::kObject;
        return _Sequence('}', [&] {
            _SkipSpace();
            if (m_text.compare(m_at, 1, "\"") != 0) return false;
            value.names.emplace_back();
            value.elements.emplace_back();
            return _String(value.names.back()) && _Take(':') && _Value(value.elements.back());
        });
    }

    const std::string& m_text;
    size_t m_at = 0;
};

}  // namespace

bool JsonValue::has(const std::string& name) const {
    for (const std::string& member : names) {
        if (member == name) return true;
    }
    return false;
}

const JsonValue& JsonValue::operator[](const std::string& name) const {
    static const JsonValue missing;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) return elements[i];
    }
    return missing;
}

std::optional<JsonValue> ParseJson(const std::string& text) {
    return CJsonReader(text).ReadDocument();
}

}  // namespace TrelvoTest
