// BuildInfo: what this program was built from, for the context of its results.
//
// buildCommit() is the commit checked out when the program was last built: it is read at
// build time (cmake/WriteBuildCommit.cmake), not when CMake configured the build folder, so a
// rebuild after a new commit names the new one. compilerDescription() names the compiler
// that built this unit and its version, from the compiler's own predefined macros.
// Thread-safe: both return constants.
#ifndef BENCH_RUN_BUILD_INFO_H_
#define BENCH_RUN_BUILD_INFO_H_

#include <string>

namespace bench {

// The short hash of the commit, or "unknown" outside a git checkout.
const char* buildCommit();

// "g++ 12.2.0", "clang++ 14.0.6", or "unknown".
std::string compilerDescription();

}  // namespace bench

#endif  // BENCH_RUN_BUILD_INFO_H_
