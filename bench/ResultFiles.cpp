#include "bench/ResultFiles.h"

#include "util/AtomicFile.h"

namespace bench {

bool writeFile(const std::string& path, const std::function<void(std::ostream&)>& write,
               std::ostream& err) {
  if (path.empty())
    return true;
  if (const std::optional<std::string> failure = util::writeFileAtomically(path, write)) {
    err << "mapbench: " << *failure << "\n";
    return false;
  }
  return true;
}

bool writeResultFiles(const std::string& jsonPath, const std::string& csvPath,
                      const Context& context, const std::vector<Row>& rows, std::ostream& err) {
  const bool jsonWritten = writeFile(
      jsonPath, [&](std::ostream& out) { writeJson(out, context, rows); }, err);
  const bool csvWritten = writeFile(
      csvPath, [&](std::ostream& out) { writeCsv(out, context, rows); }, err);
  return jsonWritten && csvWritten;
}

bool outputPathsUsable(const Options& options, std::ostream& err) {
  if (const std::optional<std::string> clash = util::outputClash(
          {{"--keys", options.config.keyFile}, {"--against", options.againstPath}},
          {{"--json", options.jsonPath}, {"--csv", options.csvPath}})) {
    err << "mapbench: " << *clash << "\n";
    return false;
  }
  // Found now rather than after the whole run.
  for (const std::string& path : {options.jsonPath, options.csvPath}) {
    if (const std::optional<std::string> refusal =
            path.empty() ? std::nullopt : util::writableRefusal(path)) {
      err << "mapbench: " << *refusal << "\n";
      return false;
    }
  }
  return true;
}

}  // namespace bench
