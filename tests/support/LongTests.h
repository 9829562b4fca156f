// longTestsRequested: whether MAPBENCH_LONG_TESTS=1 asks the randomised tests for their
// long run (more seeds and operations; minutes instead of seconds).
#ifndef TESTS_SUPPORT_LONG_TESTS_H_
#define TESTS_SUPPORT_LONG_TESTS_H_

#include <cstdlib>
#include <string_view>

namespace test {

inline bool longTestsRequested() {
  const char* flag = std::getenv("MAPBENCH_LONG_TESTS");
  return flag != nullptr && std::string_view(flag) == "1";
}

}  // namespace test

#endif  // TESTS_SUPPORT_LONG_TESTS_H_
