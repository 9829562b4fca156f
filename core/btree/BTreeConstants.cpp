#include "core/btree/BTreeConstants.h"

#include <stdexcept>
#include <string>

namespace core::btree {

namespace {

void checkRange(const char* name, int32_t value, int32_t min) {
  if (value < min || value > BTreeConstants::MAX_PARAMETER) {
    throw std::invalid_argument(std::string(name) + " must be between " + std::to_string(min) +
                                " and " + std::to_string(BTreeConstants::MAX_PARAMETER) + ", got " +
                                std::to_string(value));
  }
}

}  // namespace

void BTreeConstants::checkK(int32_t k) {
  checkRange("k", k, MIN_K);
}

void BTreeConstants::checkKStar(int32_t k_star) {
  checkRange("k_star", k_star, MIN_K_STAR);
}

}  // namespace core::btree
