// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// A reader of line-oriented name=value files. It interprets nothing: which
// names mean what is the caller's business.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace InternalUtils {

struct ConfigurationReaderSettings {
    int32_t maxLines;               // line reads per load; 0 or less reads nothing
    int32_t maxLineLength;          // buffer size of one read: at most this - 1 bytes
    std::string commentCharacters;  // a line starting with one of these is a comment
};

struct ConfigurationVariable {
    std::string name;
    std::string value;
};

class IConfigurationReader {
public:
    virtual ~IConfigurationReader() = default;

    // Reads the file into the variables, replacing those of an earlier load.
    // 0 on success (also at the line limit); otherwise an errno value: EINVAL for
    // a null path, that of the failed open or of the failed read. The variables
    // of the reads before a failed one are kept.
    virtual int32_t LoadFile(const char* path) = 0;

    // The text of the last load's failure; empty after a successful one.
    virtual std::string GetLastErrorMessage() const = 0;

    // The variables in file order; a name may repeat.
    virtual std::vector<ConfigurationVariable> GetConfigurationVariables() const = 0;
};

// A new reader with copies of the settings; null when memory is exhausted.
// Release it with DestroyConfigurationReader.
IConfigurationReader* CreateConfigurationReader(ConfigurationReaderSettings settings);

// Deletes the reader; null is ignored.
void DestroyConfigurationReader(IConfigurationReader* reader);

struct ConfigurationReaderDeleter {
    void operator()(IConfigurationReader* reader) const { DestroyConfigurationReader(reader); }
};
using ConfigurationReaderPtr = std::unique_ptr<IConfigurationReader, ConfigurationReaderDeleter>;

}  // namespace InternalUtils
