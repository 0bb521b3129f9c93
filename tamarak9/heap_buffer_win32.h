// An owned block of the process heap for the library's temporary texts:
// HeapAlloc and HeapFree, with nothing of the C++ runtime behind them. A
// request that cannot be met leaves the buffer empty and is reported as
// false, so every entry point can return its documented failure result.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace tamarak9 {

template <typename T>
class HeapBuffer {
  static_assert(std::is_trivial_v<T>, "the elements are raw, zeroed memory");

 public:
  HeapBuffer() = default;
  HeapBuffer(const HeapBuffer&) = delete;
  HeapBuffer& operator=(const HeapBuffer&) = delete;
  ~HeapBuffer() { Free(); }

  // Replaces what is held with `count` zeroed elements. False, and empty,
  // when there is no memory or the size in bytes would not fit a size_t.
  bool Allocate(std::size_t count) {
    Free();
    if (count == 0 || count > SIZE_MAX / sizeof(T)) return false;
    data_ = static_cast<T*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(T)));
    size_ = data_ != nullptr ? count : 0;
    return data_ != nullptr;
  }

  T* get() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  void Free() {
    if (data_ != nullptr) HeapFree(GetProcessHeap(), 0, data_);
    data_ = nullptr;
    size_ = 0;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace tamarak9
