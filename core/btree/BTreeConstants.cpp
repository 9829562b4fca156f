#include "core/btree/BTreeConstants.h"

#include <stdexcept>
#include <string>

namespace core::btree {

namespace {

void checkRange(const char* name, int32_t value, int32_t min, const char* bound) {
  if (value < min || value > BTreeConstants::kMaxParameter) {
    throw std::invalid_argument(std::string(name) + " must be between " + std::to_string(min) +
                                " and " + std::to_string(BTreeConstants::kMaxParameter) + " (" +
                                bound + "), got " + std::to_string(value));
  }
}

}  // namespace

void BTreeConstants::checkK(int32_t k) {
  checkRange("k", k, kMinK, "2 x k children per node, counted in 32 bits");
}

void BTreeConstants::checkKStar(int32_t k_star) {
  checkRange("k_star", k_star, kMinKStar, "2 x k_star entries per leaf, counted in 32 bits");
}

}  // namespace core::btree
