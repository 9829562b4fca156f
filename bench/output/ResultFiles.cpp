#include "bench/output/ResultFiles.h"

#include "bench/output/Report.h"
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

}  // namespace bench
