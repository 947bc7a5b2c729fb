// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "config/ProcessConfiguration.h"

#include <cerrno>

#include "config/ConfigFileReader.h"
#include "locate/createmodulerelativepath.h"
#include "logging/InternalLogging.h"
#include "utils/environment.h"
#include "utils/text.h"

namespace Internal_Trelvo {
namespace {

// Written only by ProcessConfiguration, which its callers run at most once
// per process and never concurrently; read by the error report and by
// diagnostics.
std::string s_configFilePath;
std::string s_lastErrorMessage;
std::string s_configuredVeltApiPath;

void _Apply(const InternalUtils::ConfigurationVariable& variable,
            TrelvoConfiguration& configuration) {
    if (variable.value.empty()) return;
    if (variable.name == "veltapipath") {
        configuration.veltApiPath = variable.value;
    } else if (variable.name == "ignoredefaultsearch") {
        std::string flag = variable.value;
        InternalUtils::stringtolower(flag);
        configuration.ignoreDefaultSearch = flag == "true" || flag == "1";
    }
}

void _LogAndApply(const InternalUtils::IConfigurationReader& reader,
                  TrelvoConfiguration& configuration) {
    LogText("Read the following configuration variables:");
    for (const auto& variable : reader.GetConfigurationVariables()) {
        LogText((variable.name + " = " + variable.value).c_str());
        _Apply(variable, configuration);
    }
}

// "$NAME" names the variable by all the rest; "%NAME%suffix" by what stands
// up to the next '%', dropping the suffix.
std::string _ReferencedVariable(const std::string& reference) {
    if (reference[0] == '$') return reference.substr(1);
    return reference.substr(1, reference.find('%', 1) - 1);
}

void _ResolveEnvironmentReference(TrelvoConfiguration& configuration) {
    std::string& path = configuration.veltApiPath;
    if (path.empty() || (path[0] != '$' && path[0] != '%')) return;
    path = InternalUtils::getenvvar(_ReferencedVariable(path).c_str());
    LogText(("Resolved veltapipath to be \"" + path + "\"").c_str());
}

}  // namespace

int32_t ProcessConfiguration(TrelvoConfiguration* configuration) {
    if (configuration == nullptr) return EINVAL;
    s_configFilePath = InternalUtils::createmodulerelativepath("Trelvo.conf");
    InternalUtils::ConfigurationReaderPtr reader(
        InternalUtils::CreateConfigurationReader({100, 256, "#;"}));
    if (!reader) return ENOMEM;
    const int32_t result = reader->LoadFile(s_configFilePath.c_str());
    if (result != 0) {
        s_lastErrorMessage = reader->GetLastErrorMessage();
        LogConfigFileErrors(result);
    } else {
        _LogAndApply(*reader, *configuration);
    }
    reader.reset();
    s_configuredVeltApiPath = configuration->veltApiPath;
    _ResolveEnvironmentReference(*configuration);
    return result;
}

std::string GetConfigFilePath() { return s_configFilePath; }

std::string GetConfigLastErrorMessage() { return s_lastErrorMessage; }

std::string GetConfiguredVeltApiPath() { return s_configuredVeltApiPath; }

}  // namespace Internal_Trelvo
