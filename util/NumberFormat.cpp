#include "util/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace util {

std::string formatDouble(double value) {
  if (std::isnan(value))
    return "NaN";
  if (std::isinf(value))
    return value > 0 ? "Infinity" : "-Infinity";
  if (value == 0.0)
    return std::signbit(value) ? "-0.0" : "0.0";

  // Shortest round-trip digits in the form [-]d[.ddd]e(+|-)xx.
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));

  const bool negative = text.front() == '-';
  const size_t ePos = text.find('e');
  std::string digits;
  for (char c : text.substr(negative ? 1 : 0, ePos - (negative ? 1 : 0))) {
    if (c != '.')
      digits.push_back(c);
  }
  const int exponent = std::atoi(std::string(text.substr(ePos + 1)).c_str());

  std::string out = negative ? "-" : "";
  const double magnitude = std::fabs(value);
  if (magnitude >= 1e-3 && magnitude < 1e7) {
    if (exponent >= 0) {
      const size_t integerDigits = static_cast<size_t>(exponent) + 1;
      if (digits.size() <= integerDigits) {
        out += digits;
        out.append(integerDigits - digits.size(), '0');
        out += ".0";
      } else {
        out += digits.substr(0, integerDigits);
        out += '.';
        out += digits.substr(integerDigits);
      }
    } else {
      out += "0.";
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += digits;
    }
  } else {
    out += digits[0];
    out += '.';
    out += digits.size() > 1 ? digits.substr(1) : "0";
    out += 'E';
    out += std::to_string(exponent);
  }
  return out;
}

}  // namespace util
