// Node names in graph and text output carry identity numbers, which depend on what else the
// process has printed. canonicalNodeNames renumbers them by first appearance (nodeX1,
// nodeX2, ...) so that tests can compare whole texts.
#ifndef TESTS_SUPPORT_NODE_NAMES_H_
#define TESTS_SUPPORT_NODE_NAMES_H_

#include <cctype>
#include <map>
#include <string>

namespace test {

inline std::string canonicalNodeNames(const std::string& text) {
  static const std::string kPrefix = "nodeX";
  std::map<std::string, int> numbers;
  std::string result;
  size_t pos = 0;
  for (size_t found; (found = text.find(kPrefix, pos)) != std::string::npos;) {
    size_t end = found + kPrefix.size();
    if (end < text.size() && text[end] == '-')
      ++end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
      ++end;
    const std::string number = text.substr(found + kPrefix.size(), end - found - kPrefix.size());
    const auto entry = numbers.emplace(number, static_cast<int>(numbers.size()) + 1).first;
    result.append(text, pos, found - pos);
    result += kPrefix + std::to_string(entry->second);
    pos = end;
  }
  result.append(text, pos);
  return result;
}

}  // namespace test

#endif  // TESTS_SUPPORT_NODE_NAMES_H_
