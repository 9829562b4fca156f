// libFuzzer target: the B+-tree against the reference multimap.
#include "core/btree/BTree.h"
#include "fuzz/TreeFuzzDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ByteReader in(data, size);
  const int32_t k = 2 + in.byte() % 7;
  const uint8_t leafByte = in.byte();
  const int32_t kStar = 1 + leafByte % 8;
  core::btree::BTree tree(k, kStar, fuzz::splitPolicyOf(leafByte));
  fuzz::replay(
      tree, in, [&](int32_t key, int32_t value) { tree.remove(key, value); }, true);
  return 0;
}
