// The base of every receiver of change notifications. Reference counted
// with interlocked operations; created with one reference (the creator's),
// and each watch that targets it holds one more. Its notification operations
// run on the delivering thread only (the thread that owns the delivery
// window), one at a time, in the order the changes were reported.
//
// A handler must not be destroyed while a watch targets it. Each watch holds
// a reference, so a heap handler let go of through Release() never is. A
// handler with static or automatic storage (a global) is destroyed whatever
// its count says: its owner stops its watches first
// (CDirWatcher::StopWatchForHandler on every watcher that watches for it).
// The handler knows no watcher and stops nothing itself; debug builds and
// the tests check, as it goes, that no reference but the owner's is left.
#pragma once

#include <windows.h>

#include <string>

#include "platform/lock.h"
#include "watch/change_stamp.h"

namespace vantrel {

class CDirChangeHandler {
 public:
  CDirChangeHandler();
  virtual ~CDirChangeHandler();
  CDirChangeHandler(const CDirChangeHandler&) = delete;
  CDirChangeHandler& operator=(const CDirChangeHandler&) = delete;

  virtual void NotifyAdded(const std::string& path) {}
  virtual void NotifyRemoved(const std::string& path) {}
  virtual void NotifyRenamed(const std::string& old_path, const std::string& new_path) {}
  virtual void NotifyModified(const std::string& path) {}
  virtual void NotifyReadError(DWORD error, const std::string& directory) {}
  virtual void NotifyWatchStarted(DWORD error, const std::string& directory) {}
  virtual void NotifyWatchStopped(const std::string& directory) {}
  // Asked after the include test, for kinds NK_ADDED to NK_RENAMED only.
  virtual bool AcceptChange(DWORD kind, const char* path, const char* new_path) { return true; }
  // The system dropped changes of the directory (its buffer overflowed).
  // By default this is reported as a modification of the directory itself,
  // so a handler that rebuilds on any change rebuilds and never stays stale.
  virtual void NotifyChangesLost(const std::string& directory) { NotifyModified(directory); }

  LONG AddRef();
  LONG Release();
  LONG RefCount() const { return refs_; }

  // While one of the notification operations runs for a delivered
  // notification: that notification's stamp (change_stamp.h); 0 when the
  // operation was called otherwise.
  ChangeStamp DeliveringStamp() const { return delivering_stamp_; }

  // The watched directory whose batch is being reported; set by the worker
  // (through the dispatcher) before each batch. Not virtual: the worker
  // calls it under the dispatcher's target lock, where no handler's own code
  // may run.
  void AssignCurrentDirectory(const std::string& directory);
  std::string CurrentDirectory();

 private:
  friend class DeliveringStampScope;
  volatile LONG refs_ = 1;
  CriticalSection directory_lock_;  // guards current_directory_ only
  std::string current_directory_;
  ChangeStamp delivering_stamp_ = 0;  // set around each delivery, delivering thread only
};

// Sets a handler's delivering stamp for one delivery and restores the outer
// one after it: a notification operation may pump messages (a stop) and so
// have other records delivered to the same handler inside it.
class DeliveringStampScope {
 public:
  DeliveringStampScope(CDirChangeHandler* handler, ChangeStamp stamp)
      : handler_(handler), outer_(handler->delivering_stamp_) {
    handler_->delivering_stamp_ = stamp;
  }
  ~DeliveringStampScope() { handler_->delivering_stamp_ = outer_; }
  DeliveringStampScope(const DeliveringStampScope&) = delete;
  DeliveringStampScope& operator=(const DeliveringStampScope&) = delete;

 private:
  CDirChangeHandler* handler_;
  ChangeStamp outer_;
};

}  // namespace vantrel
