// example-usage: builds a small B+-tree, prints its statistics and writes its graph.
#include <csignal>
#include <string>
#include <vector>

#include "workload/ExampleUsageApp.h"

int main(int argc, char** argv) {
  // A reader that goes away (example-usage | head -1) then fails the graph's writes with
  // an I/O error, which the graph output reports, instead of killing the process.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return test::ExampleUsageApp::main(args);
}
