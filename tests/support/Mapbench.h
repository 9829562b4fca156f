// Mapbench: runs the built mapbench for end-to-end tests of the harness.
//
// MAPBENCH_EXECUTABLE names the program (the bench tests' build defines it). Standard error
// is folded into the output; a run that does not finish within its time limit fails.
#ifndef TESTS_SUPPORT_MAPBENCH_H_
#define TESTS_SUPPORT_MAPBENCH_H_

#include <sstream>
#include <string>
#include <vector>

#include "bench/model/MapRegistry.h"
#include "tests/support/Subprocess.h"

namespace test {

// What a run of mapbench gave: its exit status (-1 when a signal ended it) and its output.
struct ProgramResult {
  int status;
  std::string output;
};

// mapbench with `args` as they are.
inline ProgramResult runMapbench(const std::vector<std::string>& args,
                                 StdoutMode mode = StdoutMode::kCapture) {
  const ProcessResult result = runProgram(MAPBENCH_EXECUTABLE, args, mode, 300);
  return {result.exited ? result.exitStatus : -1, result.out + result.err};
}

// mapbench with `arguments` split at spaces.
inline ProgramResult runMapbench(const std::string& arguments,
                                 StdoutMode mode = StdoutMode::kCapture) {
  std::vector<std::string> args;
  std::istringstream words(arguments);
  for (std::string word; words >> word;)
    args.push_back(word);
  return runMapbench(args, mode);
}

// Every map mapbench knows, comma-separated.
inline std::string allMapNames() {
  std::string names;
  for (const bench::MapKind& kind : bench::registeredMaps())
    names += (names.empty() ? "" : ",") + kind.name;
  return names;
}

// A workload small enough for a run of every map to take a fraction of a second.
inline constexpr const char* kTinyWorkload =
    "--key-space 20000 --fill 2000 --ops 20000 --no-progress";

// Runs `script` with sh, with TMPDIR set to `directory`.
inline ProcessResult runShell(const std::string& directory, const std::string& script) {
  return runProgram("/bin/sh", {"-c", "TMPDIR=" + directory + "; export TMPDIR; " + script},
                    StdoutMode::kCapture, 120);
}

}  // namespace test

#endif  // TESTS_SUPPORT_MAPBENCH_H_
