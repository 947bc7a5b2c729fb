#include "utils/files.h"

namespace InternalUtils {

bool fileexists(const char* path) { return direxists(path); }

}  // namespace InternalUtils
