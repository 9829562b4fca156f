// make-keys: writes a synthetic key set in the SOSD format, for mapbench --keys.
//
//   make-keys SHAPE COUNT FILE [--seed N] [--bits 32|64]
//
// SHAPE is lognormal, normal, clustered, sparse or dense (workload/SyntheticKeys.h); the
// file holds COUNT distinct keys, ascending, a function of the seed. Name it with the
// suffix _uint32 or _uint64 and mapbench takes the format from the name. Numbers are
// decimal (a leading zero too). The keys are made first and the file written whole or not
// at all: a failure leaves an old file of that name as it was.
//
// Exit status (bench/model/ExitStatus.h): kSuccess after writing the file; kFailure when it
// could not be written; kUsageError for a refused command line (one line on standard error).
#include <CLI/CLI.hpp>
#include <iostream>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "bench/model/ExitStatus.h"
#include "util/AtomicFile.h"
#include "workload/ParseDecimal.h"
#include "workload/SyntheticKeys.h"

namespace {

// A decimal number from `minimum` to `maximum`: digits only (leading zeros are decimal
// too), no sign, space, base prefix or fraction.
std::optional<uint64_t> decimalBetween(const std::string& text, uint64_t minimum,
                                       uint64_t maximum) {
  const std::optional<uint64_t> value = test::parseDecimal<uint64_t>(text);
  if (!value || *value < minimum || *value > maximum)
    return std::nullopt;
  return value;
}

// CLI11's check that `text` is such a number, with the words of the refusal.
CLI::Validator decimal(uint64_t minimum, uint64_t maximum, const std::string& what) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        return decimalBetween(text, minimum, maximum) ? "" : what + ", got '" + text + "'";
      },
      "");
}

}  // namespace

int main(int argc, char** argv) {
  std::string shapeName, path, countText, seedText = "42", bitsText = "32";
  CLI::App app{
      "make-keys: writes COUNT distinct synthetic keys of a shape to FILE in the SOSD "
      "format\n(an 8-byte little-endian count, then the keys, little-endian, "
      "ascending)."};
  app.add_option("shape", shapeName, "lognormal, normal, clustered, sparse or dense")
      ->required()
      ->check([](const std::string& name) -> std::string {
        return test::parseKeyShape(name)
                   ? ""
                   : "unknown shape '" + name + "' (lognormal, normal, clustered, sparse, dense)";
      });
  constexpr uint64_t kMost = std::numeric_limits<uint64_t>::max();
  app.add_option("count", countText, "Number of distinct keys (decimal)")
      ->required()
      ->type_name("N")
      ->check(decimal(1, kMost, "must be a decimal whole number of at least 1"));
  app.add_option("file", path, "Output file")
      ->required()
      ->check([](const std::string& name) -> std::string {
        return name.empty() ? "the file name is empty" : "";
      });
  app.add_option("--seed", seedText, "Seed of the set (decimal, 0 .. 2^64 - 1)")
      ->type_name("N")
      ->check(decimal(0, kMost, "must be a decimal whole number from 0 to 2^64 - 1"))
      ->capture_default_str();
  app.add_option("--bits", bitsText, "Width of the keys in the file: 32 or 64")
      ->type_name("N")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            const std::optional<uint64_t> bits = decimalBetween(text, 32, 64);
            return bits && (*bits == 32 || *bits == 64) ? ""
                                                        : "must be 32 or 64, got '" + text + "'";
          },
          ""))
      ->capture_default_str();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "make-keys: " << error.what() << "\n";
    return bench::kUsageError;
  }
  const test::KeyShape shape = *test::parseKeyShape(shapeName);
  const uint64_t count = *decimalBetween(countText, 1, kMost);
  if (count > static_cast<uint64_t>(test::maxSyntheticKeys(shape))) {
    std::cerr << "make-keys: a " << shapeName << " set holds at most "
              << test::maxSyntheticKeys(shape) << " keys, got " << countText << "\n";
    return bench::kUsageError;
  }
  const uint64_t seed = *decimalBetween(seedText, 0, kMost);
  const int bits = static_cast<int>(*decimalBetween(bitsText, 32, 64));
  std::vector<uint32_t> keys;
  try {
    keys = test::syntheticKeys(shape, static_cast<int64_t>(count), seed);
  } catch (const std::bad_alloc&) {
    std::cerr << "make-keys: not enough memory for " << count << " keys\n";
    return bench::kFailure;
  }
  if (const std::optional<std::string> failure = util::writeFileAtomically(
          path, [&](std::ostream& out) { test::writeSosd(out, keys, bits); })) {
    std::cerr << "make-keys: " << *failure << "\n";
    return bench::kFailure;
  }
  return bench::kSuccess;
}
