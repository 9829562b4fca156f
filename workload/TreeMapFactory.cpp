#include "workload/TreeMapFactory.h"

namespace test {

std::optional<TreeMapChoice> createTreeMap(const std::string& type, int32_t k, int32_t k_star) {
  (void)type;
  (void)k;
  (void)k_star;
  return std::nullopt;
}

}  // namespace test
