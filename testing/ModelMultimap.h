// ModelMultimap: the reference a tree is checked against in differential tests.
//
// std::multimap keeps equal keys in insertion order, which is exactly the order in which a
// tree must deliver the values of one key. Lookups return the values a correct tree pushes.
#ifndef TESTS_SUPPORT_MODEL_MULTIMAP_H_
#define TESTS_SUPPORT_MODEL_MULTIMAP_H_

#include <cstdint>
#include <map>
#include <vector>

namespace test {

class ModelMultimap {
 public:
  void add(int32_t key, int32_t value) { entries_.emplace(key, value); }

  // Removes every mapping of `key`.
  void removeAll(int32_t key) { entries_.erase(key); }

  // Removes the first stored mapping key -> value, if any.
  void removeOne(int32_t key, int32_t value) {
    auto [it, end] = entries_.equal_range(key);
    for (; it != end; ++it) {
      if (it->second == value) {
        entries_.erase(it);
        return;
      }
    }
  }

  std::vector<int32_t> get(int32_t key) const {
    std::vector<int32_t> values;
    auto [it, end] = entries_.equal_range(key);
    for (; it != end; ++it)
      values.push_back(it->second);
    return values;
  }

  // Values of all keys in [lowKey, highKey], ascending by key; nothing when lowKey > highKey.
  std::vector<int32_t> range(int32_t lowKey, int32_t highKey) const {
    std::vector<int32_t> values;
    if (lowKey > highKey)
      return values;
    const auto end = entries_.upper_bound(highKey);
    for (auto it = entries_.lower_bound(lowKey); it != end; ++it)
      values.push_back(it->second);
    return values;
  }

  int64_t size() const { return static_cast<int64_t>(entries_.size()); }

  const std::multimap<int32_t, int32_t>& entries() const { return entries_; }

 private:
  std::multimap<int32_t, int32_t> entries_;
};

}  // namespace test

#endif  // TESTS_SUPPORT_MODEL_MULTIMAP_H_
