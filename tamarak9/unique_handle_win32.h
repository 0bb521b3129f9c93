// One move-only owner for the Win32 handles the library opens.
#pragma once

#include <windows.h>

#include <utility>

namespace tamarak9 {

template <typename Handle, typename Close, Handle Invalid = Handle()>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, Invalid)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(std::exchange(other.h_, Invalid));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Invalid; }
  // For out-parameters: releases what is held first.
  Handle* put() {
    reset();
    return &h_;
  }
  void reset(Handle h = Invalid) {
    if (h_ != Invalid) Close()(h_);
    h_ = h;
  }

 private:
  Handle h_ = Invalid;
};

struct RegCloseKeyFn {
  void operator()(HKEY h) const { RegCloseKey(h); }
};
using UniqueHkey = UniqueHandle<HKEY, RegCloseKeyFn>;

}  // namespace tamarak9
