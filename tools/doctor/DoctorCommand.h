// The trelvo-doctor command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace TrelvoDoctor {

// Exit status of a command line that could not be understood.
inline constexpr int kUsageError = 4;

// Runs the doctor with the arguments that follow the program name, writes
// the report to out and complaints to err, and returns the exit status: the
// verdict's value (see Verdict), or kUsageError.
int RunDoctor(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace TrelvoDoctor
