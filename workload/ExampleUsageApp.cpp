#include "workload/ExampleUsageApp.h"

#include <unistd.h>

#include <iostream>

#include "core/btree/BTree.h"
#include "util/FdOutputStream.h"

namespace test {

int ExampleUsageApp::main(const std::vector<std::string>& /*args*/) {
  core::btree::BTree tree(16, 16);
  tree.printStats();
  tree.add(5, 26);
  tree.add(912, 42);
  std::cout << '\n';
  tree.printStats();
  // The stream flushes std::cout before its first write, so the statistics come first.
  util::FdOutputStream out(STDOUT_FILENO);
  tree.toDot(out);
  return 0;
}

}  // namespace test
