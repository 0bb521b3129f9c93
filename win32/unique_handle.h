// One move-only owner for every kind of Win32 handle the program and its
// support library open: registry keys, modules, event sources, GDI objects,
// window device contexts and files. Header-only and free of the C++ runtime,
// so the support library can use it too.
#pragma once

#include <windows.h>

namespace kestrad {

// `Traits` gives the handle type, its invalid value and how to close it.
template <class Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  // For out-parameters: closes what is held first.
  Handle* put() {
    reset();
    return &h_;
  }
  Handle release() {
    const Handle h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void reset(Handle h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }

 private:
  Handle h_ = Traits::Invalid();
};

template <class H, class Closer>
struct NullIsInvalid {
  using Handle = H;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { Closer::Close(h); }
};

struct CloseKey {
  static void Close(HKEY h) { RegCloseKey(h); }
};
struct CloseModule {
  static void Close(HMODULE h) { FreeLibrary(h); }
};
struct CloseEventSource {
  static void Close(HANDLE h) { DeregisterEventSource(h); }
};
struct CloseGdiObject {
  static void Close(HGDIOBJ h) { DeleteObject(h); }
};
struct CloseKernelObject {
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct CloseFile {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};

using UniqueKey = UniqueHandle<NullIsInvalid<HKEY, CloseKey>>;
using UniqueModule = UniqueHandle<NullIsInvalid<HMODULE, CloseModule>>;
using UniqueEventSource = UniqueHandle<NullIsInvalid<HANDLE, CloseEventSource>>;
template <class H>
using UniqueGdiObject = UniqueHandle<NullIsInvalid<H, CloseGdiObject>>;
using UniqueFont = UniqueGdiObject<HFONT>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniqueFile = UniqueHandle<CloseFile>;
// A process, a thread or a pipe end: kernel objects whose absence is null.
using UniqueKernelObject = UniqueHandle<NullIsInvalid<HANDLE, CloseKernelObject>>;

// A window's device context, released to its window.
class UniqueWindowDc {
 public:
  explicit UniqueWindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  UniqueWindowDc(const UniqueWindowDc&) = delete;
  UniqueWindowDc& operator=(const UniqueWindowDc&) = delete;
  ~UniqueWindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace kestrad
