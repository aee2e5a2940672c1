#include "platform/window.h"

#include <atomic>
#include <string>
#include <vector>

#include "platform/module_call.h"

namespace vantrel {
namespace {
// The property that carries the object pointer. A property rather than
// GWLP_USERDATA, because a subclassed system control may use its user data.
const char kObjectProp[] = "Vantrel.WindowObject";
// The previous procedure of a subclassed window whose object went while
// another subclass sat on top of SubclassProc.
const char kPassThroughProp[] = "Vantrel.WindowPrevProc";

// The objects attached on one thread, by handle: the first thread that
// attaches one claims the table for the process's life (in the plug-in, the
// host's user-interface thread, the only one with windows). Every message to
// a window of ours needs its object, and under Wine GetPropA asks the server
// each time (10 to 25 microseconds on a loaded machine, a dozen times per
// typed key). The property stays the record; a slot is a copy of it that the
// claiming thread reads without asking. Only that thread fills or reads the
// slots. A detach on another thread (an object deleted there) may empty a
// slot at any time, so each slot's handle is atomic; the object pointer is
// written before the handle and read after it, both on the claiming thread.
// A window of another thread, or one attached while every slot is taken, is
// found through its property alone.
constexpr int kAttachedSlots = 32;
struct AttachedSlot {
  std::atomic<HWND> hwnd{nullptr};
  Window* object = nullptr;
};
AttachedSlot g_attached[kAttachedSlots];
std::atomic<DWORD> g_attachedThread{0};

bool OnAttachedThread() {
  return g_attachedThread.load(std::memory_order_relaxed) == ::GetCurrentThreadId();
}

// A free slot for `object`'s window, or -1; on the claiming thread only.
int TakeAttachedSlot(HWND hwnd, Window* object) {
  DWORD none = 0;
  const DWORD self = ::GetCurrentThreadId();
  if (!g_attachedThread.compare_exchange_strong(none, self) && none != self) return -1;
  for (int i = 0; i < kAttachedSlots; ++i) {
    if (g_attached[i].hwnd.load(std::memory_order_relaxed)) continue;
    g_attached[i].object = object;
    g_attached[i].hwnd.store(hwnd, std::memory_order_relaxed);
    return i;
  }
  return -1;
}

// Names of the classes RegisterObjectClass registered. Never destroyed: the
// module's unload asks for them after static destruction may have begun.
std::vector<std::string>& ObjectClassNames() {
  static auto* names = new std::vector<std::string>;
  return *names;
}
}  // namespace

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

void PinThisModule() {
  static bool pinned = false;  // UI thread only; pinning twice is harmless anyway
  if (pinned) return;
  HMODULE module = nullptr;
  pinned = ::GetModuleHandleExA(
               GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
               reinterpret_cast<LPCSTR>(&PinThisModule), &module) != FALSE;
}

WNDPROC ReplaceWindowProc(HWND hwnd, WNDPROC proc) {
  return reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
}

bool IsTopWindowProc(HWND hwnd, WNDPROC proc) {
  return ::GetWindowLongPtrA(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(proc);
}

bool RestoreWindowProc(HWND hwnd, WNDPROC proc, WNDPROC prev, const char* tag) {
  if (IsTopWindowProc(hwnd, proc)) {
    ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
    ::RemovePropA(hwnd, tag);
    return true;
  }
  ::SetPropA(hwnd, tag, reinterpret_cast<HANDLE>(prev));
  return false;
}

LRESULT ForwardPassThrough(HWND hwnd, WNDPROC proc, const char* tag, UINT msg, WPARAM wparam,
                           LPARAM lparam) {
  const auto prev = reinterpret_cast<WNDPROC>(::GetPropA(hwnd, tag));
  if (!prev) return ::DefWindowProcA(hwnd, msg, wparam, lparam);
  if (msg == WM_NCDESTROY) {
    ::RemovePropA(hwnd, tag);
  } else if (IsTopWindowProc(hwnd, proc)) {
    // Whoever sat on top has left and put us back: the chain is ours again.
    ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
    ::RemovePropA(hwnd, tag);
  }
  return ::CallWindowProcA(prev, hwnd, msg, wparam, lparam);
}

Window::~Window() {
  // A window that outlives its object would route messages to freed memory;
  // detach first so the destruction's own messages go to the old procedure.
  if (hwnd_) {
    HWND hwnd = hwnd_;
    Detach(false);
    ::DestroyWindow(hwnd);
  }
}

bool Window::RegisterObjectClass(const char* class_name, UINT style, HBRUSH background,
                                 HCURSOR cursor) {
  WNDCLASSA wc = {};
  if (::GetClassInfoA(ThisModule(), class_name, &wc)) return true;
  wc.style = style;
  wc.lpfnWndProc = &Window::ObjectClassProc;
  wc.hInstance = ThisModule();
  wc.hCursor = cursor;
  wc.hbrBackground = background;
  wc.lpszClassName = class_name;
  if (::RegisterClassA(&wc) != 0) {
    ObjectClassNames().push_back(class_name);
    return true;
  }
  return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void Window::UnregisterObjectClasses() {
  std::vector<std::string>& names = ObjectClassNames();
  for (const std::string& name : names) ::UnregisterClassA(name.c_str(), ThisModule());
  names.clear();
}

HWND Window::Create(DWORD ex_style, const char* class_name, const char* title, DWORD style,
                    int x, int y, int width, int height, HWND parent, UINT_PTR id) {
  if (hwnd_) return nullptr;
  return ::CreateWindowExA(ex_style, class_name, title, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(id), ThisModule(), this);
}

HWND Window::CreateSubclassed(DWORD ex_style, const char* class_name, const char* title,
                              DWORD style, int x, int y, int width, int height, HWND parent,
                              UINT_PTR id) {
  if (hwnd_) return nullptr;
  HWND hwnd = ::CreateWindowExA(ex_style, class_name, title, style, x, y, width, height, parent,
                                reinterpret_cast<HMENU>(id), ThisModule(), nullptr);
  if (!hwnd) return nullptr;
  Attach(hwnd);
  prev_proc_ = ReplaceWindowProc(hwnd, &Window::SubclassProc);
  return hwnd;
}

void Window::DestroyWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);  // WM_NCDESTROY detaches
}

Window* Window::FromHandle(HWND hwnd) {
  if (hwnd && OnAttachedThread()) {
    for (const AttachedSlot& slot : g_attached) {
      if (slot.hwnd.load(std::memory_order_relaxed) == hwnd) return slot.object;
    }
  }
  return static_cast<Window*>(::GetPropA(hwnd, kObjectProp));
}

void Window::Attach(HWND hwnd) {
  hwnd_ = hwnd;
  ::SetPropA(hwnd, kObjectProp, this);
  slot_ = TakeAttachedSlot(hwnd, this);
}

void Window::Detach(bool dying) {
  if (!hwnd_) return;
  if (slot_ >= 0) {
    g_attached[slot_].hwnd.store(nullptr, std::memory_order_relaxed);
    slot_ = -1;
  }
  ::RemovePropA(hwnd_, kObjectProp);
  // Beneath another subclass, SubclassProc stays and forwards to prev_proc_
  // without an object; after WM_NCDESTROY nothing is left to forward.
  if (prev_proc_ && !dying)
    RestoreWindowProc(hwnd_, &Window::SubclassProc, prev_proc_, kPassThroughProp);
  hwnd_ = nullptr;
}

LRESULT Window::WndProc(UINT msg, WPARAM wparam, LPARAM lparam) {
  return DefaultProc(msg, wparam, lparam);
}

LRESULT Window::DefaultProc(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (prev_proc_) return ::CallWindowProcA(prev_proc_, hwnd_, msg, wparam, lparam);
  return ::DefWindowProcA(hwnd_, msg, wparam, lparam);
}

LRESULT Window::Route(Window* self, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  // Nothing thrown may unwind into the system's dispatch and the host: the
  // message then counts as handled, and the window goes on.
  const LRESULT r = GuardedCall(LRESULT(0), [&] { return self->WndProc(msg, wparam, lparam); });
  if (msg == WM_NCDESTROY) {
    self->Detach(true);
    self->prev_proc_ = nullptr;
  }
  return r;
}

LRESULT CALLBACK Window::ObjectClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  Window* self = FromHandle(hwnd);
  if (!self && msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lparam);
    self = static_cast<Window*>(cs->lpCreateParams);
    if (self) self->Attach(hwnd);
  }
  if (!self) return ::DefWindowProcA(hwnd, msg, wparam, lparam);
  return Route(self, hwnd, msg, wparam, lparam);
}

LRESULT CALLBACK Window::SubclassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  Window* self = FromHandle(hwnd);
  if (self) return Route(self, hwnd, msg, wparam, lparam);
  // Detached while another subclass sat on top of us.
  return ForwardPassThrough(hwnd, &Window::SubclassProc, kPassThroughProp, msg, wparam, lparam);
}

}  // namespace vantrel
