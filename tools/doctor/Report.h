// A diagnosis written out: as text for people, as JSON for scripts. Both
// carry the same facts.
#pragma once

#include <ostream>

#include "tools/doctor/Diagnosis.h"

namespace TrelvoDoctor {

void WriteTextReport(const Diagnosis& diagnosis, std::ostream& out);

// One JSON object on one line. Text is written byte for byte, with the
// characters that JSON requires escaped; paths that are not UTF-8 stay so.
void WriteJsonReport(const Diagnosis& diagnosis, std::ostream& out);

// The JSON name of a search step, as WriteJsonReport writes it.
const char* StepName(Internal_Trelvo::SearchStep step);

}  // namespace TrelvoDoctor
