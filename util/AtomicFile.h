// AtomicFile: writes a file whole or not at all, and tells which paths name the same file.
//
// writeFileAtomically() writes into a new temporary file inside the target's folder (so that
// the rename stays within one folder and one file system), flushes it to the disk and
// renames it over the target only once every byte is out. On any failure the target is left
// as it was, the temporary file is removed and the reason names the system's error; a write
// beyond the file-size limit fails with EFBIG rather than ending the process by SIGXFSZ
// (ignored while the file is written, where it would end the process). A symbolic link is
// followed: the file it names is replaced and the link stays. Nothing else is ever renamed
// over:
// - a target that exists and is not a regular file (a device, a terminal, a pipe or FIFO,
//   /dev/stdout or /proc/self/fd/N on one of them) holds nothing to lose and is written in
//   place;
// - a regular file this process holds open for writing (standard output redirected to it,
//   reached as /dev/stdout or by its name) is written through that descriptor, at its offset
//   and in its append mode, after what the standard streams still held, so both outputs stay;
// - a symbolic link whose target does not exist or cannot be resolved is refused.
//
// writableRefusal() tells, before any work, whether a path cannot take an output: a folder, a
// dangling link, a folder that does not exist.
//
// outputClash() finds an output path that names one of the inputs, or another output, of
// the same command, before any work: two paths name the same file when they have the same
// device and inode, or when neither exists yet and their absolute normalised forms agree.
//
// Plain functions; as thread-safe as the file system they work on, except that
// writeFileAtomically() changes the process's SIGXFSZ disposition while it writes.
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

// Why `path` cannot take an output, as the line writeFileAtomically() would give ("could not
// write PATH: REASON"), or nothing.
std::optional<std::string> writableRefusal(const std::string& path);

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
