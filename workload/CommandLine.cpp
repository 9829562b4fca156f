#include "workload/CommandLine.h"

#include "workload/ParseDecimal.h"

namespace test {

std::optional<int32_t> parseInt32(std::string_view text) {
  return parseDecimal<int32_t>(text);
}

std::variant<CommandLine, std::string> CommandLine::parse(const std::vector<std::string>& args) {
  CommandLine line;
  if (args.size() == 1) {
    line.type = args[0];
  } else if (args.size() == 3) {
    const char* names[] = {"k", "k_star"};
    int32_t* targets[] = {&line.k, &line.k_star};
    for (size_t i = 0; i < 2; ++i) {
      const std::optional<int32_t> value = parseInt32(args[i]);
      if (!value) {
        return std::string("invalid ") + names[i] + " '" + args[i] +
               "': expected a decimal integer from -2147483648 to 2147483647";
      }
      *targets[i] = *value;
    }
    line.type = args[2];
  }
  return line;
}

}  // namespace test
