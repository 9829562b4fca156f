// AtomicFile: writes a file whole or not at all, and tells which paths name the same file.
//
// writeFileAtomically() writes into a new temporary file beside the target (in the same
// folder, so that the rename stays within one file system), flushes it to the disk and
// renames it over the target only once every byte is out. On any failure the target is left
// as it was, the temporary file is removed and the reason names the system's error. A
// symbolic link is followed: the file it names is replaced and the link stays. A target that
// exists and is not a regular file (a terminal, /dev/null, a pipe) cannot be replaced and
// holds nothing to lose: it is written directly.
//
// outputClash() finds an output path that names one of the inputs, or another output, of
// the same command, before any work: two paths name the same file when they have the same
// device and inode, or when neither exists yet and their absolute normalised forms agree.
//
// Plain functions; as thread-safe as the file system they work on.
#ifndef UTIL_ATOMIC_FILE_H_
#define UTIL_ATOMIC_FILE_H_

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace util {

// Writes `path` with `write`; nothing when it was written completely, else the line
// "could not write PATH: REASON".
std::optional<std::string> writeFileAtomically(const std::string& path,
                                               const std::function<void(std::ostream&)>& write);

// Whether the two paths name the same file (see above).
bool sameFile(const std::string& a, const std::string& b);

// A path of a command line, with the words that name it in a message ("--json", "the base
// report").
struct NamedPath {
  std::string name;
  std::string path;
};

// The first output that names an input or an earlier output, as one line ("--json a.json
// is also the base report"), or nothing. Empty paths are skipped, and so are existing files
// that are not regular (/dev/null, a terminal), which any number of outputs may share.
std::optional<std::string> outputClash(const std::vector<NamedPath>& inputs,
                                       const std::vector<NamedPath>& outputs);

}  // namespace util

#endif  // UTIL_ATOMIC_FILE_H_
