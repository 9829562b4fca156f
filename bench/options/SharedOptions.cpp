#include "bench/options/SharedOptions.h"

#include <CLI/CLI.hpp>
#include <sstream>
#include <string>

#include "bench/model/WorkloadFields.h"

namespace bench {

namespace {

// A finite number above `above` and at most `atMost`.
CLI::Validator numberAbove(double above, double atMost, const std::string& range) {
  return CLI::Validator(
      [above, atMost, range](std::string& text) -> std::string {
        const std::optional<double> value = parseNumber(text);
        return value && *value > above && *value <= atMost
                   ? ""
                   : "must be a number " + range + ", got '" + text + "'";
      },
      range);
}

}  // namespace

VerdictOptionHandles addVerdictOptions(CLI::App& app, VerdictOptions& verdict) {
  CLI::Option* alpha = app.add_option("--alpha", verdict.alpha,
                                      "Significance level of the verdicts (compare and --against)")
                           ->check(numberAbove(0, 0.5, "above 0 and at most 0.5"))
                           ->capture_default_str();
  CLI::Option* failAbove =
      app.add_option(
             "--fail-above", verdict.failAbove,
             "Exit with status 1 when a row is significantly slower by more than this "
             "ratio (new / base; with --against, this build / the other), e.g. 1.05; between "
             "count reports, when its instructions per operation grew by more")
          ->check(numberAbove(0, std::numeric_limits<double>::max(), "above 0"));
  return {alpha, failAbove};
}

CLI::Option* refuseEmpty(CLI::Option* option) {
  return option
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            return text.empty() ? "expected a file name, got an empty one" : "";
          },
          ""))
      ->type_name("FILE");
}

}  // namespace bench
