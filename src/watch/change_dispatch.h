// Change handlers and the delivery of change notifications from the
// watcher's worker thread to the thread that started the watch.
//
// The worker never calls a handler. It calls a CChangeDispatcher, which turns
// each call into a CChangeNotification record and posts it, as
// WM_WATCH_NOTIFICATION, to a hidden window; that window's thread filters the
// record and calls the target handler. See change_dispatch.cpp for threads,
// ownership and locks.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/lock.h"
#include "watch/change_filter.h"
#include "watch/change_stamp.h"

namespace vantrel {

class CDirWatcher;
class CChangeDispatcher;

// Carries a CChangeNotification* in lParam; the message owns the record.
constexpr UINT WM_WATCH_NOTIFICATION = 0x8400;  // WM_APP + 0x400

// Base of every receiver of change notifications. Reference counted with
// interlocked operations; created with one reference (the creator's), and
// each watch entry that targets it holds one more. Its notification
// operations run on the delivering thread only, one at a time, in the order
// the changes were reported.
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

  // Binding to the watcher that watches on this handler's behalf.
  LONG BindWatcher(CDirWatcher* watcher);
  LONG UnbindWatcher(CDirWatcher* watcher);
  BOOL StopWatching();
  CDirWatcher* BoundWatcher();
  LONG WatchCount() const { return watch_count_; }
  LONG RefCount() const { return refs_; }

  // While one of the notification operations runs for a delivered
  // notification: that notification's stamp (change_stamp.h); 0 when the
  // operation was called otherwise.
  ChangeStamp DeliveringStamp() const { return delivering_stamp_; }

  // The watched directory whose batch is being reported; set by the worker
  // before each batch.
  virtual void AssignCurrentDirectory(const std::string& directory);
  std::string CurrentDirectory();

 private:
  volatile LONG refs_ = 1;
  CriticalSection directory_lock_;  // guards current_directory_ only
  std::string current_directory_;
  CDirWatcher* bound_watcher_ = nullptr;
  volatile LONG watch_count_ = 0;
  CriticalSection handler_lock_;  // guards bound_watcher_ and watch_count_ updates
  friend class CChangeDispatcher;
  ChangeStamp delivering_stamp_ = 0;  // set around each delivery, delivering thread only
};

// One notification on its way from the worker to the delivering thread.
struct CChangeNotification {
  CChangeDispatcher* owner = nullptr;  // holds a reference on the owner
  int kind = 0;
  std::string name;
  std::string new_name;
  bool has_new_name = false;
  DWORD error = 0;
  ChangeStamp stamp = 0;  // handed out just before posting: see change_stamp.h
};

// Posts records to the process's one hidden delivery window (class
// "Delayed_Message_Sender", title "DelayedWnd"). Every poster is a user of
// that window: the first one creates it on its own thread, the last one
// destroys it, always on the window's own thread.
class CWindowPoster {
 public:
  CWindowPoster();
  ~CWindowPoster();
  CWindowPoster(const CWindowPoster&) = delete;
  CWindowPoster& operator=(const CWindowPoster&) = delete;

  // False when the record could not be posted; the caller keeps it.
  bool Post(CChangeNotification* notification);

  // Whether the shared window exists; when it could not be created, the
  // error its creation left (0 if none).
  static bool HasWindow();
  static DWORD CreationError();

  // Delivers the records queued for the window, when the calling thread owns
  // it, and nothing else of that thread's queue. For a wait that the worker
  // may be blocked on (it waits for a watch-stopped notice to be taken).
  static void DeliverQueued();

  // For the unloading of this module: destroys the window (queued records
  // are then dropped, not delivered) and unregisters its class, so that
  // neither a queued record nor a broadcast can reach a window procedure in
  // unmapped code. From another thread than the window's, the window is
  // left to the system's default procedure instead.
  static void ReleaseForUnload();

  // For tests and diagnostics.
  static HWND Window();
  static LONG Users();
};

class CChangeDispatcher : public CDirChangeHandler {
 public:
  // `gui`: deliver through the hidden window (the plug-in always does);
  // without it, records are dispatched at once on the reporting thread.
  // The include filter is one wildcard pattern; the exclude filter is not
  // used by any caller and is ignored.
  CChangeDispatcher(CDirChangeHandler* target, bool gui, const char* include,
                    const char* exclude, DWORD filter_flags);
  ~CChangeDispatcher() override;

  // Worker thread: each makes a record and posts it.
  void NotifyAdded(const std::string& path) override;
  void NotifyRemoved(const std::string& path) override;
  void NotifyRenamed(const std::string& old_path, const std::string& new_path) override;
  void NotifyModified(const std::string& path) override;
  void NotifyReadError(DWORD error, const std::string& directory) override;
  void NotifyWatchStarted(DWORD error, const std::string& directory) override;
  void NotifyChangesLost(const std::string& directory) override;
  // Posts the notice and waits until the delivering thread has handled it
  // (and, by posting order, everything queued before it).
  void NotifyWatchStopped(const std::string& directory) override;

  void AssignCurrentDirectory(const std::string& directory) override;

  // Delivering thread: filter, call the target, free the record and drop
  // its reference on this dispatcher (which may destroy the dispatcher).
  void Dispatch(CChangeNotification* notification);

  CDirChangeHandler* Target();
  // Detaches the target and returns it; the caller releases the watch
  // entry's reference on it.
  CDirChangeHandler* DetachTarget();
  // Takes over the watch entry's reference on the target, released when the
  // dispatcher goes, that is after its last queued record has been handled:
  // a watch that ended with a refused read still owes its handler the read
  // error and the changes reported before it.
  void AdoptTargetReference();

  // False when it could not be made: no delivery window.
  bool CanDeliver() const;

  // For a thread about to wait for the worker: answers the watch-stopped
  // notices that targets are handling further up this thread's stack. The
  // worker waits for those answers, so without them the wait would never
  // end (a handler that starts or stops a watch from NotifyWatchStopped).
  static void AnswerStopNoticesInHand();

  // Worker thread: a change could not be posted and the handler has not yet
  // been told that changes were lost. RetryChangesLost tries again; true once
  // nothing is owed any more.
  bool ChangesLostPending() const { return lost_pending_; }
  bool RetryChangesLost();

 private:
  bool Send(int kind, const std::string& name, const std::string* new_name, DWORD error);
  void Deliver(CChangeNotification* n);

  CWindowPoster* poster_ = nullptr;
  CriticalSection target_lock_;  // guards target_ against detaching while delivering
  CDirChangeHandler* target_;
  DWORD filter_flags_;
  HANDLE delivered_event_ = nullptr;
  std::string include_;
  bool has_include_ = false;
  // A change record could not be posted (a full message queue); the
  // handler is told that changes were lost as soon as a post succeeds again
  // (the worker retries, and any later report tries first).
  std::atomic<bool> lost_pending_{false};
  bool owns_target_ref_ = false;  // see AdoptTargetReference
};

}  // namespace vantrel
