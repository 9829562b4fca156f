// IntPushOperator: the callback through which every map delivers query results.
//
// A query never returns a collection. Instead the map calls pass(value) once per result,
// synchronously and before the query returns: values in ascending key order, the values of
// one key in the order in which the map stores them. The tree-backed maps end every query
// with exactly one thatsallfolks() call, also when nothing was found; the baseline maps
// never call it, so an operator meant to work with every map must not depend on it.
//
// The array form of pass() exists for completeness; no map calls it.
//
// Not thread-safe: callbacks run on the querying thread, inside the query call.
#ifndef UTIL_INT_PUSH_OPERATOR_H_
#define UTIL_INT_PUSH_OPERATOR_H_

#include <cstdint>
#include <span>

namespace util {

class IntPushOperator {
 public:
  virtual ~IntPushOperator();

  // Receives one result value of the running query.
  virtual void pass(int32_t value) = 0;
  // Receives several values at once. No map of this project calls it.
  virtual void pass(std::span<const int32_t> values) = 0;
  // The running query has delivered all its values.
  virtual void thatsallfolks() = 0;
};

}  // namespace util

#endif  // UTIL_INT_PUSH_OPERATOR_H_
