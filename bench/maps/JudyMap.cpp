#include "bench/maps/JudyMap.h"

#include <Judy.h>

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>

namespace bench {

namespace {

// The word a key is stored under: flipping the sign bit maps the signed order of the keys
// onto the unsigned order of the words.
Word_t keyWord(int32_t key) {
  return static_cast<uint32_t>(key) ^ uint32_t { 0x8000'0000 };
}

// A key's only value, stored inline in its word. A set low bit tells it from the address
// of a value list, which is at least 4-byte aligned.
constexpr Word_t kInlineTag = 1;

Word_t inlineWord(int32_t value) {
  return (Word_t{static_cast<uint32_t>(value)} << 1) | kInlineTag;
}
bool isInline(Word_t word) {
  return (word & kInlineTag) != 0;
}
int32_t inlineValue(Word_t word) {
  return static_cast<int32_t>(static_cast<uint32_t>(word >> 1));
}

// The values of a key that holds more than one, in insertion order: one heap block laid
// out as [count, capacity, value 0, value 1, ...]. While a list is stored, the key's word
// holds the block's address and the map owns it through that word; a ValueList object owns
// a block in hand and frees it unless release() hands it back to a word.
class ValueList {
 public:
  // A new list of `values` followed by `value`, with room for as many again.
  ValueList(std::span<const int32_t> values, int32_t value) {
    if (values.size() >= kMaxCapacity)
      throw std::length_error("JudyMap: too many values for one key");
    const size_t capacity = std::min<size_t>(std::max<size_t>(2 * values.size(), 2), kMaxCapacity);
    block_ = std::make_unique_for_overwrite<int32_t[]>(kHeader + capacity);
    block_[0] = static_cast<int32_t>(values.size() + 1);
    block_[1] = static_cast<int32_t>(capacity);
    std::copy(values.begin(), values.end(), block_.get() + kHeader);
    block_[kHeader + values.size()] = value;
  }

  // Takes back the list stored in `word`.
  static ValueList adopt(Word_t word) { return ValueList(blockOf(word)); }

  // Gives the block up, returning the word that stores it.
  Word_t release() { return reinterpret_cast<Word_t>(block_.release()); }

  // The stored list's values.
  static std::span<const int32_t> values(Word_t word) {
    const int32_t* block = blockOf(word);
    return {block + kHeader, static_cast<size_t>(block[0])};
  }
  // Appends to the stored list if it has room; false when it is full.
  static bool appendInPlace(Word_t word, int32_t value) {
    int32_t* block = blockOf(word);
    if (block[0] == block[1])
      return false;
    block[kHeader + block[0]++] = value;
    return true;
  }
  // Bytes of the stored list's block.
  static int64_t bytes(Word_t word) {
    return static_cast<int64_t>((kHeader + blockOf(word)[1]) * sizeof(int32_t));
  }

 private:
  static constexpr size_t kHeader = 2;
  static constexpr size_t kMaxCapacity = std::numeric_limits<int32_t>::max() - kHeader;

  explicit ValueList(int32_t* block) : block_(block) {}
  static int32_t* blockOf(Word_t word) { return reinterpret_cast<int32_t*>(word); }

  std::unique_ptr<int32_t[]> block_;
};

void deliver(Word_t word, util::IntPushOperator& op) {
  if (isInline(word)) {
    op.pass(inlineValue(word));
    return;
  }
  for (int32_t value : ValueList::values(word))
    op.pass(value);
}

}  // namespace

JudyMap::~JudyMap() {
  if (listBytes_ > 0) {
    Word_t index = 0;
    for (PPvoid_t slot = JudyLFirst(judy_, &index, PJE0); slot != nullptr;
         slot = JudyLNext(judy_, &index, PJE0)) {
      const Word_t word = *reinterpret_cast<Word_t*>(slot);
      if (!isInline(word))
        ValueList::adopt(word);  // freed at once
    }
  }
  JudyLFreeArray(&judy_, PJE0);
}

void JudyMap::erase(int32_t key) {
  const Word_t index = keyWord(key);
  if (listBytes_ == 0) {
    // Every key holds one inline value: no list to free, so no lookup before the delete.
    const int deleted = JudyLDel(&judy_, index, PJE0);
    if (deleted == JERR)
      throw std::bad_alloc();
    size_ -= deleted;
    return;
  }
  const PPvoid_t slot = JudyLGet(judy_, index, PJE0);
  if (slot == nullptr)
    return;
  const Word_t word = *reinterpret_cast<Word_t*>(slot);
  if (JudyLDel(&judy_, index, PJE0) == JERR)
    throw std::bad_alloc();
  if (isInline(word)) {
    --size_;
    return;
  }
  size_ -= static_cast<int64_t>(ValueList::values(word).size());
  listBytes_ -= ValueList::bytes(word);
  ValueList::adopt(word);  // freed at once
}

void JudyMap::insert(int32_t key, int32_t value) {
  const PPvoid_t slot = JudyLIns(&judy_, keyWord(key), PJE0);
  if (slot == PPJERR)
    throw std::bad_alloc();
  Word_t& word = *reinterpret_cast<Word_t*>(slot);  // 0 for a new key
  if (word == 0) {
    word = inlineWord(value);
  } else if (isInline(word)) {
    const int32_t first = inlineValue(word);
    word = ValueList({&first, 1}, value).release();
    listBytes_ += ValueList::bytes(word);
  } else if (!ValueList::appendInPlace(word, value)) {
    ValueList grown(ValueList::values(word), value);  // may throw: nothing has changed yet
    listBytes_ -= ValueList::bytes(word);
    ValueList::adopt(word);  // the full list, freed at once
    word = grown.release();
    listBytes_ += ValueList::bytes(word);
  }
  ++size_;
}

void JudyMap::pointQuery(int32_t key, util::IntPushOperator& op) {
  const PPvoid_t slot = JudyLGet(judy_, keyWord(key), PJE0);
  if (slot != nullptr)
    deliver(*reinterpret_cast<Word_t*>(slot), op);
}

void JudyMap::rangeQuery(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) {
  if (lowKey > highKey)
    return;
  Word_t index = keyWord(lowKey);
  const Word_t last = keyWord(highKey);
  for (PPvoid_t slot = JudyLFirst(judy_, &index, PJE0); slot != nullptr && index <= last;
       slot = JudyLNext(judy_, &index, PJE0)) {
    deliver(*reinterpret_cast<Word_t*>(slot), op);
  }
}

int64_t JudyMap::allocatedBytes() const {
  return static_cast<int64_t>(JudyLMemUsed(judy_)) + listBytes_;
}

}  // namespace bench
