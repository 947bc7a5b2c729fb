#include "tools/doctor/DoctorCommand.h"

#include <sys/stat.h>

#include <optional>

#include "tools/doctor/Diagnosis.h"
#include "tools/doctor/Report.h"

namespace TrelvoDoctor {
namespace {

constexpr char kUsage[] = R"(Usage: trelvo-doctor [--library PATH] [--json]

Tells which VELT API implementation libTrelvo_aarch64.so will use, and why:
its configuration file, every place its search looks, the file the dynamic
loader maps, the entry points that file exports, and what the front end's
initialization makes of it. Run it in the directory and with the environment
of the program in question: the current directory and VELT_PATH take part in
the search. The debug log is switched off for the run, so Trelvo.log is left
as it was.

  --library PATH  the front end to examine (default: libTrelvo_aarch64.so
                  beside this program, else in its installation's library
                  directory); its companion libTrelvoDoctorProbe_aarch64.so
                  must lie beside it
  --json          one JSON object instead of the text report
  --help          this text

Exit status:
  0  a usable implementation: the front end initialized with it
  1  no implementation library was found
  2  one was found but cannot be used (it cannot be loaded, or lacks
     required entry points)
  3  nothing could be diagnosed: the front end or its companion is missing
     or cannot be loaded
  4  the command line was not understood
)";

struct _Options {
    std::optional<std::string> library;
    bool json = false;
    bool help = false;
};

// Empty text on success; otherwise what was wrong.
std::string _Parse(const std::vector<std::string>& arguments, _Options& options) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--json") {
            options.json = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--library") {
            if (++i == arguments.size()) return "--library needs a path";
            options.library = arguments[i];
        } else if (argument.rfind("--library=", 0) == 0) {
            options.library = argument.substr(sizeof "--library=" - 1);
        } else {
            return "unknown argument: " + argument;
        }
    }
    return std::string();
}

bool _Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::optional<std::string> _DefaultFrontEnd(std::ostream& err) {
    const std::vector<std::string> candidates = DefaultFrontEndCandidates();
    for (const std::string& candidate : candidates) {
        if (_Exists(candidate)) return candidate;
    }
    err << "trelvo-doctor: no front end found; looked for";
    for (const std::string& candidate : candidates) err << ' ' << candidate;
    err << "\nName one with --library PATH.\n";
    return std::nullopt;
}

}  // namespace

int RunDoctor(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    _Options options;
    const std::string problem = _Parse(arguments, options);
    if (!problem.empty()) {
        err << "trelvo-doctor: " << problem << "\n\n" << kUsage;
        return kUsageError;
    }
    if (options.help) {
        out << kUsage;
        return 0;
    }
    const std::optional<std::string> frontEnd =
        options.library ? options.library : _DefaultFrontEnd(err);
    if (!frontEnd) return static_cast<int>(Verdict::kNotDiagnosed);
    const Diagnosis diagnosis = Diagnose(*frontEnd);
    if (options.json) {
        WriteJsonReport(diagnosis, out);
    } else {
        WriteTextReport(diagnosis, out);
    }
    return static_cast<int>(diagnosis.verdict);
}

}  // namespace TrelvoDoctor
