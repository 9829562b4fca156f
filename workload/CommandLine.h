// CommandLine: what the workload generator's positional arguments select.
//
//   (none)                  k = 16, k_star = 16, type "csbtree"
//   type                    k = 16, k_star = 16, the given type
//   k k_star type           the given values
//   2, or 4 and more args   the defaults; the arguments are ignored
//
// k and k_star must be an optional '-' followed by decimal digits, within the signed
// 32-bit range. The type is not checked here; the caller compares it exactly.
#ifndef WORKLOAD_COMMAND_LINE_H_
#define WORKLOAD_COMMAND_LINE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace test {

struct CommandLine {
  static constexpr int32_t kDefaultK = 16;
  static constexpr int32_t kDefaultKStar = 16;

  int32_t k = kDefaultK;
  int32_t k_star = kDefaultKStar;
  std::string type = "csbtree";

  // The selection, or a one-line description of the first bad argument.
  static std::variant<CommandLine, std::string> parse(const std::vector<std::string>& args);
};

// Parses an optional '-' followed by one or more decimal digits into a signed 32-bit value.
// Anything else ("", "+5", " 5", "1x", out of range) gives no value.
std::optional<int32_t> parseInt32(std::string_view text);

}  // namespace test

#endif  // WORKLOAD_COMMAND_LINE_H_
