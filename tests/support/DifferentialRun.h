// runDifferential: one seeded stream of random operations sent to one or more subjects (a
// tree, its map adapter, a tree driven through its root node) and to the reference multimap,
// with every answer compared. Both trees' differential tests use it, so that they draw the
// same kinds of operations in the same phases and check them the same way.
//
// A subject offers add(key, value), removeAll(key), get(key, op), queryRange(low, high, op)
// and check(model), which compares its size, statistics and structure with the model and
// returns what disagrees, or nothing. removeOne(key, value) is optional: the stream removes
// single mappings only when every subject can. MapSubject adapts any util::Map.
//
// The stream grows the subjects, shrinks them (emptying leaves) and mixes, in phases of 500
// operations, and checks every subject now and then and at the end. Not thread-safe.
#ifndef TESTS_SUPPORT_DIFFERENTIAL_RUN_H_
#define TESTS_SUPPORT_DIFFERENTIAL_RUN_H_

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "maps/Map.h"
#include "testing/ModelMultimap.h"
#include "testing/RecordingOperator.h"
#include "tests/support/OperationGenerator.h"

namespace test {

struct DifferentialResult {
  int64_t compared = 0;                // operations done and found in agreement
  std::optional<std::string> failure;  // the first disagreement
};

// A util::Map as a subject: its four operations and its size.
template <class M>
class MapSubject {
 public:
  explicit MapSubject(M& map) : map_(map) {}
  void add(int32_t key, int32_t value) { map_.insert(key, value); }
  void removeAll(int32_t key) { map_.erase(key); }
  void get(int32_t key, util::IntPushOperator& op) { map_.pointQuery(key, op); }
  void queryRange(int32_t low, int32_t high, util::IntPushOperator& op) {
    map_.rangeQuery(low, high, op);
  }
  std::optional<std::string> check(const ModelMultimap& model) {
    if (map_.size() != model.size())
      return "size " + std::to_string(map_.size()) + ", expected " + std::to_string(model.size());
    return std::nullopt;
  }

 private:
  M& map_;
};

namespace differential {

template <class Subject>
concept RemovesOne = requires(Subject& s) {
  s.removeOne(0, 0);
};

inline std::string listOf(const std::vector<int32_t>& values) {
  std::string text = "[";
  for (size_t i = 0; i < values.size(); ++i)
    text += (i > 0 ? ", " : "") + std::to_string(values[i]);
  return text + "]";
}

// Asks `subject` through `ask` and compares: the values, one thatsallfolks, nothing after it.
template <class Subject, class Ask>
std::optional<std::string> compare(Subject& subject, Ask ask,
                                   const std::vector<int32_t>& expected) {
  RecordingOperator op;
  ask(subject, op);
  if (op.values != expected)
    return "values " + listOf(op.values) + ", expected " + listOf(expected);
  if (op.endCalls != 1)
    return std::to_string(op.endCalls) + " thatsallfolks calls";
  if (op.passedAfterEnd)
    return std::string("values after thatsallfolks");
  return std::nullopt;
}

}  // namespace differential

template <class... Subjects>
DifferentialResult runDifferential(KeyDomain domain, uint64_t seed, int32_t operations,
                                   Subjects&... subjects) {
  constexpr bool kRemoveOne = (differential::RemovesOne<Subjects> && ...);
  ModelMultimap model;
  OperationGenerator stream(domain, seed);
  DifferentialResult result;
  std::string what;
  // Runs `step` on each subject until one reports a disagreement, which names the subject
  // by its place among the arguments.
  auto onEach = [&](auto step) {
    int32_t index = 0;
    auto one = [&](auto& subject) {
      if (result.failure)
        return;
      if (std::optional<std::string> problem = step(subject))
        result.failure = "subject " + std::to_string(index) + ": " + *problem + " at " + what;
      ++index;
    };
    (one(subjects), ...);
  };
  auto checkAll = [&] { onEach([&](auto& s) { return s.check(model); }); };
  for (int32_t i = 0; i < operations && !result.failure; ++i) {
    const int32_t phase = (i / 500) % 3;
    const int32_t insertShare = phase == 0 ? 70 : phase == 1 ? 20 : 45;
    const int32_t dice = stream.between(0, 99);
    const int32_t key = stream.key();
    what = "operation " + std::to_string(i) + " on key " + std::to_string(key);
    if (dice < insertShare) {
      const int32_t value = stream.value();
      (subjects.add(key, value), ...);
      model.add(key, value);
    } else if (dice < insertShare + 10 || (!kRemoveOne && dice < insertShare + 25)) {
      (subjects.removeAll(key), ...);
      model.removeAll(key);
    } else if (dice < insertShare + 25) {
      if constexpr (kRemoveOne) {
        // Mostly a value the key holds, so that the removal finds something. The smallest
        // int as the value means every mapping of the key.
        const std::vector<int32_t> held = model.get(key);
        const int32_t value = held.empty() || stream.between(0, 3) == 0
                                  ? stream.value()
                                  : held[stream.between(0, static_cast<int32_t>(held.size()) - 1)];
        (subjects.removeOne(key, value), ...);
        if (value == std::numeric_limits<int32_t>::min())
          model.removeAll(key);
        else
          model.removeOne(key, value);
      }
    } else if (dice < insertShare + 40) {
      const std::vector<int32_t> expected = model.get(key);
      what = "get of " + what;
      onEach([&](auto& s) {
        return differential::compare(
            s, [&](auto& t, auto& op) { t.get(key, op); }, expected);
      });
    } else if (dice < 98) {
      const auto [low, high] = stream.range(key);
      const std::vector<int32_t> expected = model.range(low, high);
      what = "range " + std::to_string(low) + " .. " + std::to_string(high) + ", " + what;
      onEach([&](auto& s) {
        return differential::compare(
            s, [&](auto& t, auto& op) { t.queryRange(low, high, op); }, expected);
      });
    } else {
      checkAll();
    }
    if (i % 64 == 63)
      checkAll();
    if (!result.failure)
      ++result.compared;
  }
  what = "the end";
  checkAll();
  const std::vector<int32_t> everything =
      model.range(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
  onEach([&](auto& s) {
    return differential::compare(
        s,
        [](auto& t, auto& op) {
          t.queryRange(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                       op);
        },
        everything);
  });
  return result;
}

}  // namespace test

#endif  // TESTS_SUPPORT_DIFFERENTIAL_RUN_H_
