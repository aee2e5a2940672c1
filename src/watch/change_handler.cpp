#include "watch/change_handler.h"

#include "watch/dir_watcher.h"

namespace vantrel {

CDirChangeHandler::CDirChangeHandler() = default;

CDirChangeHandler::~CDirChangeHandler() { StopWatching(); }

LONG CDirChangeHandler::AddRef() { return ::InterlockedIncrement(&refs_); }

LONG CDirChangeHandler::Release() {
  const LONG n = ::InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return n;
}

// handler_lock_ guards the binding's read-modify-write. It is never held
// while calling into a watcher: StopWatching under it would take the
// watcher's table lock in the reverse order of entry destruction (table
// lock, then handler lock in UnbindWatcher) and deadlock against the worker
// removing an entry after a read error.
LONG CDirChangeHandler::BindWatcher(CDirWatcher* watcher) {
  CDirWatcher* other = nullptr;
  {
    AutoLock lock(handler_lock_);
    if (!bound_watcher_ || bound_watcher_ == watcher) {
      bound_watcher_ = watcher;
      return ::InterlockedIncrement(&watch_count_);
    }
    other = bound_watcher_;
  }
  // Bound elsewhere: this handler is watched by one watcher at a time. The
  // new watch already runs on `watcher`, so the binding follows it whether or
  // not the old watcher still had watches for us; keeping the old binding
  // would let the destructor's StopWatching miss the running watch.
  other->StopWatchForHandler(this);
  AutoLock lock(handler_lock_);
  bound_watcher_ = watcher;
  watch_count_ = 1;
  return 1;
}

LONG CDirChangeHandler::UnbindWatcher(CDirWatcher* watcher) {
  AutoLock lock(handler_lock_);
  LONG n = ::InterlockedDecrement(&watch_count_);
  if (n <= 0) {
    bound_watcher_ = nullptr;
    watch_count_ = 0;
    n = 0;
  }
  return n;
}

BOOL CDirChangeHandler::StopWatching() {
  CDirWatcher* watcher = BoundWatcher();
  return watcher ? watcher->StopWatchForHandler(this) : TRUE;
}

CDirWatcher* CDirChangeHandler::BoundWatcher() {
  AutoLock lock(handler_lock_);
  return bound_watcher_;
}

// directory_lock_: the string is written by the worker and may be read on
// any thread; a string is not atomic.
void CDirChangeHandler::AssignCurrentDirectory(const std::string& directory) {
  AutoLock lock(directory_lock_);
  current_directory_ = directory;
}

std::string CDirChangeHandler::CurrentDirectory() {
  AutoLock lock(directory_lock_);
  return current_directory_;
}

}  // namespace vantrel
