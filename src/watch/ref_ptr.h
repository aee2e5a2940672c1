// An owner of one reference on an object with AddRef and Release (change
// handlers, dispatchers). Move-only: a copy would be a second reference that
// nobody took.
#pragma once

#include <utility>

namespace vantrel {

template <typename T>
class RefPtr {
 public:
  RefPtr() = default;
  // Takes over a reference the caller already holds (a creator's).
  static RefPtr Adopt(T* p) { return RefPtr(p); }
  // Takes a reference of its own.
  static RefPtr Share(T* p) {
    if (p) p->AddRef();
    return RefPtr(p);
  }
  ~RefPtr() { reset(); }
  RefPtr(const RefPtr&) = delete;
  RefPtr& operator=(const RefPtr&) = delete;
  RefPtr(RefPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  RefPtr& operator=(RefPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

 private:
  explicit RefPtr(T* p) : p_(p) {}
  T* p_ = nullptr;
};

}  // namespace vantrel
