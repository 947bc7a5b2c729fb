#include "tools/doctor/Report.h"

#include <cstdio>
#include <iomanip>
#include <optional>

namespace TrelvoDoctor {
namespace {

using Internal_Trelvo::SearchStep;

const char* _StepLabel(SearchStep step) {
    switch (step) {
        case SearchStep::kConfiguredDirectory: return "configured directory";
        case SearchStep::kBesideLibrary: return "beside the library";
        case SearchStep::kCurrentDirectory: return "current directory";
        case SearchStep::kVeltPath: return "VELT_PATH";
        case SearchStep::kPravik: return "Pravik";
        case SearchStep::kFenra: return "FENRA";
    }
    return "?";
}

const char* _VerdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::kUsable: return "a usable implementation was found";
        case Verdict::kNotFound: return "no implementation library was found";
        case Verdict::kUnusable: return "an implementation library was found but cannot be used";
        case Verdict::kNotDiagnosed: return "nothing could be diagnosed";
    }
    return "?";
}

std::string _Hex(uint32_t code) {
    char text[11];
    snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(code));
    return text;
}

std::string _Quoted(const std::string& text) { return "\"" + text + "\""; }

constexpr int kLabelWidth = 23;

class CTextReport {
public:
    CTextReport(const Diagnosis& diagnosis, std::ostream& out) : m_d(diagnosis), m_out(out) {}

    void Write() {
        _Field("Front end", m_d.frontEnd);
        if (!m_d.failure.empty()) {
            _Field("Cannot diagnose", m_d.failure);
        } else {
            _FrontEnd();
            _Configuration();
            _Search();
            _Implementation();
            _Initialization();
        }
        _Warnings();
        m_out << "\nResult: " << _VerdictText(m_d.verdict) << " (exit status "
              << static_cast<int>(m_d.verdict) << ")\n";
    }

private:
    void _Field(const char* label, const std::string& value) {
        m_out << std::left << std::setw(kLabelWidth) << (std::string(label) + ":") << value << '\n';
    }
    void _More(const std::string& value) { m_out << std::string(kLabelWidth, ' ') << value << '\n'; }

    void _FrontEnd() {
        _Field("Beside the library", m_d.libraryDirectory + "  (as the front end's search sees it)");
        if (m_d.debugLogWasOn) {
            _Field("Debug log", "on; switched off for this run, " + m_d.logFile +
                                    " is left as it was");
        } else {
            _Field("Debug log", "off");
        }
    }

    void _Configuration() {
        const ConfigurationReport& c = m_d.configuration;
        _Field("Configuration file", c.file);
        if (c.status == 0) {
            _More("read");
        } else {
            _More("not read (status " + std::to_string(c.status) + ")" +
                  (c.error.empty() ? std::string() : ": " + c.error));
        }
        _Field("  veltapipath", _Quoted(c.rawVeltApiPath) + ", resolved to " +
                                    _Quoted(c.veltApiPath));
        _Field("  ignoredefaultsearch", c.ignoreDefaultSearch ? "true" : "false");
    }

    static std::string _State(const Internal_Trelvo::SearchCandidate& candidate) {
        if (!candidate.path.empty()) return candidate.exists ? "found" : "not found";
        return candidate.step == SearchStep::kVeltPath ? "not set" : "no directory";
    }

    void _Search() {
        m_out << "\nSearch, in order:\n";
        bool reached = true;
        int number = 0;
        for (const CandidateReport& report : m_d.candidates) {
            const auto& candidate = report.candidate;
            m_out << "  " << ++number << ' ' << std::left << std::setw(22)
                  << _StepLabel(candidate.step) << std::setw(14) << _State(candidate)
                  << candidate.path;
            if (report.chosen) m_out << "  <- chosen";
            if (!candidate.searched) {
                m_out << "  (skipped: ignoredefaultsearch)";
            } else if (!reached) {
                m_out << "  (not reached)";
            }
            m_out << '\n';
            if (report.sharedInfo) {
                m_out << "      shared-info file " << report.sharedInfo->path
                      << (report.sharedInfo->exists ? "" : "  (missing)") << '\n';
            }
            reached = reached && !report.chosen;
        }
        m_out << '\n';
    }

    void _Implementation() {
        _Field("Chosen", m_d.found ? m_d.chosen : "none (last candidate " + m_d.chosen + ")");
        _Field("Front end reports", m_d.frontEndChoice ? *m_d.frontEndChoice : "none");
        if (!m_d.implementation) return;
        const ImplementationReport& implementation = *m_d.implementation;
        if (!implementation.loaded) {
            _Field("Mapped by the loader", "nothing: " + implementation.loadError);
            return;
        }
        _Field("Mapped by the loader",
               implementation.mappedPath +
                   (implementation.mappedByFrontEnd ? "  (the front end's own mapping)" : ""));
        m_out << "Entry points (R = required):\n";
        for (const EntryPointReport& entryPoint : implementation.entryPoints) {
            m_out << "  " << (entryPoint.required ? 'R' : ' ') << ' ' << std::left
                  << std::setw(38) << entryPoint.name
                  << (entryPoint.exported ? "exported" : "missing") << '\n';
        }
    }

    void _Initialization() {
        const InitializationReport& i = m_d.initialization;
        std::string text = "VELT_GetConnectionStatus returned " + _Hex(i.result);
        if (i.result == 0) {
            text += ", connection status " + std::to_string(i.connectionStatus);
        } else {
            text += ": " + i.error;
        }
        _Field("Initialization", text);
    }

    void _Warnings() {
        if (m_d.warnings.empty()) return;
        m_out << "\nWarnings:\n";
        for (const std::string& warning : m_d.warnings) m_out << "  ! " << warning << '\n';
    }

    const Diagnosis& m_d;
    std::ostream& m_out;
};

class CJsonWriter {
public:
    explicit CJsonWriter(std::ostream& out) : m_out(out) {}

    CJsonWriter& BeginObject() { return _Open('{'); }
    CJsonWriter& EndObject() { return _Close('}'); }
    CJsonWriter& BeginArray() { return _Open('['); }
    CJsonWriter& EndArray() { return _Close(']'); }

    CJsonWriter& Key(const char* name) {
        _Separate();
        _WriteString(name);
        m_out << ':';
        m_afterKey = true;
        return *this;
    }
    CJsonWriter& String(const std::string& text) {
        _Separate();
        _WriteString(text);
        return *this;
    }
    // null for an empty text.
    CJsonWriter& StringOrNull(const std::string& text) {
        return text.empty() ? Null() : String(text);
    }
    CJsonWriter& OptionalString(const std::optional<std::string>& text) {
        return text ? String(*text) : Null();
    }
    CJsonWriter& Bool(bool value) { return _Raw(value ? "true" : "false"); }
    CJsonWriter& Number(long long value) { return _Raw(std::to_string(value)); }
    CJsonWriter& Null() { return _Raw("null"); }

private:
    void _Separate() {
        if (!m_afterKey && !m_first) m_out << ',';
        m_afterKey = false;
        m_first = false;
    }
    CJsonWriter& _Open(char bracket) {
        _Separate();
        m_out << bracket;
        m_first = true;
        return *this;
    }
    CJsonWriter& _Close(char bracket) {
        m_out << bracket;
        m_first = false;
        return *this;
    }
    CJsonWriter& _Raw(const std::string& token) {
        _Separate();
        m_out << token;
        return *this;
    }
    void _WriteString(const std::string& text) {
        m_out << '"';
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                m_out << '\\' << c;
            } else if (byte < 0x20) {
                char escaped[7];
                snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                m_out << escaped;
            } else {
                m_out << c;
            }
        }
        m_out << '"';
    }

    std::ostream& m_out;
    bool m_first = true;
    bool m_afterKey = false;
};

void _JsonConfiguration(const ConfigurationReport& c, CJsonWriter& json) {
    json.Key("configuration").BeginObject();
    json.Key("file").String(c.file);
    json.Key("read").Bool(c.status == 0);
    json.Key("status").Number(c.status);
    json.Key("error").StringOrNull(c.error);
    json.Key("veltapipath").BeginObject();
    json.Key("raw").String(c.rawVeltApiPath);
    json.Key("resolved").String(c.veltApiPath);
    json.EndObject();
    json.Key("ignoredefaultsearch").Bool(c.ignoreDefaultSearch);
    json.EndObject();
}

void _JsonCandidates(const std::vector<CandidateReport>& candidates, CJsonWriter& json) {
    json.Key("candidates").BeginArray();
    for (const CandidateReport& report : candidates) {
        json.BeginObject();
        json.Key("step").String(StepName(report.candidate.step));
        json.Key("path").StringOrNull(report.candidate.path);
        json.Key("exists").Bool(report.candidate.exists);
        json.Key("searched").Bool(report.candidate.searched);
        json.Key("chosen").Bool(report.chosen);
        if (report.sharedInfo) {
            json.Key("sharedInfo").BeginObject();
            json.Key("path").String(report.sharedInfo->path);
            json.Key("exists").Bool(report.sharedInfo->exists);
            json.EndObject();
        }
        json.EndObject();
    }
    json.EndArray();
}

void _JsonImplementation(const std::optional<ImplementationReport>& implementation,
                         CJsonWriter& json) {
    json.Key("implementation");
    if (!implementation) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.Key("loaded").Bool(implementation->loaded);
    json.Key("mappedByFrontEnd").Bool(implementation->mappedByFrontEnd);
    json.Key("mappedPath").StringOrNull(implementation->mappedPath);
    json.Key("loadError").StringOrNull(implementation->loadError);
    json.Key("entryPoints").BeginArray();
    for (const EntryPointReport& entryPoint : implementation->entryPoints) {
        json.BeginObject();
        json.Key("name").String(entryPoint.name);
        json.Key("required").Bool(entryPoint.required);
        json.Key("exported").Bool(entryPoint.exported);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

void _JsonInitialization(const InitializationReport& i, CJsonWriter& json) {
    json.Key("initialization").BeginObject();
    json.Key("result").Number(i.result);
    json.Key("resultHex").String(_Hex(i.result));
    json.Key("connectionStatus");
    i.result == 0 ? json.Number(i.connectionStatus) : json.Null();
    json.Key("error").StringOrNull(i.error);
    json.EndObject();
}

void _JsonDiagnosed(const Diagnosis& d, CJsonWriter& json) {
    json.Key("libraryDirectory").String(d.libraryDirectory);
    _JsonConfiguration(d.configuration, json);
    _JsonCandidates(d.candidates, json);
    json.Key("found").Bool(d.found);
    json.Key("chosen").OptionalString(d.found ? std::optional(d.chosen) : std::nullopt);
    json.Key("lastCandidate").String(d.chosen);
    json.Key("frontEndChoice").OptionalString(d.frontEndChoice);
    _JsonImplementation(d.implementation, json);
    _JsonInitialization(d.initialization, json);
}

}  // namespace

const char* StepName(SearchStep step) {
    switch (step) {
        case SearchStep::kConfiguredDirectory: return "configuredDirectory";
        case SearchStep::kBesideLibrary: return "besideLibrary";
        case SearchStep::kCurrentDirectory: return "currentDirectory";
        case SearchStep::kVeltPath: return "veltPath";
        case SearchStep::kPravik: return "pravik";
        case SearchStep::kFenra: return "fenra";
    }
    return "?";
}

void WriteTextReport(const Diagnosis& diagnosis, std::ostream& out) {
    CTextReport(diagnosis, out).Write();
}

void WriteJsonReport(const Diagnosis& d, std::ostream& out) {
    CJsonWriter json(out);
    json.BeginObject();
    json.Key("frontEnd").String(d.frontEnd);
    json.Key("companion").String(d.companion);
    json.Key("failure").StringOrNull(d.failure);
    json.Key("debugLog").BeginObject();
    json.Key("wasOn").Bool(d.debugLogWasOn);
    json.Key("file").StringOrNull(d.logFile);
    json.EndObject();
    if (d.failure.empty()) _JsonDiagnosed(d, json);
    json.Key("warnings").BeginArray();
    for (const std::string& warning : d.warnings) json.String(warning);
    json.EndArray();
    json.Key("usable").Bool(d.verdict == Verdict::kUsable);
    json.Key("exitStatus").Number(static_cast<int>(d.verdict));
    json.EndObject();
    out << '\n';
}

}  // namespace TrelvoDoctor
