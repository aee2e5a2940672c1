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
// reaches a destroyed object. The thread that attached the first object
// (the user-interface thread) keeps a copy of the property for up to 32
// windows, which it reads without asking the system: under Wine every
// GetPropA is a request to the server, and every message needs the object.
// All of it runs on the thread that owns the window.
//
// Subclassing shares a window with whoever else subclasses it (other
// plug-ins do, in any order). A procedure may be taken out of the chain only
// while it is on top: putting the previous procedure back from beneath
// someone else would throw them out, and they would later put ours back,
// which then has nowhere to forward to. So a procedure that is not on top
// stays installed as a pass-through to its previous procedure, which is
// remembered in a window property until the window's WM_NCDESTROY.
#pragma once

#include <windows.h>

namespace vantrel {

// The module that holds this code (the plug-in DLL, or a test program that
// links the code statically); window classes are registered for it.
HINSTANCE ThisModule();

// Keeps this module mapped until the process ends. For code that must stay
// reachable after the host lets go of the module: a procedure left in a
// chain that another plug-in holds.
void PinThisModule();

// Installs `proc` as hwnd's window procedure; returns the previous one, or
// null when the procedure could not be replaced.
WNDPROC ReplaceWindowProc(HWND hwnd, WNDPROC proc);

// True when `proc` is hwnd's current window procedure (nobody on top).
bool IsTopWindowProc(HWND hwnd, WNDPROC proc);

// Takes `proc` out of hwnd's chain. On top: `prev` goes back at once, true.
// Beneath another subclass: `proc` stays as a pass-through to `prev`,
// remembered under the window property `tag`, and false.
bool RestoreWindowProc(HWND hwnd, WNDPROC proc, WNDPROC prev, const char* tag);

// What `proc` does with a message of a window it serves no more: passes it
// to the `prev` remembered under `tag` (DefWindowProc if none). Once `proc`
// is on top again (the subclass above it left), `prev` goes back; at
// WM_NCDESTROY the property goes.
LRESULT ForwardPassThrough(HWND hwnd, WNDPROC proc, const char* tag, UINT msg, WPARAM wparam,
                           LPARAM lparam);

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
  // Unregisters every class registered above, for a module that is being
  // unloaded: a class left behind would lead to a procedure in freed code.
  // A class that still has windows stays registered.
  static void UnregisterObjectClasses();

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
  // `dying`: at WM_NCDESTROY, when no message can follow.
  void Detach(bool dying);

  HWND hwnd_ = nullptr;
  WNDPROC prev_proc_ = nullptr;  // set only for subclassed windows
  int slot_ = -1;  // where the attaching thread finds this object without the property
};

}  // namespace vantrel
