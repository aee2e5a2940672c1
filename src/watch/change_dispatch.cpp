// Threads, ownership, locks
// =========================
// Threads:
//  - The worker thread of CDirWatcher calls a dispatcher's Notify*
//    operations and AssignCurrentDirectory. It never calls a target handler
//    and never touches a window other than posting to it.
//  - The delivering thread owns the hidden window (the first thread that
//    started a watch while no window existed; in the plug-in the host's UI
//    thread). It runs Dispatch, and with it every target operation, from its
//    message loop or from the message-pumping wait of a stop operation.
//
// Ownership:
//  - A CChangeNotification belongs to whoever holds it: the worker until
//    PostMessage succeeds, then the message, then Dispatch, which frees it.
//    A record whose post fails is freed at once by the poster's caller.
//  - Each record holds a reference on its owning dispatcher (taken when it is
//    made, dropped at the end of Dispatch or after a failed post). The watch
//    entry holds the creator's reference. So a dispatcher outlives every
//    record posted for it, even when the watcher destroys the entry right
//    after a refused read while the watch-started or read-error notice is
//    still queued; its last reference may then go away on the delivering
//    thread.
//  - The target: the watch entry holds a reference on it and, when the
//    entry goes, hands it to the dispatcher (AdoptTargetReference), which
//    drops it with its own last reference. So every record queued before
//    the entry went still reaches the target: after a refused read, the
//    changes of the last batch, the read error and a refused start's
//    watch-started notice.
//  - A message 0x8400 at the hidden window is acted on only if its lParam
//    is a record that a poster posted and nobody has taken yet (the live
//    set). Any program can post or broadcast that message with any lParam;
//    taken as a record, a forged value would crash the host (an access
//    violation, which catch(...) does not catch in this build), and a record
//    delivered twice would be freed twice. The set is checked before the
//    lParam is first read as a pointer.
//  - The hidden window is shared by all posters (a user count). It is
//    destroyed only on its own thread: a poster destroyed elsewhere (the
//    worker, after a read error) posts a retire message and the window
//    destroys itself if it is still unused when that message arrives. When
//    the module is unloaded the window and its class go with it
//    (ReleaseForUnload), queued records or not.
//
// Locks and waits:
//  - Live set lock: the worker adds a record just before it posts it, the
//    window's thread takes it out when the message arrives, concurrently.
//    Held only for one set operation; nothing is called under it.
//  - Poster state lock: guards the window handle, the class flag and the
//    create/destroy decisions. Held only around CreateWindowExA and
//    DestroyWindow of a window owned by the calling thread, which send
//    messages only to that same thread; no wait happens under it.
//  - target_lock_ (dispatcher): the target pointer is read on the
//    delivering thread and detached by whoever destroys the watch entry
//    (the stopping thread, or the worker after a read error). Dispatch takes
//    its own reference on the target under the lock and calls it outside, so
//    a detach never frees a target that is being called and no handler code
//    runs under the lock.
//  - directory_lock_ (handler): the current directory string is written by
//    the worker and may be read on any thread; a string is not atomic.
//  - handler_lock_: guards the binding's read-modify-write. It is never held
//    while calling into a watcher: StopWatching under it would take the
//    watcher's table lock in the reverse order of entry destruction (table
//    lock, then handler lock in UnbindWatcher) and deadlock against the
//    worker removing an entry after a read error.
//  - The worker waits in NotifyWatchStopped for the delivered event, in
//    5000 ms periods. It stops waiting if the post failed, or if the window
//    is gone (its thread ended and took the queued notice along): nobody
//    could ever signal it then. The delivering thread signals the event once
//    the target has handled the notice, or earlier, when the target itself
//    starts or stops a watch from its NotifyWatchStopped: that waits for the
//    worker, which is still waiting for this answer. The watcher calls
//    AnswerStopNoticesInHand before each such wait; the notices being
//    handled on this thread are kept in a per-thread list for it.
//  - A change that could not be posted (the queue is full, or the window is
//    gone) is owed to the handler as a changes-lost notice; the worker
//    retries it on a timer (RetryChangesLost), and every later report tries
//    it first, so the handler learns of it even if nothing changes again.
#include "watch/change_dispatch.h"

#include <new>
#include <unordered_set>

#include "platform/ansi.h"
#include "platform/module_call.h"
#include "platform/window.h"
#include "watch/dir_watcher.h"

namespace vantrel {
namespace {

const char kClassName[] = "Delayed_Message_Sender";
const char kWindowTitle[] = "DelayedWnd";
// Posted to the window by a poster that went away on another thread.
constexpr UINT WM_WATCH_RETIRE = WM_WATCH_NOTIFICATION + 1;

struct PosterState {
  CriticalSection lock;
  std::atomic<HWND> window{nullptr};
  volatile LONG users = 0;
  bool class_registered = false;
  DWORD create_error = 0;  // of the last creation that failed
};

// Never destroyed: a poster may go away after static destruction began.
PosterState& Shared() {
  static PosterState* state = new PosterState;
  return *state;
}

// Records posted to the hidden window and not yet taken (see the header).
struct LiveRecords {
  CriticalSection lock;
  std::unordered_set<const void*> records;
};

// Never destroyed, like the poster state.
LiveRecords& Live() {
  static LiveRecords* live = new LiveRecords;
  return *live;
}

bool AddLiveRecord(const CChangeNotification* n) {
  LiveRecords& live = Live();
  AutoLock lock(live.lock);
  try {
    live.records.insert(n);
    return true;
  } catch (...) {
    return false;  // not posted then: the change is owed as lost
  }
}

// True when `lparam` is a live record, which the caller now owns.
bool TakeLiveRecord(LPARAM lparam) {
  LiveRecords& live = Live();
  AutoLock lock(live.lock);
  return live.records.erase(reinterpret_cast<const void*>(lparam)) != 0;
}

// The thread's list of watch-stopped notices whose targets are running
// (nested deliveries stack up), in a TLS slot of its own: delivering threads
// are the windows' threads, and a list must never be read by another thread.
DWORD InHandSlot() {
  static const DWORD slot = ::TlsAlloc();
  return slot;
}

}  // namespace

// A watch-stopped notice being handled on this thread, answered at most once.
class StopNoticeInHand {
 public:
  explicit StopNoticeInHand(HANDLE event) : event_(event) {
    if (!event_ || InHandSlot() == TLS_OUT_OF_INDEXES) return;
    previous_ = static_cast<StopNoticeInHand*>(::TlsGetValue(InHandSlot()));
    ::TlsSetValue(InHandSlot(), this);
    listed_ = true;
  }
  ~StopNoticeInHand() {
    if (listed_) ::TlsSetValue(InHandSlot(), previous_);
  }
  StopNoticeInHand(const StopNoticeInHand&) = delete;
  StopNoticeInHand& operator=(const StopNoticeInHand&) = delete;

  void Answer() {
    if (event_ && !answered_) ::SetEvent(event_);
    answered_ = true;
  }
  static void AnswerAll() {
    if (InHandSlot() == TLS_OUT_OF_INDEXES) return;
    for (auto* n = static_cast<StopNoticeInHand*>(::TlsGetValue(InHandSlot())); n; n = n->previous_)
      n->Answer();
  }

 private:
  HANDLE event_;
  StopNoticeInHand* previous_ = nullptr;
  bool listed_ = false;
  bool answered_ = false;
};

namespace {

void OnRetire(HWND hwnd) {
  PosterState& s = Shared();
  AutoLock lock(s.lock);
  if (s.users == 0 && s.window.load() == hwnd) {
    s.window = nullptr;
    ::DestroyWindow(hwnd);
  }
}

LRESULT CALLBACK DelayedWndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_WATCH_NOTIFICATION:
      // Nothing else may be read as a record: see the header.
      if (lparam && TakeLiveRecord(lparam)) {
        auto* n = reinterpret_cast<CChangeNotification*>(lparam);
        ModuleCall call;  // the handler may pump, and the host run inside
        // A failure while delivering one record must not stop the next.
        try {
          if (n->owner)
            n->owner->Dispatch(n);
          else
            delete n;
        } catch (...) {
        }
      }
      return 0;
    case WM_WATCH_RETIRE:
      OnRetire(hwnd);
      return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wparam, lparam);
}

}  // namespace

// ---------------------------------------------------------------------------
// CDirChangeHandler

CDirChangeHandler::CDirChangeHandler() = default;

CDirChangeHandler::~CDirChangeHandler() { StopWatching(); }

LONG CDirChangeHandler::AddRef() { return ::InterlockedIncrement(&refs_); }

LONG CDirChangeHandler::Release() {
  const LONG n = ::InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return n;
}

LONG CDirChangeHandler::BindWatcher(CDirWatcher* watcher) {
  CDirWatcher* other = nullptr;
  {
    AutoLock lock(handler_lock_);
    if (!bound_watcher_ || bound_watcher_ == watcher) {
      bound_watcher_ = watcher;
      return ::InterlockedIncrement(&watch_count_);
    }
    other = bound_watcher_;
  }
  // Bound elsewhere: this handler is watched by one watcher at a time. The
  // new watch already runs on `watcher`, so the binding follows it whether or
  // not the old watcher still had watches for us; keeping the old binding
  // would let the destructor's StopWatching miss the running watch.
  other->StopWatchForHandler(this);
  AutoLock lock(handler_lock_);
  bound_watcher_ = watcher;
  watch_count_ = 1;
  return 1;
}

LONG CDirChangeHandler::UnbindWatcher(CDirWatcher* watcher) {
  AutoLock lock(handler_lock_);
  LONG n = ::InterlockedDecrement(&watch_count_);
  if (n <= 0) {
    bound_watcher_ = nullptr;
    watch_count_ = 0;
    n = 0;
  }
  return n;
}

BOOL CDirChangeHandler::StopWatching() {
  CDirWatcher* watcher = BoundWatcher();
  return watcher ? watcher->StopWatchForHandler(this) : TRUE;
}

CDirWatcher* CDirChangeHandler::BoundWatcher() {
  AutoLock lock(handler_lock_);
  return bound_watcher_;
}

void CDirChangeHandler::AssignCurrentDirectory(const std::string& directory) {
  AutoLock lock(directory_lock_);
  current_directory_ = directory;
}

std::string CDirChangeHandler::CurrentDirectory() {
  AutoLock lock(directory_lock_);
  return current_directory_;
}

// ---------------------------------------------------------------------------
// CWindowPoster

CWindowPoster::CWindowPoster() {
  PosterState& s = Shared();
  AutoLock lock(s.lock);
  ::InterlockedIncrement(&s.users);
  const HWND existing = s.window.load();
  if (existing && ::IsWindow(existing)) return;
  if (!s.class_registered) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &DelayedWndProc;
    // This module's instance, not the host's: the class must lead to this
    // module's window procedure even if the module is loaded again later.
    wc.hInstance = ThisModule();
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kClassName;
    s.class_registered =
        ::RegisterClassA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }
  const HWND window = ::CreateWindowExA(0, kClassName, kWindowTitle, 0, 0, 0, 0, 0, nullptr,
                                       nullptr, ThisModule(), nullptr);
  s.create_error = window ? 0 : ::GetLastError();
  s.window = window;
}

CWindowPoster::~CWindowPoster() {
  PosterState& s = Shared();
  AutoLock lock(s.lock);
  if (::InterlockedDecrement(&s.users) > 0) return;
  const HWND hwnd = s.window.load();
  if (!hwnd) return;
  if (::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId()) {
    s.window = nullptr;
    ::DestroyWindow(hwnd);
  } else if (!::IsWindow(hwnd)) {
    s.window = nullptr;  // its thread has ended and took it along
  } else {
    // A window can only be destroyed by its own thread.
    ::PostMessageA(hwnd, WM_WATCH_RETIRE, 0, 0);
  }
}

bool CWindowPoster::Post(CChangeNotification* notification) {
  const HWND hwnd = Shared().window.load();
  // Live before it is posted: the window's thread may take it at once.
  if (!hwnd || !AddLiveRecord(notification)) return false;
  if (::PostMessageA(hwnd, WM_WATCH_NOTIFICATION, 0, reinterpret_cast<LPARAM>(notification)))
    return true;
  TakeLiveRecord(reinterpret_cast<LPARAM>(notification));
  return false;
}

bool CWindowPoster::HasWindow() {
  const HWND hwnd = Shared().window.load();
  return hwnd && ::IsWindow(hwnd);
}

DWORD CWindowPoster::CreationError() { return Shared().create_error; }

void CWindowPoster::DeliverQueued() {
  const HWND hwnd = Shared().window.load();
  if (!hwnd || ::GetWindowThreadProcessId(hwnd, nullptr) != ::GetCurrentThreadId()) return;
  MSG msg;
  while (::PeekMessageA(&msg, hwnd, WM_WATCH_NOTIFICATION, WM_WATCH_RETIRE, PM_REMOVE))
    ::DispatchMessageA(&msg);
}

void CWindowPoster::ReleaseForUnload() {
  PosterState& s = Shared();
  AutoLock lock(s.lock);
  const HWND hwnd = s.window.exchange(nullptr);
  if (hwnd && ::IsWindow(hwnd)) {
    if (::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId()) {
      ::DestroyWindow(hwnd);  // its queued messages go with it
    } else {
      // Only its own thread may destroy it. From now on whatever reaches it
      // goes to the system's procedure; the queued records are leaked.
      const auto def = reinterpret_cast<LONG_PTR>(&::DefWindowProcA);
      ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, def);
      ::SetClassLongPtrA(hwnd, GCLP_WNDPROC, def);
    }
  }
  // Fails while a window of the class is left; the class then leads to the
  // system's procedure (above).
  ::UnregisterClassA(kClassName, ThisModule());
  s.class_registered = false;
  if (InHandSlot() != TLS_OUT_OF_INDEXES) ::TlsFree(InHandSlot());
}

HWND CWindowPoster::Window() { return Shared().window.load(); }

LONG CWindowPoster::Users() { return Shared().users; }

// ---------------------------------------------------------------------------
// CChangeDispatcher

CChangeDispatcher::CChangeDispatcher(CDirChangeHandler* target, bool gui, const char* include,
                                     const char* exclude, DWORD filter_flags)
    : target_(target), filter_flags_(filter_flags) {
  if (include && *include) {
    include_ = include;
    has_include_ = true;
  }
  delivered_event_ = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (gui) poster_ = new CWindowPoster;
}

CChangeDispatcher::~CChangeDispatcher() {
  // A target still attached is ours to release only if the watch entry
  // handed its reference over; otherwise whoever made us detaches it.
  if (owns_target_ref_ && target_) target_->Release();
  delete poster_;
  if (delivered_event_) ::CloseHandle(delivered_event_);
}

void CChangeDispatcher::AnswerStopNoticesInHand() { StopNoticeInHand::AnswerAll(); }

void CChangeDispatcher::AdoptTargetReference() {
  AutoLock lock(target_lock_);
  owns_target_ref_ = target_ != nullptr;
}

bool CChangeDispatcher::CanDeliver() const { return !poster_ || CWindowPoster::HasWindow(); }

bool CChangeDispatcher::RetryChangesLost() {
  if (lost_pending_.exchange(false) && !Send(NK_CHANGES_LOST, CurrentDirectory(), nullptr, 0))
    lost_pending_ = true;
  return !lost_pending_;
}

CDirChangeHandler* CChangeDispatcher::Target() {
  AutoLock lock(target_lock_);
  return target_;
}

CDirChangeHandler* CChangeDispatcher::DetachTarget() {
  AutoLock lock(target_lock_);
  CDirChangeHandler* target = target_;
  target_ = nullptr;
  owns_target_ref_ = false;  // the caller has the reference now
  return target;
}

void CChangeDispatcher::AssignCurrentDirectory(const std::string& directory) {
  CDirChangeHandler::AssignCurrentDirectory(directory);
  AutoLock lock(target_lock_);
  if (target_) target_->AssignCurrentDirectory(directory);
}

bool CChangeDispatcher::Send(int kind, const std::string& name, const std::string* new_name,
                             DWORD error) {
  auto* n = new (std::nothrow) CChangeNotification;
  if (!n) return false;
  n->owner = this;
  n->kind = kind;
  try {
    n->name = name;
    if (new_name) {
      n->new_name = *new_name;
      n->has_new_name = true;
    }
  } catch (...) {
    delete n;  // out of memory: as a post that failed
    return false;
  }
  n->error = error;
  // After the worker took the change from the system, before anyone can
  // deliver the record: a reading that noted a stamp this new or newer began
  // after the change happened.
  n->stamp = NextChangeStamp();
  AddRef();  // dropped by Dispatch, or below if the record goes nowhere
  if (!poster_) {
    Dispatch(n);
    return true;
  }
  if (poster_->Post(n)) return true;
  delete n;
  Release();  // never the last: the watch entry still holds its reference
  return false;
}

// A change that cannot be posted would leave the handler believing nothing
// happened; it learns of the loss with the worker's retry or the next
// report, whichever comes first.
#define VANTREL_SEND_CHANGE(kind, name, new_name)                                 \
  do {                                                                            \
    if (lost_pending_.exchange(false) &&                                          \
        !Send(NK_CHANGES_LOST, CurrentDirectory(), nullptr, 0))                   \
      lost_pending_ = true;                                                       \
    if (!Send(kind, name, new_name, 0)) lost_pending_ = true;                     \
  } while (0)

void CChangeDispatcher::NotifyAdded(const std::string& path) {
  VANTREL_SEND_CHANGE(NK_ADDED, path, nullptr);
}
void CChangeDispatcher::NotifyRemoved(const std::string& path) {
  VANTREL_SEND_CHANGE(NK_REMOVED, path, nullptr);
}
void CChangeDispatcher::NotifyModified(const std::string& path) {
  VANTREL_SEND_CHANGE(NK_MODIFIED, path, nullptr);
}
void CChangeDispatcher::NotifyRenamed(const std::string& old_path, const std::string& new_path) {
  VANTREL_SEND_CHANGE(NK_RENAMED, old_path, &new_path);
}
#undef VANTREL_SEND_CHANGE

void CChangeDispatcher::NotifyChangesLost(const std::string& directory) {
  lost_pending_ = !Send(NK_CHANGES_LOST, directory, nullptr, 0);
}

void CChangeDispatcher::NotifyReadError(DWORD error, const std::string& directory) {
  Send(NK_READ_ERROR, directory, nullptr, error);
}

void CChangeDispatcher::NotifyWatchStarted(DWORD error, const std::string& directory) {
  Send(NK_WATCH_STARTED, directory, nullptr, error);
}

void CChangeDispatcher::NotifyWatchStopped(const std::string& directory) {
  if (delivered_event_) ::ResetEvent(delivered_event_);
  if (!Send(NK_WATCH_STOPPED, directory, nullptr, 0)) return;  // nobody will answer
  if (!poster_ || !delivered_event_) return;                   // handled inline already
  for (;;) {
    const DWORD r = ::WaitForSingleObject(delivered_event_, 5000);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) return;
    if (!::IsWindow(CWindowPoster::Window())) return;
  }
}

void CChangeDispatcher::Dispatch(CChangeNotification* n) {
  if (!n) return;
  CDirChangeHandler* target = nullptr;
  {
    AutoLock lock(target_lock_);
    target = target_;
    if (target) target->AddRef();
  }
  const bool stopped_notice = n->kind == NK_WATCH_STOPPED;
  // While the target handles the notice, the worker waits for its answer;
  // a wait of this thread for the worker answers it first.
  StopNoticeInHand in_hand(stopped_notice ? delivered_event_ : nullptr);
  if (target) {
    // Saved and restored: a target operation may pump messages (a stop)
    // and so deliver other records to the same target inside this one.
    const ChangeStamp outer_stamp = target->delivering_stamp_;
    target->delivering_stamp_ = n->stamp;
    try {
      const char* new_name = n->has_new_name ? n->new_name.c_str() : nullptr;
      bool accept = PassesIncludeFilter(n->kind, n->name.c_str(), new_name,
                                        has_include_ ? include_.c_str() : nullptr,
                                        filter_flags_, AnsiLeadBytes());
      if (accept && !IsAlwaysAccepted(n->kind))
        accept = target->AcceptChange(static_cast<DWORD>(n->kind), n->name.c_str(), new_name);
      if (accept) {
        switch (n->kind) {
          case NK_ADDED: target->NotifyAdded(n->name); break;
          case NK_REMOVED: target->NotifyRemoved(n->name); break;
          case NK_MODIFIED: target->NotifyModified(n->name); break;
          case NK_RENAMED: target->NotifyRenamed(n->name, n->new_name); break;
          case NK_READ_ERROR: target->NotifyReadError(n->error, n->name); break;
          case NK_WATCH_STARTED: target->NotifyWatchStarted(n->error, n->name); break;
          case NK_WATCH_STOPPED: target->NotifyWatchStopped(n->name); break;
          case NK_CHANGES_LOST: target->NotifyChangesLost(n->name); break;
        }
      }
    } catch (...) {
      if (stopped_notice) {
        ::MessageBeep(0xFFFFFFFF);
        ::MessageBeep(0xFFFFFFFF);
      }
    }
    target->delivering_stamp_ = outer_stamp;
    target->Release();
  }
  // Always answered, even without a target: the worker waits for it.
  if (stopped_notice && delivered_event_) in_hand.Answer();
  delete n;
  Release();  // the record's reference; may destroy this dispatcher
}

}  // namespace vantrel
