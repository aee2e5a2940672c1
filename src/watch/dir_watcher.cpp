// Ownership and locks
// ===================
// Threads: the caller's thread (the host's UI thread in the plug-in) runs
// StartWatch and the stops; one worker thread per watcher serves the port
// for every directory: it alone issues reads and closes the handles of
// running watches, walks the completed batches and reports them to the
// dispatchers. It holds a reference on this module while it runs, so the
// module cannot be unmapped under it even if the host unloads the plug-in
// without stopping the watches first. How the two wait for each other:
// stop_handshake.h.
//
// Ownership:
//  - The watcher owns its entries (the table); an entry owns its directory
//    handle, its dispatcher's creator reference and one reference on the
//    target handler. A handler knows no watcher: it may be targeted by
//    watches of several watchers at once, each holding its own reference.
//    Handlers that are not freed through Release() (globals) have their
//    watches stopped by their owners before they go (change_handler.h).
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
// Locks:
//  - table_lock_ (recursive): guards the table, the port and the worker's
//    handle and id. The stop operations hold it across their wait for the
//    worker. The worker therefore never blocks on it (TryEnter only), so a
//    read error cannot deadlock against a stop in progress.
//  - Lock order: table lock, then entry lock.
//  - Nesting: StartWatch and the stops count as Operations while they run
//    (depth_). A StopAll nested inside another Operation stops every watch
//    but leaves the end of the worker to the outermost Operation, which may
//    itself be waiting for the worker's answer; it ends the worker when it
//    finishes, unless a watch was started meanwhile.
//  - Destruction while the process is exiting: the system has already ended
//    the worker (or is ending it), the loader lock is held, and no answer can
//    come. The watcher then lets its entries, port and thread handle go
//    without waiting; the process is going away. The stop operations return
//    FALSE at once then, without taking the table lock (a thread ended by
//    the system may have held it): the owner of a global handler, destroyed
//    before the global watcher, stops the handler's watches at that point,
//    and the stop must not wait then.
#include "watch/dir_watcher.h"

#include "platform/ansi.h"
#include "platform/process_exit.h"
#include "platform/thread_check.h"
#include "watch/stop_handshake.h"

namespace vantrel {
namespace {

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
// CDirWatcher

CDirWatcher::CDirWatcher(bool gui, DWORD filter_flags) : gui_(gui), filter_flags_(filter_flags) {}

CDirWatcher::~CDirWatcher() {
  if (worker_thread_ && ProcessIsExiting()) {
    // Deliberately leaked: see "Destruction while the process is exiting".
    for (auto& entry : table_) (void)entry.release();
    for (auto& entry : abandoned_) (void)entry.release();
    (void)port_.release();
    (void)worker_thread_.release();
    return;
  }
  StopAll();  // frees the abandoned entries too, once the worker has ended
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
  for (const auto& e : table_)
    if (e) return true;
  return false;
}

HANDLE CDirWatcher::Port() {
  AutoLock lock(table_lock_);
  return port_.get();
}

DWORD CDirWatcher::WorkerThreadId() {
  AutoLock lock(table_lock_);
  return worker_thread_id_;
}

size_t CDirWatcher::WatchCount() {
  AutoLock lock(table_lock_);
  SweepFailedEntries();
  size_t n = 0;
  for (const auto& e : table_) n += e != nullptr;
  return n;
}

size_t CDirWatcher::WatchCountFor(CDirChangeHandler* handler) {
  AutoLock lock(table_lock_);
  SweepFailedEntries();
  size_t n = 0;
  for (const auto& e : table_) n += e && e->Dispatcher()->Target() == handler;
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
  if (!gui_) return fail(ERROR_NOT_SUPPORTED);
  if (directory.empty() || notify_filter == 0 || !handler) return fail(ERROR_INVALID_PARAMETER);
  const DWORD attrs = ::GetFileAttributesA(directory.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY))
    return fail(ERROR_BAD_PATHNAME);

  VANTREL_ASSERT_THREAD(!OnWorker());  // it would wait for itself
  AnswerStopNoticesInHand();  // see stop_handshake.h
  AutoLock lock(table_lock_);
  Operation operation(this);
  SweepFailedEntries();
  if (FindSlot(directory) >= 0) StopWatch(directory);
  EnableWatchPrivileges();

  // No FILE_SHARE_DELETE: the watched folder cannot be deleted or renamed
  // under the watch.
  UniqueHandle dir(::CreateFileA(directory.c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!dir) return fail(::GetLastError());
  const HANDLE dir_handle = dir.get();

  DWORD err = 0;
  std::unique_ptr<CWatchEntry> entry =
      CWatchEntry::Create(std::move(dir), directory, handler, notify_filter, watch_subtree,
                          include_filter, filter_flags_, &err);
  if (!entry) return fail(err);

  const HANDLE port = ::CreateIoCompletionPort(dir_handle, port_.get(),
                                               reinterpret_cast<ULONG_PTR>(entry.get()), 0);
  if (!port) return fail(::GetLastError());
  if (port != port_.get()) port_.reset(port);

  if (!worker_thread_) {
    DWORD id = 0;
    UniqueHandle thread(::CreateThread(nullptr, 0, &CDirWatcher::WorkerProc, this, 0, &id));
    if (!thread) {
      err = ::GetLastError();
      return err ? err : ERROR_MAX_THRDS_REACHED;
    }
    worker_thread_ = std::move(thread);
    worker_thread_id_ = id;
  }

  err = entry->RequestStart(port_.get(), depth_ > 1);
  if (err) return fail(err);

  if (!StoreEntry(entry)) {
    // A watch that is not in the table could never be stopped; undo it.
    StopEntry(std::move(entry));
    return fail(ERROR_OUTOFMEMORY);
  }
  return fail(ERROR_SUCCESS);
}

bool CDirWatcher::StoreEntry(std::unique_ptr<CWatchEntry>& entry) {
  for (auto& slot : table_) {
    if (!slot) {
      slot = std::move(entry);
      return true;
    }
  }
  try {
    table_.push_back(std::move(entry));
    return true;
  } catch (...) {
    return false;  // push_back left `entry` as it was
  }
}

void CDirWatcher::StopSlot(size_t slot) {
  // Out of the table first: handlers run during the pumping wait and may
  // call back into the watcher (the lock is recursive); they must not find
  // an entry that is being stopped.
  StopEntry(std::move(table_[slot]));
}

void CDirWatcher::StopEntry(std::unique_ptr<CWatchEntry> entry) {
  if (!entry->RequestStop(port_.get())) AbandonEntry(std::move(entry));
  // Otherwise the worker has answered, and the entry goes here.
}

void CDirWatcher::AbandonEntry(std::unique_ptr<CWatchEntry> entry) {
  // The worker never got the stop request: the entry's read is still
  // outstanding and its completion would reach freed memory. The handler's
  // watch is over all the same: its reference goes now.
  entry->ReleaseTarget();
  entry->SetState(CWatchEntry::Abandoned);
  try {
    abandoned_.push_back(std::move(entry));
  } catch (...) {
    // Leaked for good: still better than freed under the worker.
    (void)entry.release();
  }
}

BOOL CDirWatcher::StopWatch(const std::string& directory) {
  if (ProcessIsExiting()) return FALSE;  // see "Destruction while the process is exiting"
  VANTREL_ASSERT_THREAD(!OnWorker());  // it would wait for itself
  AnswerStopNoticesInHand();  // see stop_handshake.h
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
  // The owner of a global handler lands here at process exit, before the
  // global watcher's own destructor.
  if (ProcessIsExiting()) return FALSE;
  VANTREL_ASSERT_THREAD(!OnWorker());  // it would wait for itself
  AnswerStopNoticesInHand();  // see stop_handshake.h
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
  VANTREL_ASSERT_THREAD(!OnWorker());  // it would wait for itself
  AnswerStopNoticesInHand();  // see stop_handshake.h
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
  table_.clear();  // empty slots only: no watch is left
  ::InterlockedExchange(&sweep_pending_, 0);
  if (!worker_thread_) return;
  if (!::PostQueuedCompletionStatus(port_.get(), 0, 0, nullptr)) {
    // Closing the port also ends the worker's wait, without a packet.
    port_.reset();
  }
  // Plain wait: see stop_handshake.h.
  ::WaitForSingleObject(worker_thread_.get(), INFINITE);
  worker_thread_.reset();
  worker_thread_id_ = 0;
  // Nothing can reach an abandoned entry any more.
  abandoned_.clear();
  port_.reset();
}

// Worker thread, holding the table lock.
void CDirWatcher::RemoveFailedEntry(CWatchEntry* entry) {
  for (auto& slot : table_) {
    if (slot.get() == entry) {
      slot.reset();
      return;
    }
  }
}

void CDirWatcher::SweepFailedEntries() {
  if (!::InterlockedExchange(&sweep_pending_, 0)) return;
  for (auto& slot : table_) {
    if (slot && slot->CurrentState() == CWatchEntry::Failed) slot.reset();
  }
}

}  // namespace vantrel
