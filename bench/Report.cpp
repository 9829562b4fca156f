#include "bench/Report.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bench/HugePages.h"
#include "bench/KeySetOption.h"
#include "util/NumberFormat.h"

#ifndef MAPBENCH_BUILD_TYPE
#define MAPBENCH_BUILD_TYPE "unknown"
#endif
#ifndef MAPBENCH_CXX_FLAGS
#define MAPBENCH_CXX_FLAGS "unknown"
#endif
#ifndef MAPBENCH_COMMIT
#define MAPBENCH_COMMIT "unknown"
#endif

namespace bench {

namespace {

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  if (n == 0)
    return 0;
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string fixed(double value, int decimals) {
  std::ostringstream out;
  out << std::fixed << std::setprecision(decimals) << value;
  return out.str();
}

// "p50/p99", or "-" for an operation type that had no samples.
std::string latencyText(const LatencySummary& latency) {
  if (latency.samples == 0)
    return "-";
  return fixed(latency.p50Nanos, 0) + "/" + fixed(latency.p99Nanos, 0);
}

std::string parameterText(const Row& row) {
  if (!row.usesTreeParameters)
    return "-";
  return std::to_string(row.parameters.k) + "/" + std::to_string(row.parameters.k_star);
}

std::string firstCpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      const size_t colon = line.find(':');
      if (colon != std::string::npos)
        return line.substr(colon + 2);
    }
  }
  return "unknown";
}

}  // namespace

Row summarize(const Measurement& measurement) {
  Row row;
  row.map = measurement.map;
  row.usesTreeParameters = measurement.usesTreeParameters;
  row.parameters = measurement.parameters;
  row.config = measurement.config;
  row.repetitions = static_cast<int>(measurement.runs.size());
  if (measurement.runs.empty())
    return row;

  std::vector<double> seconds, bytes, residentBytes, hugeBytes;
  std::vector<double> p50[kOperationTypes], p99[kOperationTypes];
  for (size_t i = 0; i < measurement.runs.size(); ++i) {
    const RunResult& run = measurement.runs[i];
    const RunResult& baseline = measurement.baselines[i];
    seconds.push_back(static_cast<double>(run.measuredNanos - baseline.measuredNanos) / 1e9);
    const double entries = static_cast<double>(std::max<int64_t>(run.reportedSize, 1));
    if (run.allocatedBytes >= 0)
      bytes.push_back(static_cast<double>(run.allocatedBytes) / entries);
    residentBytes.push_back(
        static_cast<double>(run.peakResidentBytes - baseline.peakResidentBytes) / entries);
    hugeBytes.push_back(static_cast<double>(run.hugePageBytes));
    for (int type = 0; type < kOperationTypes; ++type) {
      p50[type].push_back(run.latency[type].p50Nanos);
      p99[type].push_back(run.latency[type].p99Nanos);
    }
  }
  const RunResult& first = measurement.runs.front();
  row.medianSeconds = median(seconds);
  row.minSeconds = *std::min_element(seconds.begin(), seconds.end());
  row.maxSeconds = *std::max_element(seconds.begin(), seconds.end());
  const double operations = static_cast<double>(measurement.config.measuredOperations);
  row.nanosPerOperation = operations > 0 ? row.medianSeconds * 1e9 / operations : 0;
  row.millionOperationsPerSecond = row.medianSeconds > 0 ? operations / row.medianSeconds / 1e6 : 0;
  row.bytesPerEntry = bytes.empty() ? -1 : median(bytes);
  row.residentBytesPerEntry = median(residentBytes);
  row.hugePageBytes = static_cast<int64_t>(median(hugeBytes));
  for (int type = 0; type < kOperationTypes; ++type) {
    row.latency[type].samples = first.latency[type].samples;
    row.latency[type].p50Nanos = median(p50[type]);
    row.latency[type].p99Nanos = median(p99[type]);
  }
  row.expectedSize = first.expectedSize;
  row.reportedSize = first.reportedSize;
  return row;
}

Context Context::collect() {
  Context context;
  context.compiler = "g++ " __VERSION__;
  context.buildType = MAPBENCH_BUILD_TYPE;
  context.flags = MAPBENCH_CXX_FLAGS;
  context.commit = MAPBENCH_COMMIT;
  context.cpu = firstCpuModel();
  context.cores = static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN));
  utsname names{};
  if (::uname(&names) == 0) {
    context.host = names.nodename;
    context.kernel = std::string(names.sysname) + " " + names.release + " " + names.machine;
  }
  const std::time_t now = std::time(nullptr);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  context.date = date;
  context.hugePages = hugePagesRequested();
  return context;
}

void printTable(std::ostream& out, const Context& context, const std::vector<Row>& rows) {
  out << std::left << std::setw(12) << "map" << std::setw(9) << "k/k*" << std::right
      << std::setw(11) << "keyspace" << std::setw(8) << "keys" << std::setw(10) << "median s"
      << std::setw(9) << "min s" << std::setw(9) << "max s" << std::setw(9) << "ns/op"
      << std::setw(8) << "Mops/s" << std::setw(9) << "B/entry" << std::setw(9) << "RSS B/e";
  for (const char* name : kOperationTypeNames) {
    out << std::setw(17) << (std::string(name) + " p50/p99");
  }
  out << std::setw(9) << "THP MiB";
  out << "\n";
  for (const Row& row : rows) {
    out << std::left << std::setw(12) << row.map << std::setw(9) << parameterText(row) << std::right
        << std::setw(11) << row.config.keySpace << std::setw(8)
        << test::distributionName(row.config.distribution) << std::setw(10)
        << fixed(row.medianSeconds, 3) << std::setw(9) << fixed(row.minSeconds, 3) << std::setw(9)
        << fixed(row.maxSeconds, 3) << std::setw(9) << fixed(row.nanosPerOperation, 1)
        << std::setw(8) << fixed(row.millionOperationsPerSecond, 2) << std::setw(9)
        << (row.bytesPerEntry >= 0 ? fixed(row.bytesPerEntry, 1) : "-") << std::setw(9)
        << fixed(row.residentBytesPerEntry, 1);
    for (const LatencySummary& latency : row.latency) {
      out << std::setw(17) << latencyText(latency);
    }
    out << std::setw(9) << fixed(static_cast<double>(row.hugePageBytes) / (1 << 20), 0);
    if (row.reportedSize != row.expectedSize && row.map != "dummy") {
      out << "  SIZE " << row.reportedSize << " != " << row.expectedSize;
    }
    out << "\n";
  }
  out << "Times are the map's measured run minus the no-op map's; latencies in ns from sampled "
         "operations.\nB/entry: bytes the map has allocated at the end, exact; RSS B/e: peak "
         "resident size over the no-op map's.\nTHP MiB: the run's memory in transparent huge "
         "pages at its end. Huge pages: "
      << (context.hugePages ? std::string("on for every map (") + kHugePagesTunable + ")"
                            : std::string("not requested"))
      << ".\n";
  if (!rows.empty() && rows.front().config.keySet) {
    out << "Keys: " << keySetText(rows.front().config)
        << "; key space = keys - 1, slot i is the i-th smallest key.\n";
  }
}

void writeJson(std::ostream& out, const Context& context, const std::vector<Row>& rows) {
  nlohmann::ordered_json document;
  document["context"] = {{"compiler", context.compiler}, {"build_type", context.buildType},
                         {"flags", context.flags},       {"commit", context.commit},
                         {"cpu", context.cpu},           {"cores", context.cores},
                         {"host", context.host},         {"kernel", context.kernel},
                         {"date", context.date},         {"huge_pages", context.hugePages}};
  nlohmann::ordered_json results = nlohmann::ordered_json::array();
  for (const Row& row : rows) {
    nlohmann::ordered_json item;
    item["map"] = row.map;
    if (row.usesTreeParameters) {
      item["k"] = row.parameters.k;
      item["k_star"] = row.parameters.k_star;
    }
    item["key_space"] = row.config.keySpace;
    item["distribution"] = test::distributionName(row.config.distribution);
    if (row.config.distribution != test::KeyDistribution::kUniform)
      item["theta"] = row.config.theta;
    item["query_ratio"] = row.config.measuredMix.queryRatio;
    item["range_ratio"] = row.config.measuredMix.rangeQueryRatio;
    item["delete_ratio"] = row.config.measuredMix.deleteRatio;
    item["range_length"] = row.config.maxRangeSize;
    item["fill_operations"] = row.config.fillOperations;
    item["measured_operations"] = row.config.measuredOperations;
    item["seed"] = row.config.seed;
    if (const auto& keySet = row.config.keySet) {
      item["key_set"] = {
          {"file", keySet->name}, {"keys", keySet->keys.size()}, {"hash", keySet->hashText()}};
    } else {
      item["key_set"] = nullptr;
    }
    item["repetitions"] = row.repetitions;
    item["median_seconds"] = row.medianSeconds;
    item["min_seconds"] = row.minSeconds;
    item["max_seconds"] = row.maxSeconds;
    item["ns_per_operation"] = row.nanosPerOperation;
    item["mops_per_second"] = row.millionOperationsPerSecond;
    item["bytes_per_entry"] =
        row.bytesPerEntry >= 0 ? nlohmann::ordered_json(row.bytesPerEntry) : nullptr;
    item["rss_bytes_per_entry"] = row.residentBytesPerEntry;
    item["huge_page_bytes"] = row.hugePageBytes;
    for (int type = 0; type < kOperationTypes; ++type) {
      item["latency_ns"][kOperationTypeNames[type]] = {{"p50", row.latency[type].p50Nanos},
                                                       {"p99", row.latency[type].p99Nanos},
                                                       {"samples", row.latency[type].samples}};
    }
    item["expected_size"] = row.expectedSize;
    item["reported_size"] = row.reportedSize;
    results.push_back(std::move(item));
  }
  document["results"] = std::move(results);
  out << document.dump(2) << "\n";
}

void writeCsv(std::ostream& out, const Context& context, const std::vector<Row>& rows) {
  // The context goes into comment lines, which gnuplot and most CSV readers skip.
  out << "# compiler=" << context.compiler << "; build=" << context.buildType
      << "; flags=" << context.flags << "; commit=" << context.commit << "\n";
  out << "# cpu=" << context.cpu << "; cores=" << context.cores << "; host=" << context.host
      << "; kernel=" << context.kernel << "; date=" << context.date
      << "; huge_pages=" << (context.hugePages ? "on" : "off") << "\n";
  out << "map,k,k_star,key_space,distribution,theta,query_ratio,range_ratio,delete_ratio,"
         "range_length,fill_operations,measured_operations,repetitions,median_s,min_s,"
         "max_s,ns_per_op,mops,bytes_per_entry,rss_bytes_per_entry,huge_page_bytes";
  for (const char* name : kOperationTypeNames)
    out << "," << name << "_p50_ns," << name << "_p99_ns";
  out << ",expected_size,reported_size,key_set,key_count,key_hash\n";
  for (const Row& row : rows) {
    out << row.map << "," << (row.usesTreeParameters ? std::to_string(row.parameters.k) : "") << ","
        << (row.usesTreeParameters ? std::to_string(row.parameters.k_star) : "") << ","
        << row.config.keySpace << "," << test::distributionName(row.config.distribution) << ","
        << (row.config.distribution != test::KeyDistribution::kUniform
                ? util::formatDouble(row.config.theta)
                : "")
        << "," << util::formatDouble(row.config.measuredMix.queryRatio) << ","
        << util::formatDouble(row.config.measuredMix.rangeQueryRatio) << ","
        << util::formatDouble(row.config.measuredMix.deleteRatio) << "," << row.config.maxRangeSize
        << "," << row.config.fillOperations << "," << row.config.measuredOperations << ","
        << row.repetitions << "," << util::formatDouble(row.medianSeconds) << ","
        << util::formatDouble(row.minSeconds) << "," << util::formatDouble(row.maxSeconds) << ","
        << util::formatDouble(row.nanosPerOperation) << ","
        << util::formatDouble(row.millionOperationsPerSecond) << ","
        << (row.bytesPerEntry >= 0 ? util::formatDouble(row.bytesPerEntry) : "") << ","
        << util::formatDouble(row.residentBytesPerEntry) << "," << row.hugePageBytes;
    for (const LatencySummary& latency : row.latency) {
      if (latency.samples == 0)
        out << ",,";  // no samples: no percentiles
      else
        out << "," << latency.p50Nanos << "," << latency.p99Nanos;
    }
    out << "," << row.expectedSize << "," << row.reportedSize;
    if (const auto& keySet = row.config.keySet)
      out << "," << keySet->name << "," << keySet->keys.size() << "," << keySet->hashText();
    else
      out << ",,,";
    out << "\n";
  }
}

}  // namespace bench
