#include "util/OutputStream.h"

namespace util {

OutputStream::~OutputStream() = default;

}  // namespace util
