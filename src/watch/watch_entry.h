// One watched directory: its open handle, the outstanding overlapped read,
// the dispatcher that carries its changes to the handler, and the state
// machine that the starting and stopping thread and the worker share.
//
// States, and who moves them (entry_lock_ guards every change together with
// the post of its request, and the worker's read of the state; it is never
// held across a wait or a call out):
//   Idle -> StartRequested      caller thread, posting the start request
//   StartRequested -> Watching  worker, once the first read is issued
//   Watching -> StopRequested   caller thread, posting the stop request
//   StopRequested -> Closed     worker, closing the handle (the outstanding
//                               read comes back aborted, in state Closed)
//   Watching -> Failed          worker, after a refused re-issued read
//   any -> Abandoned            caller thread, when its stop request could
//                               not be posted; the worker closes the handle
//                               when it next sees the entry
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/handles.h"
#include "platform/lock.h"
#include "watch/change_buffer.h"
#include "watch/change_dispatch.h"
#include "watch/ref_ptr.h"

namespace vantrel {

struct WatcherTestAccess;  // tests only: reaches the entry table and handles

class CWatchEntry {
 public:
  enum State { Idle, StartRequested, StopRequested, Closed, Watching, Failed, Abandoned };

  // An entry for an open directory, or null with *error set (out of memory,
  // no event, no delivery window): never a half-built one.
  static std::unique_ptr<CWatchEntry> Create(UniqueHandle directory_handle,
                                             const std::string& directory,
                                             CDirChangeHandler* target, DWORD notify_filter,
                                             BOOL watch_subtree, const char* include,
                                             DWORD filter_flags, DWORD* error);
  ~CWatchEntry();
  CWatchEntry(const CWatchEntry&) = delete;
  CWatchEntry& operator=(const CWatchEntry&) = delete;

  // Caller's thread: post the request and wait for the worker's answer
  // (stop_handshake.h). `deliver_while_waiting`: the caller is inside one of
  // the watcher's own stops.
  DWORD RequestStart(HANDLE port, bool deliver_while_waiting);
  BOOL RequestStop(HANDLE port);

  const std::string& Directory() const { return directory_; }
  CChangeDispatcher* Dispatcher() const { return dispatcher_.get(); }
  State CurrentState();
  State SetState(State state);  // returns the old one

  // Caller's thread, when the entry's watch is over without the worker
  // (abandoned): the dispatcher lets go of the target, and the entry of its
  // reference on it.
  void ReleaseTarget();

  // Worker thread.
  bool HandleClosed() const { return !directory_handle_; }
  void CloseDirectory() { directory_handle_.reset(); }
  BOOL IssueRead();
  // The answer that the waiting caller reads once the done event is set.
  void Answer(DWORD error);
  void Answer() { ::SetEvent(done_event_.get()); }
  DWORD LastError() const { return last_error_; }
  void SetLastError(DWORD error) { last_error_ = error; }
  // Fails the entry unless a stop came first.
  void FailIfWatching();
  // The bytes of the last completed read, behind the kept record.
  unsigned char* Buffer() { return buffer_; }
  size_t Kept() const { return kept_; }
  void SetKept(size_t kept) { kept_ = kept; }
  static constexpr size_t kBufferSize = kChangeBufferSize;

 private:
  friend struct WatcherTestAccess;
  CWatchEntry(UniqueHandle directory_handle, const std::string& directory,
              CDirChangeHandler* target, DWORD notify_filter, BOOL watch_subtree,
              const char* include, DWORD filter_flags);

  UniqueHandle directory_handle_;
  DWORD notify_filter_;
  BOOL watch_subtree_;
  std::string directory_;
  RefPtr<CDirChangeHandler> target_;  // handed to the dispatcher when the entry goes
  RefPtr<CChangeDispatcher> dispatcher_;
  alignas(8) unsigned char buffer_[kChangeBufferSize];
  DWORD bytes_returned_ = 0;
  OVERLAPPED request_ = {};
  DWORD last_error_ = 0;  // written by the worker before it sets the done event
  CriticalSection entry_lock_;
  UniqueHandle done_event_;
  State state_ = Idle;
  size_t kept_ = 0;  // old-name record carried over to the next read
};

}  // namespace vantrel
