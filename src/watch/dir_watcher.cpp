// Threads, ownership, locks
// =========================
// Threads:
//  - The caller's thread (the host's UI thread in the plug-in) runs
//    StartWatch and the stop operations. It posts start and stop requests to
//    the completion port and waits for the worker's answer: RequestStart with
//    a plain wait, RequestStop with a message-pumping wait, so the dispatcher's
//    queued notifications (the watch-stopped notice among them) are delivered
//    while it waits.
//  - One worker thread per watcher serves the port for every directory: it
//    alone issues reads and closes the handles of running watches, walks the
//    completed batches and calls the dispatchers. It holds a reference on
//    this module while it runs, so the module cannot be unmapped under it even
//    if the host unloads the plug-in without stopping the watches first.
//
// Ownership:
//  - The watcher owns its entries (the table); an entry owns its dispatcher's
//    creator reference and one reference on the target handler.
//  - An entry is taken out of the table before it is stopped, then destroyed
//    by the stopping thread once the worker has answered: the worker touches
//    the entry only while handling one of its packets, and after the answer no
//    packet for it can come any more (the aborted read has come back).
//  - After a refused re-issued read the worker closes the handle, marks the
//    entry Failed and removes it itself if it can take the table lock
//    without waiting; otherwise the next thread that holds the table lock
//    sweeps it (SweepFailedEntries).
//  - An entry whose stop request could not be posted still has its read
//    outstanding, and the worker may yet complete it: it is abandoned (its
//    handler released, its state Abandoned, so the worker closes its handle
//    when it next sees it) and freed only once the worker has ended.
//
// Locks and waits:
//  - table_lock_ (recursive): guards the table, the port and the worker's
//    handle and id. The stop operations hold it across their wait for the
//    worker. The worker therefore never blocks on it (TryEnter only), so a
//    read error cannot deadlock against a stop in progress.
//  - entry_lock_: a state change together with the post of its request, and
//    the worker's read of the state. Never held across a wait or a call out.
//  - Lock order: table lock, then entry lock or handler lock.
//  - The worker's only wait outside the port is NotifyWatchStopped, which the
//    stopping thread answers by pumping messages. It waits only while a stop
//    is in progress, and every stop holds the table lock until it has
//    finished. So when StartWatch (which holds the lock too) waits in
//    RequestStart, the worker is waiting for this thread only if the start
//    runs inside one of our own stops on this thread: a handler, or host
//    code dispatched by the stop's pumping, started a watch. Only then does
//    RequestStart deliver this thread's queued notifications while it waits
//    (the host's other messages stay queued); otherwise its wait is plain.
//  - A handler may start or stop a watch from its NotifyWatchStopped, while
//    the worker still waits for that notice to be answered: every operation
//    that may wait for the worker first answers the notices being handled on
//    its thread (AnswerStopNoticesInHand), before it takes the table lock,
//    which another thread's stop may hold while it waits for the worker.
//  - Nesting: StartWatch and the stops count as Operations while they run
//    (depth_). A StopAll nested inside another Operation stops every watch
//    but leaves the end of the worker to the outermost Operation, which may
//    itself be waiting for the worker's answer; it ends the worker when it
//    finishes, unless a watch was started meanwhile.
//  - StopAll waits for the worker thread's handle without pumping: no entry
//    is left by then, so the worker waits for nothing of this thread and
//    reaches the exit packet. The watcher owns the handle and closes it only
//    after that wait.
//  - The worker waits on the port without a time limit, except while a
//    handler is owed a changes-lost notice (a post failed): it then wakes
//    every kLostChangesRetryMs to post it again.
//  - Destruction while the process is exiting: the system has already ended
//    the worker (or is ending it), the loader lock is held, and no answer can
//    come. The watcher then lets its entries, port and thread handle go
//    without waiting; the process is going away. The stop operations return
//    FALSE at once then, without taking the table lock (a thread ended by
//    the system may have held it): global handlers are destroyed before the
//    global watcher and stop their watches from their destructors.
#include "watch/dir_watcher.h"

#include <new>

#include "platform/ansi.h"

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

// True while the process is shutting down (ExitProcess has begun): other
// threads are gone or going, and the loader lock is held.
bool ProcessIsExiting() {
  using Fn = BOOLEAN(WINAPI*)();
  static const Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlDllShutdownInProgress")));
  return fn && fn();
}

bool SetPrivilege(const char* name) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return false;
  bool ok = false;
  TOKEN_PRIVILEGES tp = {};
  if (::LookupPrivilegeValueA(nullptr, name, &tp.Privileges[0].Luid)) {
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ::AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, nullptr, nullptr);
    ok = ::GetLastError() == ERROR_SUCCESS;  // ERROR_NOT_ALL_ASSIGNED: lacking
  }
  ::CloseHandle(token);
  return ok;
}

}  // namespace

void EnableWatchPrivileges() {
  // Thread-safe once: a function-local static is initialised exactly once.
  static const bool done = [] {
    SetPrivilege("SeBackupPrivilege");
    SetPrivilege("SeRestorePrivilege");
    SetPrivilege("SeChangeNotifyPrivilege");
    return true;
  }();
  (void)done;
}

// ---------------------------------------------------------------------------
// CWatchEntry

CWatchEntry::CWatchEntry(HANDLE directory_handle, const std::string& directory,
                         CDirChangeHandler* target, DWORD notify_filter, BOOL watch_subtree,
                         bool gui, const char* include, const char* exclude, DWORD filter_flags)
    : directory_handle_(directory_handle),
      notify_filter_(notify_filter),
      watch_subtree_(watch_subtree),
      directory_(directory) {
  done_event_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  dispatcher_ = new CChangeDispatcher(target, gui, include, exclude, filter_flags);
  target->AddRef();
}

CWatchEntry::~CWatchEntry() {
  // Records still queued for the dispatcher keep it alive until delivered,
  // and with it our reference on the target, which they are addressed to.
  if (dispatcher_) dispatcher_->AdoptTargetReference();
  CloseDirectory();
  if (dispatcher_) dispatcher_->Release();
  if (done_event_) ::CloseHandle(done_event_);
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

void CWatchEntry::CloseDirectory() {
  if (directory_handle_ != INVALID_HANDLE_VALUE) {
    ::CloseHandle(directory_handle_);
    directory_handle_ = INVALID_HANDLE_VALUE;
  }
}

BOOL CWatchEntry::IssueRead() {
  request_ = OVERLAPPED{};
  return ::ReadDirectoryChangesW(directory_handle_, buffer_ + kept_,
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
  // Plain unless nested in one of our stops: see "Locks and waits" above.
  for (;;) {
    if (deliver_while_waiting) CWindowPoster::DeliverQueued();
    if (::WaitForSingleObject(done_event_, deliver_while_waiting ? 10 : 10000) == WAIT_OBJECT_0)
      break;
  }
  ::ResetEvent(done_event_);
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
  // Pumps this thread's messages: the worker waits in NotifyWatchStopped
  // until this thread's hidden window has delivered the notice. The queue is
  // emptied before every wait, not only when the wait reports input:
  // MsgWaitForMultipleObjects wakes only for messages that arrived after the
  // thread last looked at its queue, and this wait may run inside the
  // dispatch of another message (a stop nested in a stop), whose pump has
  // looked already: the notice could sit there unseen for ever.
  bool quit = false;
  WPARAM quit_code = 0;
  while (::WaitForSingleObject(done_event_, 0) != WAIT_OBJECT_0) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Not ours to act on, and not ours to swallow: the host's message
        // loop gets it back once the stop has finished.
        quit = true;
        quit_code = msg.wParam;
        break;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (::MsgWaitForMultipleObjects(1, &done_event_, FALSE, 5000, QS_ALLINPUT) == WAIT_OBJECT_0)
      break;
  }
  ::ResetEvent(done_event_);
  if (quit) ::PostQuitMessage(static_cast<int>(quit_code));
  return TRUE;
}

// ---------------------------------------------------------------------------
// CDirWatcher

CDirWatcher::CDirWatcher(bool gui, DWORD filter_flags) : gui_(gui), filter_flags_(filter_flags) {}

CDirWatcher::~CDirWatcher() {
  if (worker_thread_ && ProcessIsExiting()) {
    // Deliberately leaked: see "Destruction while the process is exiting".
    table_.clear();
    abandoned_.clear();
    return;
  }
  StopAll();  // frees the abandoned entries too, once the worker has ended
  if (port_) ::CloseHandle(port_);
}

CDirWatcher::Operation::Operation(CDirWatcher* watcher) : watcher_(watcher) {
  ++watcher_->depth_;
}

CDirWatcher::Operation::~Operation() {
  if (--watcher_->depth_ > 0 || !watcher_->end_worker_pending_) return;
  watcher_->end_worker_pending_ = false;
  // A nested StopAll asked for the end; a watch started after it keeps the
  // worker.
  if (watcher_->AnyEntry()) return;
  const DWORD err = ::GetLastError();  // the operation's result stays the last error
  watcher_->EndWorker();
  ::SetLastError(err);
}

bool CDirWatcher::AnyEntry() const {
  for (const CWatchEntry* e : table_)
    if (e) return true;
  return false;
}

HANDLE CDirWatcher::Port() {
  AutoLock lock(table_lock_);
  return port_;
}

DWORD CDirWatcher::WorkerThreadId() {
  AutoLock lock(table_lock_);
  return worker_thread_id_;
}

size_t CDirWatcher::WatchCount() {
  AutoLock lock(table_lock_);
  SweepFailedEntries();
  size_t n = 0;
  for (CWatchEntry* e : table_) n += e != nullptr;
  return n;
}

long CDirWatcher::FindSlot(const std::string& directory) {
  if (directory.empty()) return -1;
  const std::string wanted = LowerAnsi(directory);
  for (size_t i = 0; i < table_.size(); ++i) {
    if (table_[i] && LowerAnsi(table_[i]->Directory()) == wanted) return static_cast<long>(i);
  }
  return -1;
}

BOOL CDirWatcher::IsWatching(const std::string& directory) {
  AutoLock lock(table_lock_);
  SweepFailedEntries();
  return FindSlot(directory) >= 0;
}

DWORD CDirWatcher::StartWatch(const std::string& directory, DWORD notify_filter,
                              CDirChangeHandler* handler, BOOL watch_subtree,
                              const char* include_filter, const char* exclude_filter) {
  auto fail = [](DWORD err) {
    ::SetLastError(err);
    return err;
  };
  if (directory.empty() || notify_filter == 0 || !handler) return fail(ERROR_INVALID_PARAMETER);
  const DWORD attrs = ::GetFileAttributesA(directory.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY))
    return fail(ERROR_BAD_PATHNAME);

  CChangeDispatcher::AnswerStopNoticesInHand();  // see "Locks and waits"
  AutoLock lock(table_lock_);
  Operation operation(this);
  SweepFailedEntries();
  if (FindSlot(directory) >= 0) StopWatch(directory);
  EnableWatchPrivileges();

  // No FILE_SHARE_DELETE: the watched folder cannot be deleted or renamed
  // under the watch.
  HANDLE dir = ::CreateFileA(directory.c_str(), FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (dir == INVALID_HANDLE_VALUE) return fail(::GetLastError());

  CWatchEntry* entry = nullptr;
  try {
    entry = new CWatchEntry(dir, directory, handler, notify_filter, watch_subtree, gui_,
                            include_filter, exclude_filter, filter_flags_);
  } catch (...) {
    entry = nullptr;
  }
  if (!entry || !entry->Usable()) {
    if (entry)
      delete entry;  // closes the handle
    else
      ::CloseHandle(dir);
    return fail(ERROR_OUTOFMEMORY);
  }
  if (!entry->Dispatcher()->CanDeliver()) {
    // No delivery window: nothing of this watch would ever reach the handler.
    const DWORD err = CWindowPoster::CreationError();
    delete entry;
    return fail(err ? err : ERROR_OUTOFMEMORY);
  }

  HANDLE port = ::CreateIoCompletionPort(dir, port_, reinterpret_cast<ULONG_PTR>(entry), 0);
  if (!port) {
    const DWORD err = ::GetLastError();
    delete entry;
    return fail(err);
  }
  port_ = port;

  if (!worker_thread_) {
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, &CDirWatcher::WorkerProc, this, 0, &id);
    if (!thread) {
      const DWORD err = ::GetLastError();
      delete entry;
      return err ? err : ERROR_MAX_THRDS_REACHED;
    }
    worker_thread_ = thread;
    worker_thread_id_ = id;
  }

  const DWORD err = entry->RequestStart(port_, depth_ > 1);
  if (err) {
    delete entry;  // the handler was never bound for it
    return fail(err);
  }

  handler->BindWatcher(this);
  bool stored = false;
  try {
    for (CWatchEntry*& slot : table_) {
      if (!slot) {
        slot = entry;
        stored = true;
        break;
      }
    }
    if (!stored) {
      table_.push_back(entry);
      stored = true;
    }
  } catch (...) {
  }
  if (!stored) {
    // A watch that is not in the table could never be stopped; undo it.
    StopEntry(entry);
    return fail(ERROR_OUTOFMEMORY);
  }
  return fail(ERROR_SUCCESS);
}

void CDirWatcher::DestroyEntry(CWatchEntry* entry) {
  if (CChangeDispatcher* d = entry->Dispatcher()) {
    if (CDirChangeHandler* target = d->Target()) target->UnbindWatcher(this);
  }
  delete entry;
}

void CDirWatcher::StopSlot(size_t slot) {
  // Out of the table first: handlers run during the pumping wait and may
  // call back into the watcher (the lock is recursive); they must not find
  // an entry that is being stopped.
  CWatchEntry* entry = table_[slot];
  table_[slot] = nullptr;
  StopEntry(entry);
}

void CDirWatcher::StopEntry(CWatchEntry* entry) {
  if (entry->RequestStop(port_))
    DestroyEntry(entry);
  else
    AbandonEntry(entry);
}

void CDirWatcher::AbandonEntry(CWatchEntry* entry) {
  // The worker never got the stop request: the entry's read is still
  // outstanding and its completion would reach freed memory. The handler's
  // watch is over all the same.
  CChangeDispatcher* d = entry->Dispatcher();
  if (CDirChangeHandler* target = d->Target()) target->UnbindWatcher(this);
  if (CDirChangeHandler* target = d->DetachTarget()) target->Release();
  entry->SetState(CWatchEntry::Abandoned);
  try {
    abandoned_.push_back(entry);
  } catch (...) {
    // Leaked for good: still better than freed under the worker.
  }
}

BOOL CDirWatcher::StopWatch(const std::string& directory) {
  if (ProcessIsExiting()) return FALSE;  // see "Destruction while the process is exiting"
  CChangeDispatcher::AnswerStopNoticesInHand();  // see "Locks and waits"
  AutoLock lock(table_lock_);
  if (!port_) return FALSE;
  Operation operation(this);
  SweepFailedEntries();
  const long slot = FindSlot(directory);
  if (slot < 0) return FALSE;
  StopSlot(static_cast<size_t>(slot));
  SweepFailedEntries();
  return TRUE;
}

BOOL CDirWatcher::StopWatchForHandler(CDirChangeHandler* handler) {
  // A global handler's destructor lands here at process exit, before the
  // global watcher's own destructor.
  if (ProcessIsExiting()) return FALSE;
  CChangeDispatcher::AnswerStopNoticesInHand();  // see "Locks and waits"
  AutoLock lock(table_lock_);
  Operation operation(this);
  SweepFailedEntries();
  BOOL any = FALSE;
  for (;;) {
    size_t slot = 0;
    while (slot < table_.size() &&
           !(table_[slot] && table_[slot]->Dispatcher()->Target() == handler))
      ++slot;
    if (slot == table_.size()) break;
    StopSlot(slot);
    any = TRUE;
  }
  SweepFailedEntries();
  return any;
}

BOOL CDirWatcher::StopAll() {
  if (ProcessIsExiting()) return FALSE;
  CChangeDispatcher::AnswerStopNoticesInHand();  // see "Locks and waits"
  AutoLock lock(table_lock_);
  if (!worker_thread_) return FALSE;
  Operation operation(this);
  // Until none is left: a handler may start a watch while we pump.
  for (;;) {
    size_t slot = 0;
    while (slot < table_.size() && !table_[slot]) ++slot;
    if (slot == table_.size()) break;
    StopSlot(slot);
  }
  // The worker ends with the outermost Operation, now unless this StopAll
  // runs inside another one that may be waiting for the worker.
  end_worker_pending_ = true;
  return TRUE;
}

void CDirWatcher::EndWorker() {
  table_.clear();
  ::InterlockedExchange(&sweep_pending_, 0);
  if (!worker_thread_) return;
  if (!::PostQueuedCompletionStatus(port_, 0, 0, nullptr)) {
    // Closing the port also ends the worker's wait, without a packet.
    ::CloseHandle(port_);
    port_ = nullptr;
  }
  // Plain wait: see "Locks and waits" above.
  ::WaitForSingleObject(worker_thread_, INFINITE);
  ::CloseHandle(worker_thread_);
  worker_thread_ = nullptr;
  worker_thread_id_ = 0;
  // Nothing can reach an abandoned entry any more.
  for (CWatchEntry* entry : abandoned_) delete entry;
  abandoned_.clear();
  if (port_) ::CloseHandle(port_);
  port_ = nullptr;
}

void CDirWatcher::RemoveEntry(CWatchEntry* entry) {
  AutoLock lock(table_lock_);
  for (CWatchEntry*& slot : table_) {
    if (slot == entry) {
      slot = nullptr;
      DestroyEntry(entry);
      return;
    }
  }
}

void CDirWatcher::SweepFailedEntries() {
  if (!::InterlockedExchange(&sweep_pending_, 0)) return;
  for (CWatchEntry*& slot : table_) {
    if (slot && slot->CurrentState() == CWatchEntry::Failed) {
      CWatchEntry* entry = slot;
      slot = nullptr;
      DestroyEntry(entry);
    }
  }
}

// ---------------------------------------------------------------------------
// Worker thread

DWORD WINAPI CDirWatcher::WorkerProc(void* param) {
  // Keep this module mapped while the worker runs (see the file header).
  HMODULE self = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&CDirWatcher::WorkerProc), &self);
  static_cast<CDirWatcher*>(param)->RunWorker();
  if (self) ::FreeLibraryAndExitThread(self, 0);
  return 0;
}

void CDirWatcher::RunWorker() {
  WorkerStarting();
  // Fixed for this worker's life: StopAll replaces it only after we ended.
  const HANDLE port = port_;
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
}

void CDirWatcher::OnPacket(CWatchEntry* entry, BOOL completed, DWORD bytes) {
  const CWatchEntry::State state = entry->CurrentState();
  const bool closed = entry->directory_handle_ == INVALID_HANDLE_VALUE;
  switch (state) {
    case CWatchEntry::StartRequested:
      if (entry->IssueRead()) {
        entry->SetState(CWatchEntry::Watching);
        entry->last_error_ = 0;
      } else {
        entry->last_error_ = ::GetLastError();
      }
      entry->dispatcher_->NotifyWatchStarted(entry->last_error_, entry->directory_);
      ::SetEvent(entry->done_event_);
      break;
    case CWatchEntry::StopRequested:
      // A changes-lost notice still owed goes out before the stop notice.
      ForgetLostChanges(entry, true);
      if (closed) {
        ::SetEvent(entry->done_event_);
      } else {
        // The outstanding read comes back aborted, in state Closed.
        entry->CloseDirectory();
        entry->SetState(CWatchEntry::Closed);
        entry->dispatcher_->NotifyWatchStopped(entry->directory_);
      }
      break;
    case CWatchEntry::Closed:
    case CWatchEntry::Failed:
      // Under Wine the aborted read arrives as a failure with
      // ERROR_HANDLES_CLOSED, on Windows as 0 bytes; either way it is the
      // end of the stop, not lost changes.
      if (closed)
        ::SetEvent(entry->done_event_);
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
  for (size_t i = 0; i < lost_changes_.size();) {
    if (lost_changes_[i]->dispatcher_->RetryChangesLost())
      lost_changes_.erase(lost_changes_.begin() + static_cast<long>(i));
    else
      ++i;
  }
}

void CDirWatcher::ForgetLostChanges(CWatchEntry* entry, bool retry_first) {
  for (size_t i = 0; i < lost_changes_.size(); ++i) {
    if (lost_changes_[i] != entry) continue;
    if (retry_first) entry->dispatcher_->RetryChangesLost();
    lost_changes_.erase(lost_changes_.begin() + static_cast<long>(i));
    return;
  }
}

void CDirWatcher::OnReadCompleted(CWatchEntry* entry, BOOL completed, DWORD bytes) {
  CChangeDispatcher* d = entry->dispatcher_;
  d->AssignCurrentDirectory(entry->directory_);
  size_t kept = 0;
  if (!completed || bytes == 0) {
    // A running watch got no records: the system's buffer overflowed (or the
    // read failed) and the changes are gone. The handler must still learn
    // that the directory changed. A kept old name is dropped with the rest.
    d->NotifyChangesLost(entry->directory_);
  } else {
    ChangeBufferReader reader(entry->buffer_, sizeof entry->buffer_, entry->kept_ + bytes);
    DispatcherSink sink(d);
    kept = reader.Walk(entry->directory_, &ToAnsi, AnsiLeadBytes(), sink);
  }
  entry->kept_ = kept;
  if (d->ChangesLostPending()) {
    bool listed = false;
    for (CWatchEntry* e : lost_changes_) listed = listed || e == entry;
    try {
      if (!listed) lost_changes_.push_back(entry);
    } catch (...) {
      // Without room to remember it, the next report still tries first.
    }
  }
  if (entry->IssueRead()) {
    entry->last_error_ = 0;
  } else {
    OnReadRefused(entry, ::GetLastError());
  }
}

void CDirWatcher::OnReadRefused(CWatchEntry* entry, DWORD error) {
  HANDLE self = ::GetCurrentThread();
  const int priority = ::GetThreadPriority(self);
  ::SetThreadPriority(self, THREAD_PRIORITY_HIGHEST);
  try {
    ForgetLostChanges(entry, true);
    entry->last_error_ = error;
    entry->dispatcher_->NotifyReadError(error, entry->directory_);
    // No read is outstanding, so closing here brings no packet back.
    entry->CloseDirectory();
    {
      AutoLock lock(entry->entry_lock_);
      if (entry->state_ == CWatchEntry::Watching) entry->state_ = CWatchEntry::Failed;
    }
    if (table_lock_.TryEnter()) {
      RemoveEntry(entry);
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
