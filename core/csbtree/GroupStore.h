// GroupStore: the memory of one CSB+-tree and the layout of its group blocks.
//
// Node groups come from the arena's dense region and leaf groups from its bulk region: the
// internal levels lie together on few pages that stay in the TLB and the cache, so that a
// lookup's likely misses are on its leaf group alone.
//
// Every group is one block of whole cache lines in the store's arena, named by a 32-bit
// handle (0: no group). A block starts with a GroupHeader:
//  - a node group of n nodes (level >= 1, its children at level - 1): the header line, then
//    per node a slot of nodeSlotBytes(): its m = 4k keys (the slot starts on a line, so the
//    keys take exactly 4m / 64 lines when m is a multiple of 16), then its key count and its
//    child group's handle (NodeSlotMeta). Node i's slot lies at a fixed place, 64 + i x
//    nodeSlotBytes(), so a parent computes a child member's address from the handle and the
//    member number alone.
//  - a leaf group of L leaves (level 0): the header and the L leaf sizes, padded to whole
//    lines (leafHeaderBytes(L)), then per leaf leafBytes(): its W = 2 k_star keys followed
//    by its W values, so a leaf's keys and values lie side by side.
// Groups are never grown in place: a node split, a leaf split and a group split each make a
// new block for the whole group, copy it and free the old one, so a group's handle changes
// while its identity number (kept in the header) does not.
//
// The store also keeps the handle of the first leaf group, which the leaf groups update
// when the first one moves. Not thread-safe.
#ifndef CORE_CSBTREE_GROUP_STORE_H_
#define CORE_CSBTREE_GROUP_STORE_H_

#include <cstddef>
#include <cstdint>

#include "util/Arena.h"
#include "util/IdentityNumber.h"

namespace core::csbtree {

using GroupHandle = util::Arena::Handle;

struct GroupHeader {
  int32_t identity;  // 0 until first asked for
  int32_t level;     // 0 for a leaf group
  int32_t members;   // nodes or leaves
  GroupHandle next;  // leaf groups: the chain, both ways (0 at the ends)
  GroupHandle prev;
};

// What follows a node's keys in its slot.
struct NodeSlotMeta {
  int32_t size;
  GroupHandle child;
};

class GroupStore {
 public:
  static constexpr size_t kLine = util::Arena::kLineBytes;

  // REQUIRES: 1 <= k, k_star <= CSBTreeConstants::kMaxParameter.
  GroupStore(int32_t k, int32_t k_star)
      : k_(k),
        k_star_(k_star),
        m_(4 * k),
        w_(2 * k_star),
        nodeSlotBytes_(nodeSlotBytesFor(m_)),
        leafBytes_(leafBytesFor(w_)) {}
  GroupStore(const GroupStore&) = delete;
  GroupStore& operator=(const GroupStore&) = delete;

  int32_t k() const { return k_; }
  int32_t kStar() const { return k_star_; }
  int32_t m() const { return m_; }
  int32_t w() const { return w_; }

  util::Arena& arena() { return arena_; }
  const util::Arena& arena() const { return arena_; }
  std::byte* at(GroupHandle handle) const { return arena_.at(handle); }
  GroupHeader* header(GroupHandle handle) const {
    return reinterpret_cast<GroupHeader*>(arena_.at(handle));
  }
  // The group's identity number, handed out when first asked for.
  int32_t identityOf(GroupHandle handle) const {
    GroupHeader* h = header(handle);
    if (h->identity == 0)
      h->identity = util::IdentityNumber::next();
    return h->identity;
  }

  // A block for a node group of `nodes` nodes, or a leaf group of `leaves` leaves; freed
  // through arena().free with its size in lines.
  GroupHandle allocateNodeGroup(int32_t nodes) {
    return arena_.allocate(nodeGroupLines(nodes), util::Arena::Region::kDense);
  }
  GroupHandle allocateLeafGroup(int32_t leaves) {
    return arena_.allocate(leafGroupLines(leaves), util::Arena::Region::kBulk);
  }

  // --- Node groups.
  size_t nodeSlotBytes() const { return nodeSlotBytes_; }
  // The slot of a node of m keys, and where node `node` of a group with such slots starts.
  static constexpr size_t nodeSlotBytesFor(int32_t m) {
    return roundUp(4 * static_cast<size_t>(m) + sizeof(NodeSlotMeta));
  }
  static int32_t* nodeKeysAt(std::byte* block, int32_t node, size_t slotBytes) {
    return reinterpret_cast<int32_t*>(block + kLine + static_cast<size_t>(node) * slotBytes);
  }
  uint64_t nodeGroupLines(int32_t nodes) const {
    return 1 + static_cast<uint64_t>(nodes) * (nodeSlotBytes_ / kLine);
  }
  int32_t* nodeKeys(std::byte* block, int32_t node) const {
    return nodeKeysAt(block, node, nodeSlotBytes_);
  }
  NodeSlotMeta* nodeMeta(int32_t* keys) const { return reinterpret_cast<NodeSlotMeta*>(keys + m_); }
  const NodeSlotMeta* nodeMeta(const int32_t* keys) const {
    return reinterpret_cast<const NodeSlotMeta*>(keys + m_);
  }

  // --- Leaf groups.
  size_t leafBytes() const { return leafBytes_; }
  // A leaf of w slots, and where leaf `leaf` (0-based) of a group of `leaves` such leaves starts.
  static constexpr size_t leafBytesFor(int32_t w) { return roundUp(8 * static_cast<size_t>(w)); }
  static int32_t* leafKeysAt(std::byte* block, int32_t leaves, int32_t leaf, size_t leafBytes) {
    return reinterpret_cast<int32_t*>(block + leafHeaderBytes(leaves) +
                                      static_cast<size_t>(leaf) * leafBytes);
  }
  static size_t leafHeaderBytes(int32_t leaves) {
    return roundUp(sizeof(GroupHeader) + 4 * static_cast<size_t>(leaves));
  }
  uint64_t leafGroupLines(int32_t leaves) const {
    return (leafHeaderBytes(leaves) + static_cast<uint64_t>(leaves) * leafBytes_) / kLine;
  }
  static int32_t* leafSizes(std::byte* block) {
    return reinterpret_cast<int32_t*>(block + sizeof(GroupHeader));
  }
  // The keys of leaf `leaf` (0-based) of a group of `leaves` leaves; its values follow at
  // + w().
  int32_t* leafKeys(std::byte* block, int32_t leaves, int32_t leaf) const {
    return leafKeysAt(block, leaves, leaf, leafBytes_);
  }

  GroupHandle firstLeaf() const { return firstLeaf_; }
  void setFirstLeaf(GroupHandle handle) { firstLeaf_ = handle; }

  // Asks for the lines from `first` up to `bytes` on (at most kMaxLines of them). Always
  // inlined: GCC drops calls to out-of-line functions that only prefetch.
  [[gnu::always_inline]] static void prefetch(const void* first, size_t bytes) {
    constexpr size_t kMaxLines = 8;
    const auto* p = static_cast<const char*>(first);
    if (bytes > kMaxLines * kLine)
      bytes = kMaxLines * kLine;
    for (size_t offset = 0; offset < bytes; offset += kLine)
      __builtin_prefetch(p + offset);
  }

  static constexpr size_t roundUp(size_t bytes) { return (bytes + kLine - 1) / kLine * kLine; }

 private:
  util::Arena arena_;
  const int32_t k_;
  const int32_t k_star_;
  const int32_t m_;
  const int32_t w_;
  const size_t nodeSlotBytes_;
  const size_t leafBytes_;
  GroupHandle firstLeaf_ = 0;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_GROUP_STORE_H_
