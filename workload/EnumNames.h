// Looking an enumerator up by the name its naming function gives it, for the words of the
// command line and of file formats.
#ifndef WORKLOAD_ENUM_NAMES_H_
#define WORKLOAD_ENUM_NAMES_H_

#include <cstddef>
#include <optional>
#include <string_view>

namespace test {

// The first of `all` whose name (nameOf) is `name`, or nothing.
template <class Enum, size_t N>
std::optional<Enum> enumOfName(std::string_view name, const Enum (&all)[N],
                               std::string_view (*nameOf)(Enum)) {
  for (Enum value : all) {
    if (nameOf(value) == name)
      return value;
  }
  return std::nullopt;
}

}  // namespace test

#endif  // WORKLOAD_ENUM_NAMES_H_
