// What the harness keeps of a child process it runs (another build under --against, a run
// under valgrind for --count): a folder of its own for the child's files, and the line of
// the child's output that a failure message quotes.
//
// Not thread-safe; a TempDirectory belongs to the thread that made it.
#ifndef BENCH_CHILD_OUTPUT_H_
#define BENCH_CHILD_OUTPUT_H_

#include <cstddef>
#include <string>

namespace bench {

// A new folder under $TMPDIR (/tmp when unset or empty) named <prefix>-XXXXXX, removed with
// everything in it when the object goes.
class TempDirectory {
 public:
  explicit TempDirectory(const std::string& prefix);
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  // False when the folder could not be made (file() then names nothing usable).
  bool ok() const { return !path_.empty(); }
  std::string file(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The longest line of a child's output a message quotes.
inline constexpr size_t kQuoteBound = 300;

// The last line of `text` that holds more than blanks, without trailing blanks, at most
// `bound` characters ("..." after a cut) and printable (control bytes become '?'); "" when
// there is none.
std::string lastLine(const std::string& text, size_t bound = kQuoteBound);

}  // namespace bench

#endif  // BENCH_CHILD_OUTPUT_H_
