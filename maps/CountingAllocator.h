// CountingAllocator: an allocator that keeps a running total of the bytes it holds.
//
// It allocates through std::allocator and adds the requested size of every block to a
// counter owned by whoever owns the container, subtracting it again on deallocation, so
// the counter always holds the exact number of bytes the container has allocated and not
// yet freed (the heap's own per-block overhead is not included). Copies, and copies
// rebound to another element type (node types, for instance), share the counter; two
// allocators compare equal exactly when they share it.
//
// The counter must outlive the container: declare it before the container in the owning
// class. Not thread-safe: the counter is a plain integer, like the containers it serves.
#ifndef UTIL_COUNTING_ALLOCATOR_H_
#define UTIL_COUNTING_ALLOCATOR_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace util {

template <class T>
class CountingAllocator {
 public:
  using value_type = T;

  explicit CountingAllocator(int64_t& allocatedBytes) noexcept : allocatedBytes_(&allocatedBytes) {}
  template <class U>
  CountingAllocator(const CountingAllocator<U>& other) noexcept  // NOLINT: rebinding converts
      : allocatedBytes_(other.allocatedBytes_) {}

  T* allocate(size_t n) {
    T* block = std::allocator<T>().allocate(n);
    *allocatedBytes_ += static_cast<int64_t>(n * sizeof(T));
    return block;
  }
  void deallocate(T* block, size_t n) noexcept {
    *allocatedBytes_ -= static_cast<int64_t>(n * sizeof(T));
    std::allocator<T>().deallocate(block, n);
  }

  template <class U>
  bool operator==(const CountingAllocator<U>& other) const noexcept {
    return allocatedBytes_ == other.allocatedBytes_;
  }

 private:
  template <class U>
  friend class CountingAllocator;

  int64_t* allocatedBytes_;
};

}  // namespace util

#endif  // UTIL_COUNTING_ALLOCATOR_H_
