// Move-only owners for Win32 handles and GDI objects.
//
// Each owner releases exactly one kind of handle in exactly one way; things
// released differently (CloseHandle, FindClose, DeleteObject, DeleteDC,
// ReleaseDC, RegCloseKey) get owners of their own so a handle can never be
// given back through the wrong call. Copying is deleted: a copy would close
// the handle twice. Resetting preserves the thread's last-error value, so an
// owner going out of scope between a failed call and GetLastError() is safe.
#pragma once

#include <windows.h>

#include <utility>

namespace vantrel {

template <typename Traits>
class UniqueOwner {
 public:
  using Handle = typename Traits::Handle;

  UniqueOwner() = default;
  explicit UniqueOwner(Handle h) : h_(h) {}
  ~UniqueOwner() { reset(); }

  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;
  UniqueOwner(UniqueOwner&& other) noexcept : h_(other.release()) {}
  UniqueOwner& operator=(UniqueOwner&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const { return h_; }
  bool valid() const { return Traits::IsValid(h_); }
  explicit operator bool() const { return valid(); }

  [[nodiscard]] Handle release() {
    Handle h = h_;
    h_ = Traits::Null();
    return h;
  }

  void reset(Handle h = Traits::Null()) {
    if (Traits::IsValid(h_)) {
      DWORD err = GetLastError();
      Traits::Close(h_);
      SetLastError(err);
    }
    h_ = h;
  }

 private:
  Handle h_ = Traits::Null();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return nullptr; }
  // Both conventions of "no handle" occur: CreateFile gives
  // INVALID_HANDLE_VALUE, CreateEvent and CreateThread give NULL.
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
using UniqueHandle = UniqueOwner<KernelHandleTraits>;

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
using UniqueFindHandle = UniqueOwner<FindHandleTraits>;

template <typename T>
struct GdiObjectTraits {
  using Handle = T;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};
using UniqueFont = UniqueOwner<GdiObjectTraits<HFONT>>;
using UniquePen = UniqueOwner<GdiObjectTraits<HPEN>>;
using UniqueBitmap = UniqueOwner<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueOwner<GdiObjectTraits<HBRUSH>>;

// A DC from CreateCompatibleDC: released with DeleteDC.
struct CreatedDCTraits {
  using Handle = HDC;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};
using UniqueCreatedDC = UniqueOwner<CreatedDCTraits>;

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};
using UniqueHKey = UniqueOwner<RegKeyTraits>;

// A DC borrowed from a window with GetDC/GetWindowDC: given back with
// ReleaseDC to the same window.
class ScopedWindowDC {
 public:
  explicit ScopedWindowDC(HWND hwnd, bool whole_window = false)
      : hwnd_(hwnd), dc_(whole_window ? ::GetWindowDC(hwnd) : ::GetDC(hwnd)) {}
  ~ScopedWindowDC() {
    if (dc_) ::ReleaseDC(hwnd_, dc_);
  }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// Selects an object into a DC and puts the previous one back on scope exit,
// so the owner of the selected object can delete it afterwards.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ obj)
      : dc_(dc), prev_(dc && obj ? ::SelectObject(dc, obj) : nullptr) {}
  ~ScopedSelectObject() {
    if (prev_) ::SelectObject(dc_, prev_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ prev_;
};

}  // namespace vantrel
