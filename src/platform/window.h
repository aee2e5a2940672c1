// A window object bound to one native window.
//
// Two ways to bind:
//  - Create() with a class registered through RegisterObjectClass(): the
//    object is attached at WM_NCCREATE, so it sees every message from then on.
//  - CreateSubclassed() / Subclass() on a window of a system class ("Edit",
//    "SCROLLBAR"): the previous window procedure is kept and receives every
//    message the object does not handle itself.
// Either way the object is found again through a window property, and is
// detached at WM_NCDESTROY and in its destructor, so a late message never
// reaches a destroyed object. All of it runs on the thread that owns the
// window.
#pragma once

#include <windows.h>

namespace vantrel {

// The module that holds this code (the plug-in DLL, or a test program that
// links the code statically); window classes are registered for it.
HINSTANCE ThisModule();

class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND hwnd() const { return hwnd_; }

  // Registers a class whose windows are bound to objects at creation. Safe to
  // call again: an already registered class counts as success.
  static bool RegisterObjectClass(const char* class_name, UINT style, HBRUSH background,
                                  HCURSOR cursor);

  // Creates a window of a class registered with RegisterObjectClass().
  HWND Create(DWORD ex_style, const char* class_name, const char* title, DWORD style, int x,
              int y, int width, int height, HWND parent, UINT_PTR id);

  // Creates a window of any class and subclasses it.
  HWND CreateSubclassed(DWORD ex_style, const char* class_name, const char* title, DWORD style,
                        int x, int y, int width, int height, HWND parent, UINT_PTR id);

  // Destroys the window if it still exists; the object stays usable.
  void DestroyWindow();

  static Window* FromHandle(HWND hwnd);

 protected:
  // One switch in the derived class, one handler per message; everything
  // else goes to DefaultProc().
  virtual LRESULT WndProc(UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT DefaultProc(UINT msg, WPARAM wparam, LPARAM lparam);

 private:
  static LRESULT CALLBACK ObjectClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  static LRESULT Route(Window* self, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  void Attach(HWND hwnd);
  void Detach();

  HWND hwnd_ = nullptr;
  WNDPROC prev_proc_ = nullptr;  // set only for subclassed windows
};

}  // namespace vantrel
