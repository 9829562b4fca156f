#include "util/KeySearch.h"

#include <stdexcept>
#include <string>

namespace util {

int32_t checkedLeftmostSearch(std::span<const int32_t> a, int32_t key, int32_t low, int32_t high,
                              const char* caller) {
  const auto size = static_cast<int64_t>(a.size());
  const bool validRange = low <= high ? low >= 0 && high < size : low >= 0 && low <= size;
  if (!validRange) {
    throw std::out_of_range(std::string(caller) + ": range " + std::to_string(low) + " .. " +
                            std::to_string(high) + " outside an array of " + std::to_string(size));
  }
  return leftmostSearch(a.data(), key, low, high);
}

}  // namespace util
