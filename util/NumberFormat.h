// Number formatting shared by every report line of the programs.
//
// Integers are written in plain decimal (std::to_string does that). Doubles use
// formatDouble: the shortest decimal digits that read back as the same double, at least one
// digit after the point, plain notation for 0.001 <= |x| < 10,000,000 (and for zero),
// otherwise one digit, the point, the remaining digits, 'E' and the decimal exponent:
//   0.0625  2.0  0.7083333333333334  1.0E-4  2.5E-4  1.0E7  NaN  -Infinity
#ifndef UTIL_NUMBER_FORMAT_H_
#define UTIL_NUMBER_FORMAT_H_

#include <string>

namespace util {

std::string formatDouble(double value);

}  // namespace util

#endif  // UTIL_NUMBER_FORMAT_H_
