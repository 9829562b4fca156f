// SplitPolicy, SplitRule: where a full node of either tree splits.
//
// kPositional splits every full node in the middle: with keys arriving in ascending order
// every left half then stays half full for ever. kSequential watches the insertions: when the
// entry that fills a leaf lands right after (or right before) the entry inserted last, with
// no stored key between the two, the insertions run in order, and the leaf splits right after
// the new entry instead: the entries after it move to the new leaf, so that the run goes on
// where nothing follows it (at the end of a leaf the new leaf holds only the new entry). The
// split of an inner node (or of a CSB+-tree group) that absorbs such a leaf split happens right
// after the new separator as well, keeping at least one key on each side; every other split
// stays in the middle. Random
// insertions almost never meet the condition and keep the middle splits. A run of equal keys
// counts as ascending.
//
// A SplitRule is the per-tree state of a policy: the key inserted last and whether the current
// insertion's leaf split followed a run. Not thread-safe; one per tree.
#ifndef UTIL_SPLIT_POLICY_H_
#define UTIL_SPLIT_POLICY_H_

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

namespace util {

enum class SplitPolicy { kPositional, kSequential };

// "positional" or "sequential".
constexpr std::string_view splitPolicyName(SplitPolicy policy) {
  return policy == SplitPolicy::kSequential ? "sequential" : "positional";
}

// The policy of that name, or nothing.
constexpr std::optional<SplitPolicy> parseSplitPolicy(std::string_view name) {
  if (name == "positional")
    return SplitPolicy::kPositional;
  if (name == "sequential")
    return SplitPolicy::kSequential;
  return std::nullopt;
}

// Which way the insertions run at a full node.
enum class RunDirection { kNone, kAscending, kDescending };

class SplitRule {
 public:
  explicit SplitRule(SplitPolicy policy = SplitPolicy::kPositional) : policy_(policy) {}

  SplitPolicy policy() const { return policy_; }

  // Where the insertions run for an entry with `key` that goes between the stored keys
  // `before` and `after` (nothing: it goes first, or last) of a full leaf. kNone under
  // kPositional, before any insertion, and when a stored key lies between the key inserted
  // last and `key`.
  RunDirection directionOf(int32_t key, std::optional<int32_t> before,
                           std::optional<int32_t> after) const {
    if (policy_ != SplitPolicy::kSequential || !hasLast_)
      return RunDirection::kNone;
    if (before && *before <= last_ && last_ <= key)
      return RunDirection::kAscending;
    if (after && key < last_ && last_ <= *after)
      return RunDirection::kDescending;
    return RunDirection::kNone;
  }

  // How many of `total` entries the lower leaf keeps when the new one is entry `pos` of them
  // (0-based) and the insertions run as `direction`: everything up to the new entry, which
  // sends the entries after it away so that the run goes on in a leaf of its own (at the end
  // of the leaf: everything before it, the new leaf takes the entry alone); else the lower
  // half. Callers pass a direction that leaves both leaves an entry (descending with
  // pos <= total - 2), which directionOf guarantees.
  static int32_t lowerEntries(int32_t total, int32_t pos, RunDirection direction) {
    if (direction == RunDirection::kNone)
      return total / 2;
    return std::min(pos + 1, total - 1);
  }

  // How many of its `keys` separators an inner node keeps when a separator joins at position
  // `pos` (0 .. keys) and one of the keys + 1 goes up: after a leaf split that followed a run,
  // everything up to the new separator (at least one key stays on either side, so at the right
  // end all but the last key), else the lower half. REQUIRES: keys >= 2.
  int32_t lowerKeys(int32_t keys, int32_t pos) const {
    if (sequentialSplit_)
      return std::clamp(pos + 1, 1, keys - 1);
    return (keys + 1) / 2;
  }

  // Called once per insertion, after it is stored (and split).
  void inserted(int32_t key) {
    last_ = key;
    hasLast_ = true;
  }
  // Whether the leaf split of the current insertion followed a run; the inner levels above it
  // then split at the new separator too. Set by the leaf level for every split.
  void setSequentialSplit(bool sequential) { sequentialSplit_ = sequential; }
  bool sequentialSplit() const { return sequentialSplit_; }

 private:
  SplitPolicy policy_;
  bool hasLast_ = false;
  int32_t last_ = 0;
  bool sequentialSplit_ = false;
};

}  // namespace util

#endif  // UTIL_SPLIT_POLICY_H_
