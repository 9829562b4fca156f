#include "workload/KeyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "util/Printable.h"
#include "workload/EnumNames.h"

namespace test {

namespace {

constexpr uint32_t kSignFlip = 0x8000'0000u;  // u ^ kSignFlip == u - 2^31 as int32

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Reads a file front to back through a buffer; closes it when done.
class FileReader {
 public:
  explicit FileReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY)) {
    if (fd_ < 0)
      error_ = std::strerror(errno);
  }
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  ~FileReader() {
    if (fd_ >= 0)
      ::close(fd_);
  }

  // The reason the file cannot be read, or empty.
  const std::string& error() const { return error_; }

  // The file's size when it is a regular file, else nothing.
  std::optional<int64_t> regularSize() const {
    struct stat status {};
    if (fd_ < 0 || ::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode))
      return std::nullopt;
    return static_cast<int64_t>(status.st_size);
  }

  // Copies up to `size` bytes to `out`; returns how many (fewer only at the end of the file
  // or on an error, which error() then names).
  size_t read(void* out, size_t size) {
    char* bytes = static_cast<char*>(out);
    size_t done = 0;
    while (done < size) {
      if (begin_ == end_ && !fill())
        break;
      const size_t n = std::min(size - done, end_ - begin_);
      std::memcpy(bytes + done, buffer_.data() + begin_, n);
      begin_ += n;
      done += n;
    }
    return done;
  }

  // The next line without its line end (and a trailing '\r'); false at the end of the file.
  // Stops at `limit` + 1 bytes: a longer line is cut there and the rest is not read.
  bool readLine(std::string& line, size_t limit) {
    line.clear();
    bool any = false;
    while (line.size() <= limit) {
      if (begin_ == end_ && !fill())
        break;
      any = true;
      const char* start = buffer_.data() + begin_;
      const void* newline = std::memchr(start, '\n', end_ - begin_);
      const size_t n =
          std::min<size_t>(newline ? static_cast<const char*>(newline) - start : end_ - begin_,
                           limit + 1 - line.size());
      line.append(start, n);
      begin_ += n;
      if (newline && start + n == newline) {
        ++begin_;
        break;
      }
    }
    if (line.size() <= limit && !line.empty() && line.back() == '\r')
      line.pop_back();
    return any;
  }

 private:
  bool fill() {
    if (fd_ < 0 || !error_.empty())
      return false;
    ssize_t n;
    do {
      n = ::read(fd_, buffer_.data(), buffer_.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0)
      error_ = std::strerror(errno);
    begin_ = 0;
    end_ = n > 0 ? static_cast<size_t>(n) : 0;
    return n > 0;
  }

  int fd_;
  std::string error_;
  std::vector<char> buffer_ = std::vector<char>(size_t{1} << 20);
  size_t begin_ = 0, end_ = 0;
};

uint64_t littleEndian(const unsigned char* bytes, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i)
    value = (value << 8) | bytes[i];
  return value;
}

// From this many keys on, the repeats are dropped before the keys' vector grows.
constexpr size_t kCompactFrom = size_t{1} << 20;

// Appends `key` to `keys`; false when the keys no longer fit in memory. Before the vector
// grows, its repeats are dropped (the keys are sorted and deduplicated at the end anyway),
// so a stream of few distinct keys takes little memory however long it runs.
bool appendKey(std::vector<int32_t>& keys, int32_t key) {
  try {
    if (keys.size() == keys.capacity() && keys.size() >= kCompactFrom) {
      std::sort(keys.begin(), keys.end());
      keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
      if (keys.size() > keys.capacity() / 2)
        keys.reserve(keys.capacity() * 2);
    }
    keys.push_back(key);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::string tooManyForMemory(uint64_t read) {
  return "holds more distinct keys than fit in this process's memory (over " +
         std::to_string(read) + " keys read)";
}

// Reads the SOSD keys into `keys`; returns the reason on failure.
std::string readSosd(FileReader& file, int width, std::vector<int32_t>& keys) {
  unsigned char header[8];
  const size_t headerBytes = file.read(header, sizeof header);
  if (!file.error().empty())
    return file.error();
  if (headerBytes == 0)
    return "is empty";
  if (headerBytes < sizeof header)
    return "is shorter than its 8-byte count";
  const uint64_t count = littleEndian(header, 8);
  if (count == 0)
    return "holds no keys (its count is 0)";
  if (count > static_cast<uint64_t>(kMaxKeyFileKeys)) {
    return "its count says " + std::to_string(count) + " keys, more than the " +
           std::to_string(kMaxKeyFileKeys) + " the slots can name";
  }
  const std::string expected =
      "its count says " + std::to_string(count) + " keys of " + std::to_string(width) + " bytes";
  // A regular file's size tells at once whether the count is right (a file of 32-bit keys
  // read as 64-bit ones, say); other files are checked as they are read. Either way nothing
  // larger than the file is reserved, so that a wrong count cannot exhaust memory.
  uint64_t room = uint64_t{1} << 20;
  if (const std::optional<int64_t> size = file.regularSize()) {
    const uint64_t bytes = static_cast<uint64_t>(*size) - 8;
    if (bytes / width < count)
      return "is shorter than " + expected + " (it holds " + std::to_string(bytes / width) + ")";
    if (bytes / width > count || bytes % width != 0)
      return "is longer than " + expected;
    room = count;
  }
  try {
    keys.reserve(static_cast<size_t>(std::min(count, room)));
  } catch (const std::bad_alloc&) {
    return tooManyForMemory(0);
  }

  unsigned char chunk[1 << 16];
  uint64_t done = 0;
  while (done < count) {
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(count - done, sizeof chunk / width)) * width;
    const size_t got = file.read(chunk, want);
    if (!file.error().empty())
      return file.error();
    for (size_t offset = 0; offset + width <= got; offset += width, ++done) {
      const uint64_t key = littleEndian(chunk + offset, width);
      if (key > std::numeric_limits<uint32_t>::max()) {
        return "key " + std::to_string(key) + " (number " + std::to_string(done + 1) +
               ") does not fit in 32 bits unsigned";
      }
      if (!appendKey(keys, static_cast<int32_t>(static_cast<uint32_t>(key) ^ kSignFlip)))
        return tooManyForMemory(done);
    }
    if (got < want)
      return "is shorter than " + expected + " (it holds " + std::to_string(done) + ")";
  }
  unsigned char extra;
  if (file.read(&extra, 1) != 0)
    return "is longer than " + expected;
  return file.error();
}

// The longest line a key may take: a sign, leading zeros and the digits, with room to spare.
constexpr size_t kMaxLineBytes = 64;

std::string readText(FileReader& file, std::vector<int32_t>& keys) {
  std::string line;
  for (int64_t number = 1; file.readLine(line, kMaxLineBytes); ++number) {
    const std::string where = "line " + std::to_string(number);
    if (line.size() > kMaxLineBytes) {
      return where + " ('" + util::printable(line) + "') is longer than any 32-bit " +
             "integer (over " + std::to_string(kMaxLineBytes) + " bytes)";
    }
    if (number > kMaxKeyFileKeys) {
      return "holds more than the " + std::to_string(kMaxKeyFileKeys) + " keys the slots can name";
    }
    int32_t key = 0;
    const char* end = line.data() + line.size();
    const auto [stop, error] = std::from_chars(line.data(), end, key);
    if (line.empty() || error != std::errc() || stop != end) {
      return where + " ('" + util::printable(line) + "') is not a decimal 32-bit signed integer";
    }
    if (!appendKey(keys, key))
      return tooManyForMemory(static_cast<uint64_t>(number - 1));
  }
  if (!file.error().empty())
    return file.error();
  return keys.empty() ? "is empty" : "";
}

}  // namespace

std::string_view keyFormatName(KeyFormat format) {
  switch (format) {
    case KeyFormat::kSosd32:
      return "sosd32";
    case KeyFormat::kSosd64:
      return "sosd64";
    case KeyFormat::kText:
      return "text";
  }
  return "text";
}

std::optional<KeyFormat> parseKeyFormat(std::string_view name) {
  return enumOfName(name, {KeyFormat::kSosd32, KeyFormat::kSosd64, KeyFormat::kText},
                    keyFormatName);
}

std::optional<KeyFormat> keyFormatOfName(std::string_view path) {
  if (endsWith(path, "_uint32"))
    return KeyFormat::kSosd32;
  if (endsWith(path, "_uint64"))
    return KeyFormat::kSosd64;
  if (endsWith(path, ".txt"))
    return KeyFormat::kText;
  return std::nullopt;
}

std::string KeyFile::hashText() const {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

uint64_t hashKeys(const std::vector<int32_t>& keys) {
  uint64_t hash = 0xcbf2'9ce4'8422'2325ull;
  for (int32_t key : keys) {
    const uint32_t bits = static_cast<uint32_t>(key);
    for (int shift = 0; shift < 32; shift += 8) {
      hash ^= (bits >> shift) & 0xFF;
      hash *= 0x100'0000'01b3ull;
    }
  }
  return hash;
}

std::variant<KeyFile, std::string> readKeyFile(const std::string& path, KeyFormat format) {
  KeyFile file;
  file.name = path.substr(path.find_last_of('/') + 1);
  FileReader reader(path);
  std::string problem = reader.error();
  if (problem.empty()) {
    problem = format == KeyFormat::kText
                  ? readText(reader, file.keys)
                  : readSosd(reader, format == KeyFormat::kSosd32 ? 4 : 8, file.keys);
  }
  if (!problem.empty())
    return path + ": " + problem;
  std::sort(file.keys.begin(), file.keys.end());
  file.keys.erase(std::unique(file.keys.begin(), file.keys.end()), file.keys.end());
  file.keys.shrink_to_fit();
  file.hash = hashKeys(file.keys);
  return file;
}

}  // namespace test
