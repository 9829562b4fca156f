// make-keys: writes a synthetic key set in the SOSD format, for mapbench --keys.
//
//   make-keys SHAPE COUNT FILE [--seed N] [--bits 32|64]
//
// SHAPE is lognormal, normal, clustered, sparse or dense (workload/SyntheticKeys.h); the
// file holds COUNT distinct keys, ascending, a function of the seed. Name it with the
// suffix _uint32 or _uint64 and mapbench takes the format from the name.
//
// Exit status: 0 after writing the file; 1 when it could not be written; 2 for a refused
// command line (one line on standard error).
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>
#include <string>

#include "workload/SyntheticKeys.h"

int main(int argc, char** argv) {
  std::string shapeName, path;
  int64_t count = 0;
  uint64_t seed = 42;
  int bits = 32;
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
  app.add_option("count", count, "Number of distinct keys")
      ->required()
      ->check([](const std::string& text) -> std::string {
        return !text.empty() && text.size() <= 18 &&
                       text.find_first_not_of("0123456789") == std::string::npos &&
                       std::stoll(text) >= 1
                   ? ""
                   : "must be a whole number of at least 1, got '" + text + "'";
      });
  app.add_option("file", path, "Output file")->required();
  app.add_option("--seed", seed, "Seed of the set")->capture_default_str();
  app.add_option("--bits", bits, "Width of the keys in the file: 32 or 64")
      ->check(CLI::IsMember({32, 64}))
      ->capture_default_str();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "make-keys: " << error.what() << "\n";
    return 2;
  }
  const test::KeyShape shape = *test::parseKeyShape(shapeName);
  if (count > test::maxSyntheticKeys(shape)) {
    std::cerr << "make-keys: a " << shapeName << " set holds at most "
              << test::maxSyntheticKeys(shape) << " keys\n";
    return 2;
  }
  std::ofstream out(path, std::ios::binary);
  if (out)
    test::writeSosd(out, test::syntheticKeys(shape, count, seed), bits);
  out.close();
  if (!out) {
    std::cerr << "make-keys: could not write " << path << "\n";
    return 1;
  }
  return 0;
}
