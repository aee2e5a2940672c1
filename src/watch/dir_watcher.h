// Directory watcher: any number of directories, one I/O completion port and
// one worker thread for all of them. See dir_watcher.cpp for threads,
// ownership and locks.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/lock.h"
#include "watch/change_buffer.h"
#include "watch/change_dispatch.h"

namespace vantrel {

class CDirWatcher;
struct WatcherTestAccess;  // tests only: reaches the entry table and handles

// One watched directory: its open handle, the outstanding overlapped read
// and the dispatcher that carries its changes to the handler.
class CWatchEntry {
 public:
  // Failed: a re-issued read was refused. Abandoned: its stop request could
  // not be posted; the worker closes its handle when it next sees it.
  enum State { Idle, StartRequested, StopRequested, Closed, Watching, Failed, Abandoned };

  CWatchEntry(HANDLE directory_handle, const std::string& directory, CDirChangeHandler* target,
              DWORD notify_filter, BOOL watch_subtree, bool gui, const char* include,
              const char* exclude, DWORD filter_flags);
  ~CWatchEntry();
  CWatchEntry(const CWatchEntry&) = delete;
  CWatchEntry& operator=(const CWatchEntry&) = delete;

  // Caller's thread: post the request and wait for the worker's answer.
  // `deliver_while_waiting`: the caller is inside one of the watcher's own
  // stops, whose worker may be waiting for this thread to take a
  // watch-stopped notice; the wait then delivers the notifications queued
  // for this thread (and nothing else).
  DWORD RequestStart(HANDLE port, bool deliver_while_waiting);
  BOOL RequestStop(HANDLE port);
  void CloseDirectory();

  bool Usable() const { return dispatcher_ && done_event_; }
  const std::string& Directory() const { return directory_; }
  CChangeDispatcher* Dispatcher() const { return dispatcher_; }
  State CurrentState();

 private:
  friend class CDirWatcher;
  friend struct WatcherTestAccess;
  State SetState(State state);  // under the entry lock; returns the old one
  BOOL IssueRead();

  CChangeDispatcher* dispatcher_ = nullptr;  // holds the entry's reference on it
  HANDLE directory_handle_;
  DWORD notify_filter_;
  BOOL watch_subtree_;
  std::string directory_;
  alignas(8) unsigned char buffer_[kChangeBufferSize];
  DWORD bytes_returned_ = 0;
  OVERLAPPED request_ = {};
  DWORD last_error_ = 0;
  CriticalSection entry_lock_;
  HANDLE done_event_ = nullptr;
  State state_ = Idle;
  size_t kept_ = 0;  // old-name record carried over to the next read
};

class CDirWatcher {
 public:
  CDirWatcher(bool gui, DWORD filter_flags);
  virtual ~CDirWatcher();
  CDirWatcher(const CDirWatcher&) = delete;
  CDirWatcher& operator=(const CDirWatcher&) = delete;

  // 0 on success, else a Win32 error code (also left as the last error).
  DWORD StartWatch(const std::string& directory, DWORD notify_filter, CDirChangeHandler* handler,
                   BOOL watch_subtree, const char* include_filter, const char* exclude_filter);
  BOOL StopWatch(const std::string& directory);
  BOOL StopWatchForHandler(CDirChangeHandler* handler);
  BOOL StopAll();
  BOOL IsWatching(const std::string& directory);
  // After a refused read: drops the entry from the table and destroys it.
  void RemoveEntry(CWatchEntry* entry);

  // For tests and diagnostics.
  HANDLE Port();
  DWORD WorkerThreadId();
  size_t WatchCount();

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
  void StopEntry(CWatchEntry* entry);
  void AbandonEntry(CWatchEntry* entry);
  void DestroyEntry(CWatchEntry* entry);
  void SweepFailedEntries();
  void EndWorker();
  bool AnyEntry() const;
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

  HANDLE port_ = nullptr;
  HANDLE worker_thread_ = nullptr;
  DWORD worker_thread_id_ = 0;
  std::vector<CWatchEntry*> table_;
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
  std::vector<CWatchEntry*> abandoned_;
  // Worker thread only: entries whose dispatcher owes its handler a
  // changes-lost notice. An entry leaves the list when the worker handles
  // its stop or its refused read, before it can be destroyed.
  std::vector<CWatchEntry*> lost_changes_;
};

// Enables the backup, restore and change-notify privileges of the process
// token, once per process; failures are ignored.
void EnableWatchPrivileges();

}  // namespace vantrel
