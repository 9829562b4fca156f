// KeyFile: a set of keys read from a file, and SlotKeyTarget, which runs a workload over it.
//
// The workload draws slots 0 .. n - 1; with a key file, slot i stands for the file's i-th
// smallest distinct key. readKeyFile() reads a file in one of two formats:
//   - SOSD binary (kSosd32, kSosd64): an 8-byte little-endian count, then exactly that many
//     little-endian unsigned keys of 32 or 64 bits. Unsigned keys map to int32 in order by
//     subtracting 2^31; a 64-bit file is accepted only when every key fits in 32 bits.
//   - text (kText): one decimal int32 a line, taken as it is.
// The keys are then sorted and de-duplicated, and hashed (FNV-1a over the sorted int32 keys,
// little-endian), so that results over different sets can be told apart.
//
// SlotKeyTarget forwards the operations of generateOperations (workload/OperationStream.h)
// to another target with every slot replaced by its key: one table lookup per key. A range
// over slots lo .. hi becomes the range of keys key(lo) .. key(hi), which holds exactly the
// set's keys of those slots. Slots must lie within 0 .. size - 1: the caller makes sure
// that the key chooser's slots do (key space = size - 1).
//
// A KeyFile is immutable once read and may be shared between threads; a SlotKeyTarget is
// as thread-safe as its target.
#ifndef WORKLOAD_KEY_FILE_H_
#define WORKLOAD_KEY_FILE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace test {

enum class KeyFormat { kSosd32, kSosd64, kText };

// "sosd32", "sosd64" or "text".
std::string_view keyFormatName(KeyFormat format);
std::optional<KeyFormat> parseKeyFormat(std::string_view name);
// The format a file's name implies: a name ending in "_uint32", "_uint64" or ".txt".
std::optional<KeyFormat> keyFormatOfName(std::string_view path);

// The most keys a file may hold: as many as the workload's int32 slots can name. A file that
// says or holds more is refused as soon as that shows, before it is read further.
inline constexpr int64_t kMaxKeyFileKeys = INT32_MAX;

struct KeyFile {
  std::string name;           // the file's name, without its directories
  std::vector<int32_t> keys;  // ascending, distinct
  uint64_t hash = 0;          // FNV-1a 64 over `keys`

  // The hash as 16 lower-case hex digits.
  std::string hashText() const;
};

// The FNV-1a 64 hash of the keys' little-endian bytes, in order.
uint64_t hashKeys(const std::vector<int32_t>& keys);

// The file's keys, or a one-line reason why it cannot be used (it cannot be read, is empty,
// is shorter or longer than its count says, holds more than kMaxKeyFileKeys keys or more
// distinct keys than the process's memory holds (a stream such as /dev/stdin), a key that
// does not map to int32, or a text line that is not one; such a line is quoted with its
// control bytes escaped).
std::variant<KeyFile, std::string> readKeyFile(const std::string& path, KeyFormat format);

// Forwards operations on slots to `Target` as operations on the keys of those slots.
template <class Target>
class SlotKeyTarget {
 public:
  SlotKeyTarget(const int32_t* keys, Target& target) : keys_(keys), target_(target) {}

  void insert(int32_t slot, int32_t value) { target_.insert(keys_[slot], value); }
  void erase(int32_t slot) { target_.erase(keys_[slot]); }
  void pointQuery(int32_t slot) { target_.pointQuery(keys_[slot]); }
  void rangeQuery(int32_t lowSlot, int32_t highSlot) {
    target_.rangeQuery(keys_[lowSlot], keys_[highSlot]);
  }

 private:
  const int32_t* keys_;
  Target& target_;
};

}  // namespace test

#endif  // WORKLOAD_KEY_FILE_H_
