#include "watch/watch_entry.h"

#include <new>

#include "watch/stop_handshake.h"

namespace vantrel {

CWatchEntry::CWatchEntry(UniqueHandle directory_handle, const std::string& directory,
                         CDirChangeHandler* target, DWORD notify_filter, BOOL watch_subtree,
                         const char* include, DWORD filter_flags)
    : directory_handle_(std::move(directory_handle)),
      notify_filter_(notify_filter),
      watch_subtree_(watch_subtree),
      directory_(directory),
      target_(RefPtr<CDirChangeHandler>::Share(target)),
      dispatcher_(RefPtr<CChangeDispatcher>::Adopt(
          new CChangeDispatcher(target, include, filter_flags))),
      done_event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

std::unique_ptr<CWatchEntry> CWatchEntry::Create(UniqueHandle directory_handle,
                                                 const std::string& directory,
                                                 CDirChangeHandler* target, DWORD notify_filter,
                                                 BOOL watch_subtree, const char* include,
                                                 DWORD filter_flags, DWORD* error) {
  std::unique_ptr<CWatchEntry> entry;
  try {
    entry.reset(new CWatchEntry(std::move(directory_handle), directory, target, notify_filter,
                                watch_subtree, include, filter_flags));
  } catch (...) {
    *error = ERROR_OUTOFMEMORY;
    return nullptr;
  }
  if (!entry->done_event_) {
    *error = ERROR_OUTOFMEMORY;
    return nullptr;
  }
  if (!entry->dispatcher_->CanDeliver()) {
    // No delivery window: nothing of this watch would ever reach the handler.
    const DWORD err = CWindowPoster::CreationError();
    *error = err ? err : ERROR_OUTOFMEMORY;
    return nullptr;
  }
  return entry;
}

CWatchEntry::~CWatchEntry() {
  // Records still queued for the dispatcher keep it alive until delivered,
  // and with it our reference on the target, which they are addressed to.
  dispatcher_->AdoptTargetReference(std::move(target_));
  CloseDirectory();
}

void CWatchEntry::ReleaseTarget() {
  dispatcher_->DetachTarget();
  target_.reset();
}

CWatchEntry::State CWatchEntry::CurrentState() {
  AutoLock lock(entry_lock_);
  return state_;
}

CWatchEntry::State CWatchEntry::SetState(State state) {
  AutoLock lock(entry_lock_);
  const State old = state_;
  state_ = state;
  return old;
}

void CWatchEntry::FailIfWatching() {
  AutoLock lock(entry_lock_);
  if (state_ == Watching) state_ = Failed;
}

void CWatchEntry::Answer(DWORD error) {
  last_error_ = error;
  ::SetEvent(done_event_.get());
}

BOOL CWatchEntry::IssueRead() {
  request_ = OVERLAPPED{};
  return ::ReadDirectoryChangesW(directory_handle_.get(), buffer_ + kept_,
                                 static_cast<DWORD>(sizeof buffer_ - kept_), watch_subtree_,
                                 notify_filter_, &bytes_returned_, &request_, nullptr);
}

DWORD CWatchEntry::RequestStart(HANDLE port, bool deliver_while_waiting) {
  {
    AutoLock lock(entry_lock_);
    state_ = StartRequested;
    if (!::PostQueuedCompletionStatus(port, 4, reinterpret_cast<ULONG_PTR>(this), &request_)) {
      // Nothing will answer; waiting would hang the caller.
      state_ = Idle;
      const DWORD err = ::GetLastError();
      return err ? err : ERROR_INVALID_HANDLE;
    }
  }
  WaitForStartAnswer(done_event_.get(),
                     deliver_while_waiting ? &CWindowPoster::DeliverQueued : nullptr);
  return last_error_;  // written by the worker before it set the event
}

BOOL CWatchEntry::RequestStop(HANDLE port) {
  {
    AutoLock lock(entry_lock_);
    const State old = state_;
    state_ = StopRequested;
    if (!::PostQueuedCompletionStatus(port, 4, reinterpret_cast<ULONG_PTR>(this), &request_)) {
      state_ = old;
      return FALSE;
    }
  }
  WaitForStopAnswer(done_event_.get());
  return TRUE;
}

}  // namespace vantrel
