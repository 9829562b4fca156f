// TreeFuzzDriver: replays a fuzzer's bytes as an operation stream on a tree and a model.
//
// The first two bytes choose the tree's parameters (small, so that nodes split often; the
// second byte's top bit the split policy, splitPolicyOf); the rest is a sequence of
// operations, each an opcode byte followed by its operands. Keys come either from a tiny domain
// (heavy duplicates), as four raw bytes (the whole int range), or, for inserts with bit 5 set,
// 0 to 2 above (opcode % 6 == 0) or below (== 1) the key inserted last: in-order runs, with
// runs of one key among them, for the sequential split rule.
// Every lookup's pushed values and its end-of-query calls are compared with the model,
// sizes are compared, and the tree's invariant check runs regularly. Any difference aborts,
// which the fuzzer reports as a crash with the input that caused it.
#ifndef FUZZ_TREE_FUZZ_DRIVER_H_
#define FUZZ_TREE_FUZZ_DRIVER_H_

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "testing/ModelMultimap.h"
#include "testing/RecordingOperator.h"
#include "util/SplitPolicy.h"

namespace fuzz {

// Reads operands from the input; past its end it yields zeros.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return position_ >= size_; }
  uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
  int32_t key(bool wide) {
    if (!wide)
      return static_cast<int32_t>(byte() % 16) - 8;
    uint32_t raw = 0;
    for (int i = 0; i < 4; ++i)
      raw = (raw << 8) | byte();
    return static_cast<int32_t>(raw);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

[[noreturn]] inline void fail(const std::string& what) {
  std::fprintf(stderr, "tree and model differ: %s\n", what.c_str());
  std::abort();
}

// The split policy the parameter byte `byte` picks: its top bit sets the sequential rule.
inline util::SplitPolicy splitPolicyOf(uint8_t byte) {
  return (byte & 0x80) != 0 ? util::SplitPolicy::kSequential : util::SplitPolicy::kPositional;
}

// `Tree` offers add, remove(key), get, queryRange, size and verify; `removeOne` is called
// for single-mapping removals when the tree supports them.
template <class Tree, class RemoveOne>
void replay(Tree& tree, ByteReader& in, RemoveOne removeOne, bool supportsRemoveOne) {
  test::ModelMultimap model;
  test::RecordingOperator op;
  int32_t nextValue = 1;  // distinct values make order mistakes visible
  int32_t lastKey = 0;    // the key inserted last, where in-order runs go on from
  int operations = 0;
  const auto compare = [&](const std::vector<int32_t>& expected, const char* what) {
    if (op.values != expected)
      fail(std::string(what) + ": pushed values differ");
    if (op.endCalls != 1)
      fail(std::string(what) + ": end-of-query calls != 1");
    op.reset();
  };
  while (!in.done()) {
    const uint8_t opcode = in.byte();
    const bool wide = (opcode & 0x80) != 0;
    switch (opcode % 6) {
      case 0:
      case 1: {  // insert; bit 6 picks a value from a tiny domain so that pairs repeat
        int32_t key = 0;
        if (opcode & 0x20) {
          const int64_t step = in.byte() % 3;
          key = static_cast<int32_t>(std::clamp<int64_t>(
              opcode % 6 == 0 ? int64_t{lastKey} + step : int64_t{lastKey} - step, INT32_MIN,
              INT32_MAX));
        } else {
          key = in.key(wide);
        }
        const int32_t value = (opcode & 0x40) ? 1 + in.byte() % 4 : nextValue++;
        tree.add(key, value);
        model.add(key, value);
        lastKey = key;
        break;
      }
      case 2: {
        const int32_t key = in.key(wide);
        tree.remove(key);
        model.removeAll(key);
        break;
      }
      case 3: {
        const int32_t key = in.key(wide);
        if (supportsRemoveOne) {
          const int32_t value = (opcode & 0x40) ? 1 + in.byte() % 4 : nextValue - 1 - in.byte();
          if (value == INT32_MIN)
            break;  // that value means "every mapping"
          removeOne(key, value);
          model.removeOne(key, value);
        } else {
          tree.get(key, op);
          compare(model.get(key), "get");
        }
        break;
      }
      case 4: {
        const int32_t key = in.key(wide);
        tree.get(key, op);
        compare(model.get(key), "get");
        break;
      }
      case 5: {
        const int32_t low = in.key(wide);
        const int32_t high =
            (opcode & 0x40)
                ? in.key(wide)
                : static_cast<int32_t>(std::min<int64_t>(int64_t{low} + in.byte() % 8, INT32_MAX));
        tree.queryRange(low, high, op);
        compare(model.range(low, high), "queryRange");
        break;
      }
    }
    if (++operations % 8 == 0) {
      if (tree.size() != model.size())
        fail("size");
      if (const std::optional<std::string> broken = tree.verify())
        fail("verify: " + *broken);
    }
  }
  if (tree.size() != model.size())
    fail("final size");
  if (const std::optional<std::string> broken = tree.verify())
    fail("final verify: " + *broken);
  // Everything the model holds must come back from one full scan, in order.
  tree.queryRange(INT32_MIN, INT32_MAX, op);
  compare(model.range(INT32_MIN, INT32_MAX), "full scan");
}

}  // namespace fuzz

#endif  // FUZZ_TREE_FUZZ_DRIVER_H_
