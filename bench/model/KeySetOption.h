// KeySetOption: mapbench --keys FILE [--key-format FORMAT], a file's keys as the key space.
//
// useKeyFile() reads the file (workload/KeyFile.h), in the format given or else the one its
// name implies, and makes its keys the workload's: the key space becomes the number of
// distinct keys minus one, since the workload's slots run 0 .. key space and slot i stands
// for the i-th smallest key. It refuses, with one line, a file it cannot read or use: no
// format known, unreadable, malformed, fewer than two distinct keys, more than the slots can
// address. The fill is checked against the keys once the whole command line is read
// (workloadRefusal in bench/model/WorkloadFields.h).
//
// Failure rule: useKeyFile() returns its refusal or nothing. Reads the file once; no state.
#ifndef BENCH_MODEL_KEY_SET_OPTION_H_
#define BENCH_MODEL_KEY_SET_OPTION_H_

#include <optional>
#include <string>

#include "bench/model/WorkloadConfig.h"

namespace bench {

// Sets config.keySet and config.keySpace from the file at `path`, and config.keyFile and
// config.keyFormat to where and how it was read; `formatName` is "sosd32", "sosd64", "text"
// or empty (taken from the name). Returns the refusal, or nothing.
std::optional<std::string> useKeyFile(const std::string& path, const std::string& formatName,
                                      WorkloadConfig& config);

// The bytes the driver holds for the key set of `config`: 4 per key.
int64_t keySetBytes(const WorkloadConfig& config);

// "NAME, N keys, hash H", or "" without a key set.
std::string keySetText(const WorkloadConfig& config);

}  // namespace bench

#endif  // BENCH_MODEL_KEY_SET_OPTION_H_
