// ParseDecimal: reads a whole command-line word as a decimal integer of a given type.
//
// A value is an optional '-' (signed types only) followed by one or more decimal digits, and
// nothing else: no sign '+', no spaces, no "0x" prefix. Leading zeros are allowed and change
// nothing ("010" is ten, never eight). Anything else, and a value outside the type's range,
// gives no value. Header-only, so that every program's command line can use it; no state.
#ifndef WORKLOAD_PARSE_DECIMAL_H_
#define WORKLOAD_PARSE_DECIMAL_H_

#include <charconv>
#include <concepts>
#include <optional>
#include <string_view>

namespace test {

template <std::integral Integer>
std::optional<Integer> parseDecimal(std::string_view text) {
  Integer value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
  if (text.empty() || error != std::errc() || stop != end)
    return std::nullopt;
  return value;
}

}  // namespace test

#endif  // WORKLOAD_PARSE_DECIMAL_H_
