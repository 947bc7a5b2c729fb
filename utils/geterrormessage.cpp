#include "utils/text.h"

#include <cstring>

namespace InternalUtils {

std::string geterrormessage(int error) { return strerror(error); }

}  // namespace InternalUtils
