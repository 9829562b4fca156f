// workload-generator: benchmarks one of the trees on the seeded mixed workload.
//   workload-generator [[k k_star] btree|csbtree]
#include <iostream>
#include <string>
#include <vector>

#include "workload/TreeMapFactory.h"
#include "workload/WorkloadGenerator.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return test::WorkloadGenerator::main(args, test::createTreeMap, std::cout, std::cerr);
}
