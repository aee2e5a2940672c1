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
//  - The hidden window is shared by all posters (a user count). It is
//    destroyed only on its own thread: a poster destroyed elsewhere (the
//    worker, after a read error) posts a retire message and the window
//    destroys itself if it is still unused when that message arrives.
//
// Locks and waits:
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
//    could ever signal it then.
#include "watch/change_dispatch.h"

#include <new>

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
};

// Never destroyed: a poster may go away after static destruction began.
PosterState& Shared() {
  static PosterState* state = new PosterState;
  return *state;
}

bool IsLeadByteAcp(unsigned char c) { return ::IsDBCSLeadByte(c) != FALSE; }

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
      if (lparam) {
        auto* n = reinterpret_cast<CChangeNotification*>(lparam);
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
  s.window = ::CreateWindowExA(0, kClassName, kWindowTitle, 0, 0, 0, 0, 0, nullptr, nullptr,
                               ThisModule(), nullptr);
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
  return hwnd && ::PostMessageA(hwnd, WM_WATCH_NOTIFICATION, 0,
                                reinterpret_cast<LPARAM>(notification));
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
  // The watch entry detaches the target (and releases its reference) before
  // it lets the dispatcher go; a target still attached here is not ours.
  delete poster_;
  if (delivered_event_) ::CloseHandle(delivered_event_);
}

CDirChangeHandler* CChangeDispatcher::Target() {
  AutoLock lock(target_lock_);
  return target_;
}

CDirChangeHandler* CChangeDispatcher::DetachTarget() {
  AutoLock lock(target_lock_);
  CDirChangeHandler* target = target_;
  target_ = nullptr;
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
  n->name = name;
  if (new_name) {
    n->new_name = *new_name;
    n->has_new_name = true;
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
// happened; it learns of the loss with the next report instead.
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
  if (target) {
    // Saved and restored: a target operation may pump messages (a stop)
    // and so deliver other records to the same target inside this one.
    const ChangeStamp outer_stamp = target->delivering_stamp_;
    target->delivering_stamp_ = n->stamp;
    try {
      const char* new_name = n->has_new_name ? n->new_name.c_str() : nullptr;
      bool accept = PassesIncludeFilter(n->kind, n->name.c_str(), new_name,
                                        has_include_ ? include_.c_str() : nullptr,
                                        filter_flags_, &IsLeadByteAcp);
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
  if (stopped_notice && delivered_event_) ::SetEvent(delivered_event_);
  delete n;
  Release();  // the record's reference; may destroy this dispatcher
}

}  // namespace vantrel
