// The watcher's worker thread: the port loop, each packet against its
// entry's state, the walk of a completed batch, a refused read, and the
// changes-lost notices owed while posts fail. See dir_watcher.cpp for who
// owns what, stop_handshake.h for the waits.
#include "platform/ansi.h"
#include "platform/thread_check.h"
#include "watch/dir_watcher.h"

namespace vantrel {
namespace {

// How often the worker tries again to post a changes-lost notice.
constexpr DWORD kLostChangesRetryMs = 250;

std::string ToAnsi(const char16_t* units, size_t count) {
  if (!count) return std::string();
  const auto* wide = reinterpret_cast<const wchar_t*>(units);
  const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), nullptr, 0,
                                      nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), &out[0], n, nullptr, nullptr);
  return out;
}

// Hands the changes of one batch to the entry's dispatcher.
class DispatcherSink : public ChangeSink {
 public:
  explicit DispatcherSink(CChangeDispatcher* d) : d_(d) {}
  void Added(const std::string& p) override { d_->NotifyAdded(p); }
  void Removed(const std::string& p) override { d_->NotifyRemoved(p); }
  void Modified(const std::string& p) override { d_->NotifyModified(p); }
  void Renamed(const std::string& o, const std::string& n) override { d_->NotifyRenamed(o, n); }

 private:
  CChangeDispatcher* d_;
};

}  // namespace

DWORD WINAPI CDirWatcher::WorkerProc(void* param) {
  // Keep this module mapped while the worker runs (see dir_watcher.cpp).
  HMODULE self = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&CDirWatcher::WorkerProc), &self);
  static_cast<CDirWatcher*>(param)->RunWorker();
  if (self) ::FreeLibraryAndExitThread(self, 0);
  return 0;
}

void CDirWatcher::RunWorker() {
  running_worker_id_ = ::GetCurrentThreadId();
  WorkerStarting();
  // Fixed for this worker's life: StopAll replaces it only after we ended.
  const HANDLE port = port_.get();
  for (;;) {
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* request = nullptr;
    const DWORD wait = lost_changes_.empty() ? INFINITE : kLostChangesRetryMs;
    const BOOL ok = ::GetQueuedCompletionStatus(port, &bytes, &key, &request, wait);
    if (!ok && !request) {
      if (::GetLastError() == WAIT_TIMEOUT) {
        RetryLostChanges();
        continue;
      }
      break;  // no packet: the port is gone
    }
    if (key == 0) break;  // the exit packet
    // Nothing thrown may end the worker: the stops wait for its answers.
    // The handlers catch what they can (out of memory: the change is then
    // owed as lost), so this is the last net.
    try {
      OnPacket(reinterpret_cast<CWatchEntry*>(key), ok, bytes);
    } catch (...) {
    }
  }
  lost_changes_.clear();
  WorkerEnding();
  running_worker_id_ = 0;
}

void CDirWatcher::OnPacket(CWatchEntry* entry, BOOL completed, DWORD bytes) {
  VANTREL_ASSERT_THREAD(OnWorker());
  const CWatchEntry::State state = entry->CurrentState();
  const bool closed = entry->HandleClosed();
  switch (state) {
    case CWatchEntry::StartRequested: {
      DWORD error = 0;
      if (entry->IssueRead())
        entry->SetState(CWatchEntry::Watching);
      else
        error = ::GetLastError();
      entry->Dispatcher()->NotifyWatchStarted(error, entry->Directory());
      entry->Answer(error);
      break;
    }
    case CWatchEntry::StopRequested:
      // A changes-lost notice still owed goes out before the stop notice.
      ForgetLostChanges(entry, true);
      if (closed) {
        entry->Answer();
      } else {
        // The outstanding read comes back aborted, in state Closed.
        entry->CloseDirectory();
        entry->SetState(CWatchEntry::Closed);
        entry->Dispatcher()->NotifyWatchStopped(entry->Directory());
      }
      break;
    case CWatchEntry::Closed:
    case CWatchEntry::Failed:
      // Under Wine the aborted read arrives as a failure with
      // ERROR_HANDLES_CLOSED, on Windows as 0 bytes; either way it is the
      // end of the stop, not lost changes.
      if (closed)
        entry->Answer();
      else
        entry->CloseDirectory();
      break;
    case CWatchEntry::Watching:
      OnReadCompleted(entry, completed, bytes);
      break;
    case CWatchEntry::Abandoned:
      // Its stopper could not reach us. Once the handle is closed no packet
      // comes for it again; the watcher frees it after this thread ended.
      ForgetLostChanges(entry, false);
      if (!closed) entry->CloseDirectory();
      break;
    case CWatchEntry::Idle:
      break;
  }
}

void CDirWatcher::RetryLostChanges() {
  VANTREL_ASSERT_THREAD(OnWorker());
  for (size_t i = 0; i < lost_changes_.size();) {
    if (lost_changes_[i]->Dispatcher()->RetryChangesLost())
      lost_changes_.erase(lost_changes_.begin() + static_cast<long>(i));
    else
      ++i;
  }
}

void CDirWatcher::ForgetLostChanges(CWatchEntry* entry, bool retry_first) {
  VANTREL_ASSERT_THREAD(OnWorker());
  for (size_t i = 0; i < lost_changes_.size(); ++i) {
    if (lost_changes_[i] != entry) continue;
    if (retry_first) entry->Dispatcher()->RetryChangesLost();
    lost_changes_.erase(lost_changes_.begin() + static_cast<long>(i));
    return;
  }
}

void CDirWatcher::OnReadCompleted(CWatchEntry* entry, BOOL completed, DWORD bytes) {
  VANTREL_ASSERT_THREAD(OnWorker());
  CChangeDispatcher* d = entry->Dispatcher();
  d->AssignCurrentDirectory(entry->Directory());
  size_t kept = 0;
  if (!completed || bytes == 0) {
    // A running watch got no records: the system's buffer overflowed (or the
    // read failed) and the changes are gone. The handler must still learn
    // that the directory changed. A kept old name is dropped with the rest.
    d->NotifyChangesLost(entry->Directory());
  } else {
    ChangeBufferReader reader(entry->Buffer(), CWatchEntry::kBufferSize, entry->Kept() + bytes);
    DispatcherSink sink(d);
    kept = reader.Walk(entry->Directory(), &ToAnsi, AnsiLeadBytes(), sink);
  }
  entry->SetKept(kept);
  if (d->ChangesLostPending()) {
    bool listed = false;
    for (CWatchEntry* e : lost_changes_) listed = listed || e == entry;
    try {
      if (!listed) lost_changes_.push_back(entry);
    } catch (...) {
      // Without room to remember it, the next report still tries first.
    }
  }
  if (entry->IssueRead())
    entry->SetLastError(0);
  else
    OnReadRefused(entry, ::GetLastError());
}

void CDirWatcher::OnReadRefused(CWatchEntry* entry, DWORD error) {
  VANTREL_ASSERT_THREAD(OnWorker());
  HANDLE self = ::GetCurrentThread();
  const int priority = ::GetThreadPriority(self);
  ::SetThreadPriority(self, THREAD_PRIORITY_HIGHEST);
  try {
    ForgetLostChanges(entry, true);
    entry->SetLastError(error);
    entry->Dispatcher()->NotifyReadError(error, entry->Directory());
    // No read is outstanding, so closing here brings no packet back.
    entry->CloseDirectory();
    entry->FailIfWatching();
    if (table_lock_.TryEnter()) {
      RemoveFailedEntry(entry);
      table_lock_.Leave();
    } else {
      // A stop holds the table and may be waiting for us: let the next
      // holder of the lock remove it.
      ::InterlockedExchange(&sweep_pending_, 1);
    }
  } catch (...) {
  }
  ::SetThreadPriority(self, priority);
}

}  // namespace vantrel
