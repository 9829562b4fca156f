#include "bench/ResultFiles.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace bench {

bool writeFile(const std::string& path, const std::function<void(std::ostream&)>& write,
               std::ostream& err) {
  if (path.empty())
    return true;
  errno = 0;
  std::ofstream file(path);
  if (file) {
    write(file);
    file.close();  // flushes: a full disk shows here
  }
  if (!file) {
    err << "mapbench: could not write " << path
        << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()) << "\n";
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
