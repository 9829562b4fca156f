#include "workload/TreeMapFactory.h"

#include "maps/BTreeMap.h"
#include "maps/CSBTreeMap.h"

namespace test {

std::optional<TreeMapChoice> createTreeMap(const std::string& type, int32_t k, int32_t k_star) {
  if (type == "btree") {
    return TreeMapChoice{std::make_unique<util::BTreeMap>(k, k_star), "util.BTreeMap"};
  }
  if (type == "csbtree") {
    return TreeMapChoice{std::make_unique<util::CSBTreeMap>(k, k_star), "util.CSBTreeMap"};
  }
  return std::nullopt;
}

}  // namespace test
