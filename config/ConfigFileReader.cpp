// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "config/ConfigFileReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "utils/fileops.h"
#include "utils/text.h"

namespace InternalUtils {
namespace {

class CConfigFileReader : public IConfigurationReader {
public:
    explicit CConfigFileReader(ConfigurationReaderSettings settings)
        : m_maxLines(settings.maxLines),
          m_maxLineLength(settings.maxLineLength),
          m_commentCharacters(std::move(settings.commentCharacters)) {}

    int32_t LoadFile(const char* path) override;
    std::string GetLastErrorMessage() const override { return m_lastErrorMessage; }
    std::vector<ConfigurationVariable> GetConfigurationVariables() const override {
        return m_variables;
    }

private:
    int32_t _ReadLines(FILE* stream, const std::string& path);
    void _AddVariable(const char* text);
    void _ReportError(int32_t error, const char* context);

    const int32_t m_maxLines;
    const int32_t m_maxLineLength;
    const std::string m_commentCharacters;
    std::vector<ConfigurationVariable> m_variables;
    std::string m_lastErrorMessage;
};

int32_t CConfigFileReader::LoadFile(const char* path) {
    m_lastErrorMessage.clear();
    m_variables.clear();
    if (path == nullptr) {
        _ReportError(EINVAL,
                     "(Internal)CConfigFileReader::LoadFile() requires a non-null file path");
        return EINVAL;
    }
    const std::string filePath(path);
    FILE* stream = nullptr;
    const int opened = openfile(&stream, filePath.c_str(), "r");
    if (opened != 0) {
        _ReportError(opened, "Trying to open the configuration file for reading");
        return opened;
    }
    // Closed also when reading runs out of memory.
    const UniqueFile file(stream);
    return m_maxLines > 0 ? _ReadLines(file.get(), filePath) : 0;
}

int32_t CConfigFileReader::_ReadLines(FILE* stream, const std::string& path) {
    // A negative length is outside the contract; it reads like 0, which fails.
    const size_t capacity = m_maxLineLength > 0 ? static_cast<size_t>(m_maxLineLength) : 0;
    std::vector<char> buffer(capacity + 1);
    for (int32_t read = 1; read <= m_maxLines; ++read) {
        std::fill(buffer.begin(), buffer.end(), '\0');
        const int status = readline(buffer.data(), capacity, stream);
        if (status == -1) break;
        if (status != 0) {
            const std::string context = "Failed to read line " + std::to_string(read) +
                                        " from the configuration file \"" + path + "\"";
            _ReportError(status, context.c_str());
            return status;
        }
        _AddVariable(buffer.data());
    }
    return 0;
}

void CConfigFileReader::_AddVariable(const char* text) {
    const char* first = skipwhitespace(text);
    if (*first == '\0') return;
    const char* end = skipendwhitespace(text, 0);
    // A text whose only visible character opens the line names nothing.
    if (end - 1 == text) return;
    if (m_commentCharacters.find(*first) != std::string::npos) return;
    const char* separator = strchr(text, '=');
    if (separator == nullptr) return;
    const char* nameEnd =
        separator == first ? first : skipendwhitespace(first, static_cast<int>(separator - first));
    const char* valueStart = skipwhitespace(separator + 1);
    ConfigurationVariable variable;
    variable.name.assign(first, nameEnd);
    if (valueStart < end) variable.value.assign(valueStart, end);
    m_variables.push_back(std::move(variable));
}

void CConfigFileReader::_ReportError(int32_t error, const char* context) {
    m_lastErrorMessage = context != nullptr ? std::string(context) + ": " : std::string();
    m_lastErrorMessage += geterrormessage(error);
}

}  // namespace

IConfigurationReader* CreateConfigurationReader(ConfigurationReaderSettings settings) {
    return new (std::nothrow) CConfigFileReader(std::move(settings));
}

void DestroyConfigurationReader(IConfigurationReader* reader) { delete reader; }

}  // namespace InternalUtils
