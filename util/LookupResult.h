// LookupResult: what a leaf's entry array answers after a lookup, telling the leaf whether,
// and how, the answer goes on in the next leaf (or leaf group) of the chain.
//
// Both trees' entry arrays answer with it; the array knows nothing of other leaves, and the
// leaf walks the chain as asked. A plain enumeration; thread-safe.
#ifndef UTIL_LOOKUP_RESULT_H_
#define UTIL_LOOKUP_RESULT_H_

#include <cstdint>

namespace util {

enum class LookupResult : int8_t {
  // The answer is complete; do not look at further leaves.
  STOP,
  // Nothing here settles the answer; repeat the lookup, with its search, in the next leaf.
  CONTINUE_WITH_BINSEARCH,
  // A matching run reached the last entry; go on in the next leaf from its first entry.
  CONTINUE_WITH_SCAN,
};

}  // namespace util

#endif  // UTIL_LOOKUP_RESULT_H_
