// WorkloadFields: every field of a workload, described once.
//
// A field is one option of mapbench and what it sets in WorkloadConfig: its help, how its
// text is read and checked, how a configuration is written back as that option (the command
// line of another mapbench, as --against runs one), its columns in the results, and what a
// sweep over key spaces does with it. Option parsing, the child command lines, the column
// list and the sweep all walk workloadFields(), so a field added there reaches every mode.
//
// A command line is resolved stage by stage (Stage), in the list's order within a stage, so
// that no option is read against a default that a later one replaces: the key space (the key
// file and its format, or --key-space) first, then the preset, then the options that
// override the preset and the rest; workloadRefusal() then checks the fill against the final
// key space.
//
// Failure rule: a field's read(), workloadRefusal() and decimalRefusal() return their
// refusal (one line) or nothing. The list is built once and never changes; safe to read from
// any thread.
#ifndef BENCH_MODEL_WORKLOAD_FIELDS_H_
#define BENCH_MODEL_WORKLOAD_FIELDS_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/model/Columns.h"
#include "bench/model/WorkloadConfig.h"

namespace bench {

enum class Stage { kKeySpace, kPreset, kRest };

// What a sweep over key spaces does with a field.
enum class Sweep {
  kKept,               // every cell has the value given
  kCell,               // the cell sets it (the key space, the distribution, the preset)
  kScaled,             // keeps its share of the key space
  kScaledUnlessGiven,  // keeps its share of the key space unless given on the command line
};

struct WorkloadField {
  std::string option{};  // the long option, "--fill"
  std::string help{};
  Stage stage = Stage::kRest;
  // Reads the option's text into `config`: the refusal (one line), or nothing.
  std::function<std::optional<std::string>(const std::string& text, WorkloadConfig& config)> read{};
  // The option's text that gives a configuration this field's value, or nothing when the
  // option is not written (a preset; the key space of a key set, which the file gives).
  std::function<std::optional<std::string>(const WorkloadConfig& config)> write{};
  bool readsFiles = false;  // read while resolving only, never just to check the text
  bool list = false;        // a comma-separated list; given again, the lists join
  Sweep sweep = Sweep::kKept;
  int32_t WorkloadConfig::*scaled = nullptr;  // the member kScaled* fields scale
  std::vector<Column> columns{};              // in this order in the results
  bool columnsLast = false;                   // after every other column, not with the workload
};

const std::vector<WorkloadField>& workloadFields();

// The field of `option`, or nullptr.
const WorkloadField* findWorkloadField(const std::string& option);

// Why the resolved configuration cannot run: more fill than the key space (or the key set)
// holds distinct keys. Nothing when it can.
std::optional<std::string> workloadRefusal(const WorkloadConfig& config);

// The command-line arguments that make mapbench run `config`'s workload.
std::vector<std::string> workloadArguments(const WorkloadConfig& config);

// Appends the workload fields' columns, those that go last or the others.
void appendWorkloadColumns(std::vector<Column>& columns, bool last);

// Why `text` is not a decimal integer from `minimum` to `maximum` (workload/ParseDecimal.h),
// or nothing.
std::optional<std::string> decimalRefusal(const std::string& text, int64_t minimum,
                                          int64_t maximum);

// The elements of a comma-separated list; nothing when one of them is empty (",zipf",
// "btree,", "4,,8", ",").
std::optional<std::vector<std::string>> splitList(const std::string& text);

// A finite number written in decimal (or with an exponent), read from the whole text; nothing
// for anything else, "nan" and "inf" included.
std::optional<double> parseNumber(const std::string& text);

// A named measured mix: the ratios and range length a preset sets.
struct WorkloadPreset {
  const char* name;
  const char* description;
  test::OperationMix mix;
  int32_t maxRangeSize;
};

const std::vector<WorkloadPreset>& workloadPresets();
const WorkloadPreset* findPreset(const std::string& name);

// What a preset sets in a workload, once the options that override it apply: the measured
// mix and the range length.
struct MeasuredMix {
  test::OperationMix mix;
  int32_t maxRangeSize;
};

// The name of a workload that matches no preset.
inline constexpr const char* kCustomWorkload = "custom";

// The name of the preset whose ratios and range length `mix` and `maxRangeSize` equal
// exactly, else kCustomWorkload.
std::string presetNameOf(const test::OperationMix& mix, double maxRangeSize);
// "default, read-only, ...".
std::string presetNames();

}  // namespace bench

#endif  // BENCH_MODEL_WORKLOAD_FIELDS_H_
