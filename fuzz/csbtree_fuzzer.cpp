// libFuzzer target: the CSB+-tree against the reference multimap.
#include "core/csbtree/CSBTree.h"
#include "fuzz/TreeFuzzDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ByteReader in(data, size);
  const int32_t k = 1 + in.byte() % 6;
  const uint8_t leafByte = in.byte();
  const int32_t kStar = 1 + leafByte % 8;
  core::csbtree::CSBTree tree(k, kStar, fuzz::splitPolicyOf(leafByte));
  fuzz::replay(
      tree, in, [](int32_t, int32_t) {}, false);
  return 0;
}
