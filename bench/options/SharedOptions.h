// SharedOptions: the options that mapbench and `mapbench compare` both take, defined and
// checked once: the verdicts' --alpha and --fail-above, and the refusal of an empty file name.
//
// The adders put them on a CLI11 command line (only the bench library's own sources include
// CLI11; this header just names its types). VerdictOptions is plain data.
#ifndef BENCH_OPTIONS_SHARED_OPTIONS_H_
#define BENCH_OPTIONS_SHARED_OPTIONS_H_

#include <optional>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace bench {

struct VerdictOptions {
  double alpha = 0.05;              // significance level of the verdicts, in (0, 0.5]
  std::optional<double> failAbove;  // fail when significantly slower by more than this ratio
};

struct VerdictOptionHandles {
  CLI::Option* alpha;
  CLI::Option* failAbove;
};

// Adds --alpha and --fail-above, read into `verdict`: each a finite number, --alpha above 0
// and at most 0.5, --fail-above above 0.
VerdictOptionHandles addVerdictOptions(CLI::App& app, VerdictOptions& verdict);

// Makes `option` refuse an empty value (a file name); returns it.
CLI::Option* refuseEmpty(CLI::Option* option);

}  // namespace bench

#endif  // BENCH_OPTIONS_SHARED_OPTIONS_H_
