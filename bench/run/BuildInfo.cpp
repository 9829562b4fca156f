#include "bench/run/BuildInfo.h"

namespace bench {

std::string compilerDescription() {
  // clang defines __GNUC__ too: ask for it first.
#if defined(__clang__)
  return "clang++ " + std::to_string(__clang_major__) + "." + std::to_string(__clang_minor__) +
         "." + std::to_string(__clang_patchlevel__);
#elif defined(__GNUC__)
  return "g++ " + std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) + "." +
         std::to_string(__GNUC_PATCHLEVEL__);
#else
  return "unknown";
#endif
}

}  // namespace bench
