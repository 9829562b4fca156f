// CSBTreeVerifier: checks the structural invariants of one CSB+-tree, for tests and
// debugging.
//
// One walk down the tree checks every group against the node that references it (member
// counts, levels, fill limits, key order, keys inside the interval their separators give,
// filler in unused slots, equal leaf depth, one block per group, distinct identity numbers)
// and records the leaf groups in descent order; one walk along the chain then checks that it
// holds exactly those groups, in that order, linked both ways, with keys that never
// decrease. Finally the cached statistics, when fresh, are compared with a recount.
//
// A verifier is used once, for one check. It reads the tree and changes nothing (except
// that naming a group in a message hands out its identity number). Not thread-safe.
#ifndef CORE_CSBTREE_CSB_TREE_VERIFIER_H_
#define CORE_CSBTREE_CSB_TREE_VERIFIER_H_

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/csbtree/CSBTreeNode.h"
#include "core/csbtree/LeafGroup.h"
#include "core/csbtree/NodeGroup.h"
#include "core/csbtree/NodeGroupArrayMap.h"
#include "util/SplitPolicy.h"

namespace core::csbtree {

class CSBTreeVerifier {
 public:
  CSBTreeVerifier(int32_t k, int32_t k_star);
  // The same for a tree built under `policy`: kSequential lets nodes below the root hold
  // from one key (splits at a run's separator leave one side that small).
  CSBTreeVerifier(int32_t k, int32_t k_star, util::SplitPolicy policy);

  // The first broken invariant in words, or nothing. The statistics are compared with a
  // recount unless `statsStale`.
  std::optional<std::string> check(CSBTreeNode root, CSBTreeNode firstLeaf, bool statsStale,
                                   int64_t leafGroupCount, int64_t leafCount, int64_t elemCount,
                                   double leafUtilization);

 private:
  // Checks the group below a parent node (or the root group, for parent == nullptr) whose
  // member j holds keys in [lowOf(j), highOf(j)].
  void checkGroup(CSBTreeNode group, const NodeGroupArrayMap* parent, int32_t parentNode,
                  int32_t low, int32_t high, int32_t depth);
  // Compares the chain from `firstLeaf` with the leaf groups met in descent order, and checks
  // its links and that the keys never decrease along it.
  void checkChain(CSBTreeNode firstLeaf);
  template <class LowOf, class HighOf>
  void checkNodeGroup(const NodeGroup& group, bool isRoot, int32_t members, LowOf lowOf,
                      HighOf highOf, int32_t depth);
  template <class LowOf, class HighOf>
  void checkLeafGroup(const LeafGroup& group, int32_t members, LowOf lowOf, HighOf highOf,
                      int32_t depth);
  // Records the first violation; later ones are dropped.
  void fail(std::string message);

  const int32_t k_;
  const int32_t k_star_;
  const util::SplitPolicy policy_;
  int32_t leafDepth_ = -1;
  std::vector<GroupHandle> descentOrder_;
  std::set<GroupHandle> blocks_;
  std::set<int32_t> identities_;
  std::optional<std::string> error_;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_CSB_TREE_VERIFIER_H_
