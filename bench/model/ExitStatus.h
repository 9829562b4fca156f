// ExitStatus: the exit statuses of the harness's programs (mapbench, mapbench compare,
// make-keys), named once.
//
// The failure rule of the harness: a check returns its refusal (std::optional<std::string>,
// one line, nothing when it passes); an action returns bool and, when it fails, has written
// one line to the error stream it was given; a program turns what failed into one of these
// statuses. Exceptions come only from libraries (the trees refuse parameters, allocation
// fails) and are caught where the library is called.
#ifndef BENCH_MODEL_EXIT_STATUS_H_
#define BENCH_MODEL_EXIT_STATUS_H_

namespace bench {

// Everything ran and every result was written.
inline constexpr int kSuccess = 0;
// A run, a check of the results, or a write failed (one line on standard error says which).
inline constexpr int kFailure = 1;
// A refused command line or input, before anything ran (one line on standard error).
inline constexpr int kUsageError = 2;

}  // namespace bench

#endif  // BENCH_MODEL_EXIT_STATUS_H_
