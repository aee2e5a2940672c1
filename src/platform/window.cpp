#include "platform/window.h"

namespace vantrel {
namespace {
// The property that carries the object pointer. A property rather than
// GWLP_USERDATA, because a subclassed system control may use its user data.
const char kObjectProp[] = "Vantrel.WindowObject";
}  // namespace

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

Window::~Window() {
  // A window that outlives its object would route messages to freed memory;
  // detach first so the destruction's own messages go to the old procedure.
  if (hwnd_) {
    HWND hwnd = hwnd_;
    Detach();
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
  return ::RegisterClassA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
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
  prev_proc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::SubclassProc)));
  return hwnd;
}

void Window::DestroyWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);  // WM_NCDESTROY detaches
}

Window* Window::FromHandle(HWND hwnd) {
  return static_cast<Window*>(::GetPropA(hwnd, kObjectProp));
}

void Window::Attach(HWND hwnd) {
  hwnd_ = hwnd;
  ::SetPropA(hwnd, kObjectProp, this);
}

void Window::Detach() {
  if (!hwnd_) return;
  ::RemovePropA(hwnd_, kObjectProp);
  if (prev_proc_) {
    // Only restore if nobody subclassed on top of us meanwhile; otherwise
    // leave the chain alone (SubclassProc then forwards without an object).
    if (::GetWindowLongPtrA(hwnd_, GWLP_WNDPROC) ==
        reinterpret_cast<LONG_PTR>(&Window::SubclassProc)) {
      ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev_proc_));
    }
  }
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
  if (msg == WM_NCDESTROY) {
    LRESULT r = self->WndProc(msg, wparam, lparam);
    self->Detach();
    self->prev_proc_ = nullptr;
    return r;
  }
  return self->WndProc(msg, wparam, lparam);
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
  // Detached while another subclass sat on top of us: we no longer know the
  // original procedure here, so fall back to the class procedure.
  WNDCLASSA wc = {};
  char cls[64];
  if (::GetClassNameA(hwnd, cls, sizeof cls) && ::GetClassInfoA(nullptr, cls, &wc) &&
      wc.lpfnWndProc != &Window::SubclassProc) {
    return ::CallWindowProcA(wc.lpfnWndProc, hwnd, msg, wparam, lparam);
  }
  return ::DefWindowProcA(hwnd, msg, wparam, lparam);
}

}  // namespace vantrel
