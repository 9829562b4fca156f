// printable: text from a file or a command line made safe to quote in a one-line message.
//
// Control bytes, bytes beyond ASCII, quotes and backslashes become \xNN, so that a quoted
// line can neither break the message in two nor send escape sequences to a terminal; text
// beyond `limit` bytes is cut and ends in "...". A plain function; thread-safe.
#ifndef UTIL_PRINTABLE_H_
#define UTIL_PRINTABLE_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace util {

inline std::string printable(std::string_view text, size_t limit = 40) {
  std::string out;
  for (const char c : text.substr(0, limit)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f || c == '\'' || c == '"' || c == '\\') {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      out += code;
    } else {
      out += c;
    }
  }
  return text.size() > limit ? out + "..." : out;
}

}  // namespace util

#endif  // UTIL_PRINTABLE_H_
