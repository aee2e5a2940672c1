// The process's one hidden delivery window (class "Delayed_Message_Sender",
// title "DelayedWnd"): the worker posts change records to it, and the
// window's thread hands each to the record's owner.
//
// - Records: a CChangeNotification belongs to whoever holds it: its maker
//   until PostMessage succeeds, then the message, then the owner's Dispatch,
//   which frees it. A record whose post fails stays with its maker.
// - Forged messages: a message 0x8400 is acted on only if its lParam is a
//   record that a poster posted and nobody has taken yet (the live set). Any
//   program can post or broadcast that message with any lParam; taken as a
//   record, a forged value would crash the host (an access violation, which
//   catch(...) does not catch in this build), and a record delivered twice
//   would be freed twice. The set is checked before the lParam is first read
//   as a pointer.
// - The window is shared by all posters (a user count): the first one
//   creates it on its own thread, the last one destroys it, always on the
//   window's own thread. A poster destroyed elsewhere (the worker, after a
//   read error) posts a retire message, and the window destroys itself if it
//   is still unused when that message arrives.
// - Locks: the live-set lock is held for one set operation (the worker adds
//   a record just before it posts it, the window's thread takes it out when
//   the message arrives). The poster state lock guards the window handle,
//   the class flag and the create/destroy decisions; it is held around
//   CreateWindowExA and DestroyWindow of a window owned by the calling
//   thread, which send messages only to that same thread. Nothing waits
//   under either.
#pragma once

#include <windows.h>

#include <string>

#include "watch/change_stamp.h"

namespace vantrel {

// Carries a CChangeNotification* in lParam; the message owns the record.
constexpr UINT WM_WATCH_NOTIFICATION = 0x8400;  // WM_APP + 0x400

struct CChangeNotification;

// Who takes a delivered record, on the window's thread.
class NotificationOwner {
 public:
  // Takes the record over: frees it.
  virtual void Dispatch(CChangeNotification* notification) = 0;

 protected:
  ~NotificationOwner() = default;
};

// One notification on its way from the worker to the delivering thread.
struct CChangeNotification {
  NotificationOwner* owner = nullptr;  // the record holds a reference on it
  int kind = 0;
  std::string name;
  std::string new_name;
  bool has_new_name = false;
  DWORD error = 0;
  ChangeStamp stamp = 0;  // handed out just before posting: see change_stamp.h
};

class CWindowPoster {
 public:
  CWindowPoster();
  ~CWindowPoster();
  CWindowPoster(const CWindowPoster&) = delete;
  CWindowPoster& operator=(const CWindowPoster&) = delete;

  // False when the record could not be posted; the caller keeps it.
  bool Post(CChangeNotification* notification);

  // Whether the shared window exists; when it could not be created, the
  // error its creation left (0 if none).
  static bool HasWindow();
  static DWORD CreationError();
  // Whether the calling thread owns the window: the delivering thread.
  static bool OnWindowThread();

  // Delivers the records queued for the window, when the calling thread owns
  // it, and nothing else of that thread's queue.
  static void DeliverQueued();

  // For the unloading of this module: destroys the window (queued records
  // are then dropped, not delivered) and unregisters its class, so that
  // neither a queued record nor a broadcast can reach a window procedure in
  // unmapped code. From another thread than the window's, the window is
  // left to the system's default procedure instead.
  static void ReleaseForUnload();

  // For tests and diagnostics.
  static HWND Window();
  static LONG Users();
};

}  // namespace vantrel
