// ExampleUsageApp: a small program that uses the B+-tree directly, without the map contract.
//
// It builds a BTree(16, 16), prints its statistics, adds 5 -> 26 and 912 -> 42, prints a
// line end and the statistics again, and writes the tree's Graphviz graph to standard
// output, which the graph output then closes. Arguments are ignored. Not thread-safe.
#ifndef WORKLOAD_EXAMPLE_USAGE_APP_H_
#define WORKLOAD_EXAMPLE_USAGE_APP_H_

#include <string>
#include <vector>

namespace test {

class ExampleUsageApp {
 public:
  // Runs the example; returns the exit status (always 0: a failed graph write is reported
  // by the tree and the program still ends normally).
  static int main(const std::vector<std::string>& args);
};

}  // namespace test

#endif  // WORKLOAD_EXAMPLE_USAGE_APP_H_
