// Report: writes summary rows (bench/model/Results.h) as a table, JSON or CSV.
//
// The three writers walk the column list of bench/model/Columns.h, so a column is in an
// output when it has a name there. A count report (mapbench --count) shows its counts and a
// footer naming the simulated caches; a timed one its times, latencies and memory.
// Writers to a stream the caller owns; the caller checks the stream (bench/output/ResultFiles.h
// writes files whole or not at all). No state of their own.
#ifndef BENCH_OUTPUT_REPORT_H_
#define BENCH_OUTPUT_REPORT_H_

#include <ostream>
#include <string>
#include <vector>

#include "bench/model/Results.h"

namespace bench {

void printTable(std::ostream& out, const Context& context, const std::vector<Row>& rows);
void writeJson(std::ostream& out, const Context& context, const std::vector<Row>& rows);
// Text fields are quoted as RFC 4180 says (csvField).
void writeCsv(std::ostream& out, const Context& context, const std::vector<Row>& rows);

// `text` as one CSV field: in double quotes, its quotes doubled, when it holds a comma, a
// quote or a line break; else as it is.
std::string csvField(const std::string& text);

// The table's footer for count reports.
void printCountFooter(std::ostream& out);

}  // namespace bench

#endif  // BENCH_OUTPUT_REPORT_H_
