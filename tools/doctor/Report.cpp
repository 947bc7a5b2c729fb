// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <iomanip>

#include "tools/doctor/Doctor.h"

namespace TrelvoDoctor {
namespace {

// Texts that the JSON writes as null are empty here.
std::string _Text(const Diagnosis& value) {
    return value.is_null() ? "" : value.get<std::string>();
}

void _Field(std::ostream& out, const std::string& label, const std::string& value) {
    out << std::left << std::setw(23) << (label.empty() ? "" : label + ":") << value << '\n';
}

const char* _Label(const Diagnosis& candidate) {
    const StepNames* names =
        FindStepNames([&](const StepNames& row) { return candidate["step"] == row.name; });
    return names != nullptr ? names->label : "?";
}

const char* _State(const Diagnosis& candidate) {
    if (!candidate["path"].is_null()) return candidate["exists"] ? "found" : "not found";
    return candidate["step"] == "veltPath" ? "not set" : "no directory";
}

void _Search(const Diagnosis& candidates, std::ostream& out) {
    out << "\nSearch, in order:\n";
    bool reached = true;
    int number = 0;
    for (const Diagnosis& candidate : candidates) {
        const bool chosen = candidate["chosen"];
        out << "  " << ++number << ' ' << std::left << std::setw(22) << _Label(candidate)
            << std::setw(14) << _State(candidate) << _Text(candidate["path"])
            << (chosen ? "  <- chosen" : "")
            << (!candidate["searched"] ? "  (skipped: ignoredefaultsearch)"
                : reached              ? ""
                                       : "  (not reached)")
            << '\n';
        if (candidate.contains("sharedInfo")) {
            out << "      shared-info file " << _Text(candidate["sharedInfo"]["path"])
                << (candidate["sharedInfo"]["exists"] ? "" : "  (missing)") << '\n';
        }
        reached = reached && !chosen;
    }
    out << '\n';
}

void _Implementation(const Diagnosis& implementation, std::ostream& out) {
    if (!implementation["loaded"]) {
        return _Field(out, "Mapped by the loader",
                      "nothing: " + _Text(implementation["loadError"]));
    }
    _Field(out, "Mapped by the loader",
           _Text(implementation["mappedPath"]) +
               (implementation["mappedByFrontEnd"] ? "  (the front end's own mapping)" : ""));
    out << "Entry points (R = required):\n";
    for (const Diagnosis& entryPoint : implementation["entryPoints"]) {
        out << "  " << (entryPoint["required"] ? 'R' : ' ') << ' ' << std::left << std::setw(38)
            << _Text(entryPoint["name"]) << (entryPoint["exported"] ? "exported" : "missing")
            << '\n';
    }
}

std::string _CallTrace(const Diagnosis& trace) {
    if (trace["variable"].is_null()) return "off (TRELVOTRACE unset)";
    const std::string file = _Text(trace["file"]);
    if (!trace["problem"].is_null()) {
        return "refused: " + file + ": " + _Text(trace["problem"]) + "; calls are not traced";
    }
    const bool perProcess = _Text(trace["variable"]).find("%p") != std::string::npos;
    return "on, " + _Text(trace["format"]) + ", to " + file +
           (perProcess ? "  (%p is each process's id; here this one's)" : "");
}

void _Diagnosed(const Diagnosis& d, std::ostream& out) {
    _Field(out, "Beside the library",
           _Text(d["libraryDirectory"]) + "  (as the front end's search sees it)");
    _Field(out, "Debug log",
           d["debugLog"]["wasOn"] ? "on; switched off for this run, " +
                                        _Text(d["debugLog"]["file"]) + " is left as it was"
                                  : "off");
    _Field(out, "Call trace", _CallTrace(d["callTrace"]));
    const Diagnosis& c = d["configuration"];
    _Field(out, "Configuration file", _Text(c["file"]));
    _Field(out, "",
           c["read"] ? "read"
                     : "not read (status " + c["status"].dump() + ")" +
                           (c["error"].is_null() ? "" : ": " + _Text(c["error"])));
    _Field(out, "  veltapipath",
           "\"" + _Text(c["veltapipath"]["raw"]) + "\", resolved to \"" +
               _Text(c["veltapipath"]["resolved"]) + "\"");
    _Field(out, "  ignoredefaultsearch", c["ignoredefaultsearch"].dump());
    _Search(d["candidates"], out);
    _Field(out, "Chosen",
           d["found"] ? _Text(d["chosen"])
                      : "none (last candidate " + _Text(d["lastCandidate"]) + ")");
    _Field(out, "Front end reports",
           d["frontEndChoice"].is_null() ? "none" : _Text(d["frontEndChoice"]));
    if (!d["implementation"].is_null()) _Implementation(d["implementation"], out);
    const Diagnosis& i = d["initialization"];
    _Field(out, "Initialization",
           "VELT_GetConnectionStatus returned " + _Text(i["resultHex"]) +
               (i["result"] == 0 ? ", connection status " + i["connectionStatus"].dump()
                                 : ": " + _Text(i["error"])));
}

}  // namespace

void WriteTextReport(const Diagnosis& d, std::ostream& out) {
    _Field(out, "Front end", _Text(d["frontEnd"]));
    if (d["failure"].is_null()) {
        _Diagnosed(d, out);
    } else {
        _Field(out, "Cannot diagnose", _Text(d["failure"]));
    }
    if (!d["warnings"].empty()) out << "\nWarnings:\n";
    for (const Diagnosis& warning : d["warnings"]) out << "  ! " << _Text(warning) << '\n';
    for (const ExitStatus& status : kExitStatuses) {
        if (d["exitStatus"] == status.code) {
            out << "\nResult: " << status.result << " (exit status " << status.code << ")\n";
        }
    }
}

void WriteJsonReport(const Diagnosis& diagnosis, std::ostream& out) {
    out << diagnosis.dump(-1, ' ', false, Diagnosis::error_handler_t::replace) << '\n';
}

}  // namespace TrelvoDoctor
