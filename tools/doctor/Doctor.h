// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// trelvo-doctor: what it learns about one front end and how it tells it.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "api/Internal_GetAPILibraryName.h"

namespace TrelvoDoctor {

// A verdict, which is also the program's exit status.
struct ExitStatus {
    int code;
    const char* result;   // the closing words of the report
    const char* meaning;  // more for the usage text, or null
};
inline constexpr ExitStatus kUsable{0, "a usable implementation was found",
                                    "the front end initialized with it"};
inline constexpr ExitStatus kNotFound{1, "no implementation library was found", nullptr};
inline constexpr ExitStatus kUnusable{2, "an implementation library was found but cannot be used",
                                      "it cannot be loaded, or lacks required entry points"};
inline constexpr ExitStatus kNotDiagnosed{
    3, "nothing could be diagnosed",
    "the front end or its companion is missing or cannot be loaded"};
inline constexpr ExitStatus kUsageError{4, "the command line was not understood", nullptr};
inline constexpr ExitStatus kExitStatuses[] = {kUsable, kNotFound, kUnusable, kNotDiagnosed,
                                               kUsageError};

// The names of the search's steps, in the JSON and in the text.
struct StepNames {
    Internal_Trelvo::SearchStep step;
    const char* name;
    const char* label;
};
inline constexpr StepNames kStepNames[] = {
    {Internal_Trelvo::SearchStep::kConfiguredDirectory, "configuredDirectory",
     "configured directory"},
    {Internal_Trelvo::SearchStep::kBesideLibrary, "besideLibrary", "beside the library"},
    {Internal_Trelvo::SearchStep::kCurrentDirectory, "currentDirectory", "current directory"},
    {Internal_Trelvo::SearchStep::kVeltPath, "veltPath", "VELT_PATH"},
    {Internal_Trelvo::SearchStep::kPravik, "pravik", "Pravik"},
    {Internal_Trelvo::SearchStep::kFenra, "fenra", "FENRA"},
};

// The row of kStepNames that matches, by step or by name; null for none.
template <typename Matches>
const StepNames* FindStepNames(Matches matches) {
    for (const StepNames& names : kStepNames) {
        if (matches(names)) return &names;
    }
    return nullptr;
}

// A diagnosis is the object that --json prints; its members, in order (null
// for an empty text): frontEnd, companion; failure (why nothing could be
// diagnosed; when set, only debugLog, callTrace, warnings, usable and
// exitStatus follow); debugLog {wasOn, file}; callTrace {variable, file (with
// %p as the doctor's id), format ("text" or "json"), problem (why it cannot
// be written)}, all null with TRELVOTRACE unset; libraryDirectory ("beside the library" to
// the front end); configuration {file, read, status, error, veltapipath {raw,
// resolved}, ignoredefaultsearch}; candidates, the search's steps in order
// [{step, path, exists, searched, chosen, sharedInfo {path, exists} for the
// installed products}]; found, chosen (null unless found), lastCandidate;
// frontEndChoice (Trelvo_GetVeltApiImplementationPath); implementation
// (null unless found) {loaded, mappedByFrontEnd, mappedPath, loadError,
// entryPoints [{name, required, exported}]}; initialization, of the forwarded
// VELT_GetConnectionStatus {result, resultHex, connectionStatus, error};
// warnings; usable; exitStatus.
using Diagnosis = nlohmann::ordered_json;

// The companion library links the front end's internals and lies beside it,
// so that its code finds "beside the library" where the front end does.
inline constexpr char kProbeFileName[] = "libTrelvoDoctorProbe_aarch64.so";
inline constexpr char kProbeEntrySymbol[] = "trelvo_doctor_probe";
// What both sides must share for a Diagnosis to cross between them: the
// table's revision (raise it whenever ProbeTable changes) and the version of
// the JSON library, which lays Diagnosis out.
struct ProbeLayout {
    unsigned table, jsonMajor, jsonMinor, jsonPatch;
};
inline constexpr ProbeLayout kProbeLayout{2, NLOHMANN_JSON_VERSION_MAJOR,
                                          NLOHMANN_JSON_VERSION_MINOR, NLOHMANN_JSON_VERSION_PATCH};
struct ProbeTable {
    // Checked before anything else is used: the size refuses a table of
    // another shape, an older companion's among them, before layout is read;
    // layout (kProbeLayout in its build) refuses one that may lay the
    // Diagnosis out otherwise.
    size_t size;
    ProbeLayout layout;
    // Adds the front end's side: log file, library directory, configuration,
    // candidates and the search's result.
    void (*Search)(Diagnosis& diagnosis);
    // Sets the implementation, as the loader maps the chosen path for the front end.
    void (*Inspect)(Diagnosis& diagnosis);
};
using ProbeEntry = const ProbeTable* (*)();

// Loads the front end at frontEnd (a bare name means one in the current
// directory) and its companion for good, with the debug log switched off in
// this process's environment. The front end reads its configuration once per
// process, so diagnose once per process.
Diagnosis Diagnose(const std::string& frontEnd);

void WriteTextReport(const Diagnosis& diagnosis, std::ostream& out);
// On one line. Bytes of a text that are not UTF-8 become U+FFFD, as JSON
// requires.
void WriteJsonReport(const Diagnosis& diagnosis, std::ostream& out);

// The directory of this program's file, from the first of these paths that
// names an existing file: selfLink (/proc/self/exe, absent in some containers
// and chroots), the path the program was executed by (AT_EXECFN), and argv[0]
// when it holds a slash. Null stands for a path not given. Empty when none
// serves.
std::string ProgramDirectory(const char* selfLink, const char* executedPath, const char* invokedAs);

// Runs the doctor with the arguments that follow the program name, writes
// the report to out and complaints to err; returns the exit status. Without
// --library it looks for the front end from programDirectory (empty when
// unknown).
int RunDoctor(const std::vector<std::string>& arguments, const std::string& programDirectory,
              std::ostream& out, std::ostream& err);

}  // namespace TrelvoDoctor
