// MachineContext: where and how this process's figures are produced, for the context of its
// results: the build (compiler, type, flags, commit), the machine (cpu, cores, host,
// kernel), the date, and whether the maps were asked to use huge pages.
//
// Reads /proc/cpuinfo, uname and the clock; no state of its own.
#ifndef BENCH_RUN_MACHINE_CONTEXT_H_
#define BENCH_RUN_MACHINE_CONTEXT_H_

#include "bench/model/Results.h"

namespace bench {

// The context of a timed report; a count report adds its simulated caches.
Context machineContext();

}  // namespace bench

#endif  // BENCH_RUN_MACHINE_CONTEXT_H_
