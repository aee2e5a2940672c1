// The dispatcher: the worker's sink for one watch. Each report becomes a
// CChangeNotification record posted to the delivery window; on the window's
// thread the record is filtered and the target handler called.
//
// - Threads: the worker calls the Notify* operations, AssignCurrentDirectory,
//   RetryChangesLost and ChangesLostPending; the delivering thread (the
//   window's) calls Dispatch, and with it every target operation. The waits
//   between the two are in stop_handshake.h.
// - References: the dispatcher is reference counted. The watch entry holds
//   the creator's reference; each record holds one from its making to the
//   end of its Dispatch (or its failed post). So a dispatcher outlives every
//   record posted for it, even when the watcher destroys the entry right
//   after a refused read while the watch-started or read-error notice is
//   still queued; its last reference may then go on the delivering thread.
// - The target: the watch entry holds a reference on it and, when the entry
//   goes, hands it to the dispatcher (AdoptTargetReference), which drops it
//   with its own last reference. So every record queued before the entry
//   went still reaches the target: after a refused read, the changes of the
//   last batch, the read error and a refused start's watch-started notice.
// - target_lock_: the target pointer is read on both threads and detached by
//   whoever destroys the watch entry (the stopping thread, or the worker
//   after a read error). Dispatch takes its own reference on the target under
//   the lock and calls it outside, so a detach never frees a target that is
//   being called. The worker's AssignCurrentDirectory sets the target's
//   directory under the lock; that is the base's locked string assignment,
//   not virtual, so no handler's own code runs under it.
// - Lost changes: a change that could not be posted (the queue is full, or
//   the window is gone) is owed to the handler as a changes-lost notice; the
//   worker retries it on a timer (RetryChangesLost), and every later report
//   tries it first, so the handler learns of it even if nothing changes
//   again.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/handles.h"
#include "platform/lock.h"
#include "watch/change_filter.h"
#include "watch/change_handler.h"
#include "watch/delivery_window.h"
#include "watch/ref_ptr.h"

namespace vantrel {

class CChangeDispatcher final : public NotificationOwner {
 public:
  // `include`: one wildcard pattern, tested against the name from its
  // FilterNameOffset; null or empty lets every name through.
  CChangeDispatcher(CDirChangeHandler* target, const char* include, DWORD filter_flags);
  CChangeDispatcher(const CChangeDispatcher&) = delete;
  CChangeDispatcher& operator=(const CChangeDispatcher&) = delete;

  LONG AddRef();
  LONG Release();
  LONG RefCount() const { return refs_; }

  // Worker thread: each makes a record and posts it.
  void NotifyAdded(const std::string& path);
  void NotifyRemoved(const std::string& path);
  void NotifyRenamed(const std::string& old_path, const std::string& new_path);
  void NotifyModified(const std::string& path);
  void NotifyReadError(DWORD error, const std::string& directory);
  void NotifyWatchStarted(DWORD error, const std::string& directory);
  void NotifyChangesLost(const std::string& directory);
  // Posts the notice and waits until the delivering thread has handled it
  // (and, by posting order, everything queued before it).
  void NotifyWatchStopped(const std::string& directory);

  // Worker thread, before each batch: the directory it comes from, for the
  // dispatcher's own lost-change notices and for the target.
  void AssignCurrentDirectory(const std::string& directory);

  // Delivering thread: filter, call the target, free the record and drop
  // its reference on this dispatcher (which may destroy the dispatcher).
  void Dispatch(CChangeNotification* notification) override;

  CDirChangeHandler* Target();
  // Detaches the target and returns it; later records reach nobody.
  CDirChangeHandler* DetachTarget();
  // Takes over the watch entry's reference on the target, dropped with the
  // dispatcher's last reference (see the header).
  void AdoptTargetReference(RefPtr<CDirChangeHandler> reference);

  // False when it cannot work: no delivery window, or no event to hear a
  // watch-stopped notice answered.
  bool CanDeliver() const;

  // Worker thread: a change could not be posted and the handler has not yet
  // been told that changes were lost. RetryChangesLost tries again; true once
  // nothing is owed any more.
  bool ChangesLostPending() const { return lost_pending_; }
  bool RetryChangesLost();

 private:
  ~CChangeDispatcher();
  bool Send(int kind, const std::string& name, const std::string* new_name, DWORD error);
  void SendChange(int kind, const std::string& name, const std::string* new_name);

  volatile LONG refs_ = 1;
  std::unique_ptr<CWindowPoster> poster_;
  CriticalSection target_lock_;  // guards target_ and adopted_target_
  CDirChangeHandler* target_;
  RefPtr<CDirChangeHandler> adopted_target_;  // see AdoptTargetReference
  DWORD filter_flags_;
  std::string include_;
  UniqueHandle delivered_event_;  // answers the watch-stopped notice
  std::string current_directory_;  // worker thread only
  // A change record could not be posted (a full message queue); the
  // handler is told that changes were lost as soon as a post succeeds again
  // (the worker retries, and any later report tries first).
  std::atomic<bool> lost_pending_{false};
};

}  // namespace vantrel
