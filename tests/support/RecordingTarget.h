// A recording target for generateOperations and the operation mixes the workload tests use.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "workload/OperationStream.h"

namespace test {

// Every operation the stream issues, as text.
struct RecordingTarget {
  void insert(int32_t key, int32_t value) {
    log.push_back("insert " + std::to_string(key) + " " + std::to_string(value));
    inserted.push_back(key);
  }
  void erase(int32_t key) { log.push_back("erase " + std::to_string(key)); }
  void pointQuery(int32_t key) {
    log.push_back("point " + std::to_string(key));
    queried.push_back(key);
  }
  void rangeQuery(int32_t lowKey, int32_t highKey) {
    log.push_back("range " + std::to_string(lowKey) + " " + std::to_string(highKey));
    ranges.push_back({lowKey, highKey});
  }

  std::vector<std::string> log;
  std::vector<int32_t> inserted;
  std::vector<int32_t> queried;
  std::vector<std::pair<int32_t, int32_t>> ranges;
};

constexpr OperationMix kInsertsOnly{0.0, 0.0, 0.0};
constexpr OperationMix kRangesOnly{1.0, 1.0, 0.0};
constexpr OperationMix kPointsOnly{1.0, 0.0, 0.0};
constexpr OperationMix kMixed{0.7, 0.6, 0.5};

}  // namespace test
