// HugePages: lets every map of a run use transparent huge pages, or none of them.
//
// The peers (absl's nodes, Judy's arrays, the standard containers) allocate through malloc:
// glibc's tunable glibc.malloc.hugetlb=1 makes malloc ask the kernel for transparent huge
// pages (madvise) on every region it takes from it. The trees' arenas take their large
// chunks from the kernel themselves, on 2 MiB boundaries, and advise them for huge pages
// when the process asked for them (util::Arena::useHugePages, which mapbench sets from the
// tunable). Tunables are read when a process starts: with --huge-pages, mapbench starts
// itself again with the tunable in its environment, and the forked runs inherit it. Without the
// flag no map asks for huge pages (the kernel may still use them for all when its policy is
// "always"; the report shows what each run got).
//
// Process state: useHugePagesAsAsked() re-executes this program (execv) with the tunable
// added to GLIBC_TUNABLES, and sets the arenas' huge-page mode for this process and the runs
// it forks.
#ifndef BENCH_RUN_HUGE_PAGES_H_
#define BENCH_RUN_HUGE_PAGES_H_

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace bench {

// The tunable that turns huge pages on for malloc.
inline constexpr const char* kHugePagesTunable = "glibc.malloc.hugetlb=1";

// Whether this process started with the tunable set.
bool hugePagesRequested();

// Whether a GLIBC_TUNABLES value sets the tunable: its colon-separated entries are read as
// glibc reads them, whole names and values, the last entry of a name counting
// ("glibc.malloc.hugetlb=10" and "xglibc.malloc.hugetlb=1" do not).
bool tunablesAskForHugePages(std::string_view tunables);

// Why this machine cannot give huge pages (the kernel's policy is "never" or unknown), or
// nothing when it can. `policyPath` is the kernel's policy file.
std::optional<std::string> hugePagesUnavailable(
    const std::string& policyPath = "/sys/kernel/mm/transparent_hugepage/enabled");

// GLIBC_TUNABLES with the tunable added to `current` (the variable's value, or nothing).
std::string tunablesWithHugePages(const std::optional<std::string>& current);

// Starts this program again with the tunable set and the same arguments. Returns only when
// that failed, with the reason.
std::string restartWithHugePages(char** argv);

// With `asked` (--huge-pages) in a process that did not start with the tunable, starts this
// program again with it (returns only when that failed); then sets the trees' arenas to ask
// for huge pages where the tunable is set. False, after one line on `err`, when the restart
// failed.
bool useHugePagesAsAsked(bool asked, char** argv, std::ostream& err);

// Anonymous memory of this process now backed by huge pages, in bytes; 0 when unknown.
int64_t hugePageBytes();

}  // namespace bench

#endif  // BENCH_RUN_HUGE_PAGES_H_
