#include "workload/CommandLine.h"

#include <charconv>

namespace test {

std::optional<int32_t> parseInt32(std::string_view text) {
  const size_t firstDigit = (!text.empty() && text.front() == '-') ? 1 : 0;
  if (text.size() == firstDigit)
    return std::nullopt;
  for (char c : text.substr(firstDigit)) {
    if (c < '0' || c > '9')
      return std::nullopt;
  }
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
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
