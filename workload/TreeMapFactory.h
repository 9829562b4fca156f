// TreeMapFactory: turns the command line's type word into the tree map to benchmark.
//
// A factory returns no value for a type it does not know. A tree constructor that refuses
// its parameters throws std::invalid_argument, which the factory lets through.
#ifndef WORKLOAD_TREE_MAP_FACTORY_H_
#define WORKLOAD_TREE_MAP_FACTORY_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "maps/Map.h"

namespace test {

struct TreeMapChoice {
  std::unique_ptr<util::Map> map;
  // Qualified class name printed in the timing report, e.g. "util.BTreeMap".
  std::string className;
};

using TreeMapFactory =
    std::function<std::optional<TreeMapChoice>(const std::string& type, int32_t k, int32_t k_star)>;

// The program's own factory: "btree" and "csbtree", compared exactly.
std::optional<TreeMapChoice> createTreeMap(const std::string& type, int32_t k, int32_t k_star);

}  // namespace test

#endif  // WORKLOAD_TREE_MAP_FACTORY_H_
