// ResultFiles: writes the JSON and CSV files a mapbench invocation asked for.
//
// Each file is written whole or not at all (util/AtomicFile.h): a failed write leaves the
// old file as it was. A file that could not be written is a failure the caller must report;
// every other requested file is still written (bench/options/Options.h refuses, before any
// run, an output that would overwrite an input or another output of the same invocation).
//
// Failure rule: each returns false after one line per unwritten file on the error stream.
#ifndef BENCH_OUTPUT_RESULT_FILES_H_
#define BENCH_OUTPUT_RESULT_FILES_H_

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "bench/model/Results.h"

namespace bench {

// Writes a file with `write` (an empty path writes nothing). Returns false, after one line on
// `err`, when it was not written completely.
bool writeFile(const std::string& path, const std::function<void(std::ostream&)>& write,
               std::ostream& err);

// Writes `rows` as JSON to `jsonPath` and as CSV to `csvPath` (an empty path writes nothing).
// Returns false, after one line per failed file on `err`, when a file was not written.
bool writeResultFiles(const std::string& jsonPath, const std::string& csvPath,
                      const Context& context, const std::vector<Row>& rows, std::ostream& err);

}  // namespace bench

#endif  // BENCH_OUTPUT_RESULT_FILES_H_
