#include "watch/delivery_window.h"

#include <atomic>
#include <unordered_set>

#include "platform/lock.h"
#include "platform/module_call.h"
#include "platform/window.h"
#include "watch/stop_handshake.h"

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

bool CWindowPoster::OnWindowThread() {
  const HWND hwnd = Shared().window.load();
  return hwnd && ::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId();
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
  ReleaseStopHandshakeForUnload();
}

HWND CWindowPoster::Window() { return Shared().window.load(); }

LONG CWindowPoster::Users() { return Shared().users; }

}  // namespace vantrel
