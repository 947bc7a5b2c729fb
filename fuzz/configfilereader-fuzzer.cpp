// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The configuration reader, with the settings the library uses, on a file of
// arbitrary bytes: besides not crashing, every variable it gives must be
// what its line rules allow.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzDirectory.h"
#include "config/ConfigFileReader.h"

namespace {

using InternalUtils::ConfigurationVariable;

bool IsBlank(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

bool IsTrimmed(const std::string& text) {
    return text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back()));
}

void Check(bool condition) {
    if (!condition) abort();
}

void CheckVariable(const ConfigurationVariable& variable) {
    Check(IsTrimmed(variable.name) && IsTrimmed(variable.value));
    Check(variable.name.find_first_of("=\n") == std::string::npos);
    Check(variable.value.find('\n') == std::string::npos);
    Check(variable.name.find('\0') == std::string::npos);
    Check(variable.value.find('\0') == std::string::npos);
    // A comment line yields nothing, and the name starts the line's text.
    Check(variable.name.empty() || (variable.name[0] != '#' && variable.name[0] != ';'));
    // Name and value come from one read of at most 255 bytes, "=" between.
    Check(variable.name.size() + variable.value.size() < 255);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = TrelvoFuzz::FuzzDirectory() + "/Trelvo.conf";
    TrelvoFuzz::WriteBytes(path, data, size);
    InternalUtils::ConfigurationReaderPtr reader(
        InternalUtils::CreateConfigurationReader({100, 256, "#;"}));
    Check(reader != nullptr);
    Check(reader->LoadFile(path.c_str()) == 0);
    Check(reader->GetLastErrorMessage().empty());
    const auto variables = reader->GetConfigurationVariables();
    Check(variables.size() <= 100);
    for (const ConfigurationVariable& variable : variables) CheckVariable(variable);
    return 0;
}
