#include "util/IOError.h"

namespace util {

IOError::IOError(const std::string& message) : std::runtime_error(message) {}

}  // namespace util
