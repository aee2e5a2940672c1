// Directory watcher: any number of directories, one I/O completion port and
// one worker thread for all of them: the table of watches, their nesting,
// the worker, and the handlers' watches. See dir_watcher.cpp for
// ownership and locks, stop_handshake.h for how the threads wait.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/lock.h"
#include "watch/change_handler.h"
#include "watch/watch_entry.h"

namespace vantrel {

struct WatcherTestAccess;  // tests only: reaches the entry table and handles

class CDirWatcher {
 public:
  // Changes are always delivered through the hidden window, on the thread
  // that starts the first watch: `gui` must be true (a watch of a watcher
  // made without it fails with ERROR_NOT_SUPPORTED).
  CDirWatcher(bool gui, DWORD filter_flags);
  virtual ~CDirWatcher();
  CDirWatcher(const CDirWatcher&) = delete;
  CDirWatcher& operator=(const CDirWatcher&) = delete;

  // 0 on success, else a Win32 error code (also left as the last error).
  // `exclude_filter` is accepted for the callers' sake; nothing is excluded.
  DWORD StartWatch(const std::string& directory, DWORD notify_filter, CDirChangeHandler* handler,
                   BOOL watch_subtree, const char* include_filter, const char* exclude_filter);
  BOOL StopWatch(const std::string& directory);
  BOOL StopWatchForHandler(CDirChangeHandler* handler);
  BOOL StopAll();
  BOOL IsWatching(const std::string& directory);

  // For tests and diagnostics.
  HANDLE Port();
  DWORD WorkerThreadId();
  size_t WatchCount();
  // The running watches of this watcher that target `handler`.
  size_t WatchCountFor(CDirChangeHandler* handler);

 protected:
  // Worker thread, before its first packet and after its last.
  virtual void WorkerStarting() {}
  virtual void WorkerEnding() {}

 private:
  friend struct WatcherTestAccess;
  static DWORD WINAPI WorkerProc(void* param);
  void RunWorker();
  void OnPacket(CWatchEntry* entry, BOOL completed, DWORD bytes);
  void OnReadCompleted(CWatchEntry* entry, BOOL completed, DWORD bytes);
  void OnReadRefused(CWatchEntry* entry, DWORD error);
  void RetryLostChanges();
  void ForgetLostChanges(CWatchEntry* entry, bool retry_first);
  void StopSlot(size_t slot);
  void StopEntry(std::unique_ptr<CWatchEntry> entry);
  void AbandonEntry(std::unique_ptr<CWatchEntry> entry);
  void RemoveFailedEntry(CWatchEntry* entry);
  void SweepFailedEntries();
  bool StoreEntry(std::unique_ptr<CWatchEntry>& entry);
  void EndWorker();
  bool AnyEntry() const;
  bool OnWorker() const { return ::GetCurrentThreadId() == running_worker_id_; }
  long FindSlot(const std::string& directory);

  // One of the operations that wait for the worker (StartWatch and the
  // stops), for as long as it runs; they nest on the thread that holds the
  // table lock when handlers or host code run inside a stop's wait.
  class Operation {
   public:
    explicit Operation(CDirWatcher* watcher);
    ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

   private:
    CDirWatcher* watcher_;
  };

  UniqueHandle port_;
  UniqueHandle worker_thread_;
  DWORD worker_thread_id_ = 0;
  // Written by the worker itself while it runs (0 otherwise), for the
  // thread checks: worker_thread_id_ is set only after the thread started.
  std::atomic<DWORD> running_worker_id_{0};
  std::vector<std::unique_ptr<CWatchEntry>> table_;
  CriticalSection table_lock_;
  bool gui_;
  DWORD filter_flags_;
  // Set by the worker when a failed entry could not be removed at once.
  volatile LONG sweep_pending_ = 0;
  // Under the table lock: how many Operations are running (nested on one
  // thread), and whether a StopAll among them left the end of the worker to
  // the outermost one.
  int depth_ = 0;
  bool end_worker_pending_ = false;
  // Under the table lock: entries whose stop request could not be posted.
  // Their read may still complete, so they are freed only once the worker
  // has ended.
  std::vector<std::unique_ptr<CWatchEntry>> abandoned_;
  // Worker thread only (not owners): entries whose dispatcher owes its handler a
  // changes-lost notice. An entry leaves the list when the worker handles
  // its stop or its refused read, before it can be destroyed.
  std::vector<CWatchEntry*> lost_changes_;
};

// Enables the backup, restore and change-notify privileges of the process
// token, once per process; failures are ignored.
void EnableWatchPrivileges();

}  // namespace vantrel
