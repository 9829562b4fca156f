#include "core/btree/BTreeNode.h"

#include <iostream>

namespace core::btree {

BTreeNode::~BTreeNode() = default;

void BTreeNode::reportDotFailure(const std::exception& error, const std::string& where) {
  std::cout << "could not write dotty" << std::endl;
  std::cerr << "could not write dotty: " << error.what() << " (" << where << ")" << std::endl;
}

}  // namespace core::btree
