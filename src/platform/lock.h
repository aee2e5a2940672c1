// Critical section owner and scoped lock.
//
// Win32 critical sections are recursive, which the directory watcher relies
// on: its stop operations hold the table lock while they call back into
// operations that take it again.
#pragma once

#include <windows.h>

namespace vantrel {

class CriticalSection {
 public:
  CriticalSection() { ::InitializeCriticalSection(&cs_); }
  ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { ::EnterCriticalSection(&cs_); }
  void Leave() { ::LeaveCriticalSection(&cs_); }
  // Enters only if no other thread holds the section; for a thread that
  // must never block on it (the directory watcher's worker).
  bool TryEnter() { return ::TryEnterCriticalSection(&cs_) != FALSE; }
  // True when the calling thread holds the section (for assertions only).
  bool HeldByCurrentThread() const {
    return reinterpret_cast<DWORD_PTR>(cs_.OwningThread) ==
           static_cast<DWORD_PTR>(::GetCurrentThreadId());
  }

 private:
  CRITICAL_SECTION cs_;
};

class AutoLock {
 public:
  explicit AutoLock(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  ~AutoLock() { cs_.Leave(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;

 private:
  CriticalSection& cs_;
};

}  // namespace vantrel
