#include "watch/stop_handshake.h"

namespace vantrel {
namespace {

// The thread's list of watch-stopped notices whose targets are running, in a
// TLS slot of its own: delivering threads are the windows' threads, and a
// list must never be read by another thread.
DWORD InHandSlot() {
  static const DWORD slot = ::TlsAlloc();
  return slot;
}

}  // namespace

StopNoticeInHand::StopNoticeInHand(HANDLE answer_event) : event_(answer_event) {
  if (!event_ || InHandSlot() == TLS_OUT_OF_INDEXES) return;
  previous_ = static_cast<StopNoticeInHand*>(::TlsGetValue(InHandSlot()));
  ::TlsSetValue(InHandSlot(), this);
  listed_ = true;
}

StopNoticeInHand::~StopNoticeInHand() {
  if (listed_) ::TlsSetValue(InHandSlot(), previous_);
}

void StopNoticeInHand::Answer() {
  if (event_ && !answered_) ::SetEvent(event_);
  answered_ = true;
}

void AnswerStopNoticesInHand() {
  if (InHandSlot() == TLS_OUT_OF_INDEXES) return;
  for (auto* n = static_cast<StopNoticeInHand*>(::TlsGetValue(InHandSlot())); n; n = n->previous_)
    n->Answer();
}

void WaitForStartAnswer(HANDLE done_event, void (*deliver_queued)()) {
  for (;;) {
    if (deliver_queued) deliver_queued();
    if (::WaitForSingleObject(done_event, deliver_queued ? 10 : 10000) == WAIT_OBJECT_0) break;
  }
  ::ResetEvent(done_event);
}

void WaitForStopAnswer(HANDLE done_event) {
  // The queue is emptied before every wait, not only when the wait reports
  // input: MsgWaitForMultipleObjects wakes only for messages that arrived
  // after the thread last looked at its queue, and this wait may run inside
  // the dispatch of another message (a stop nested in a stop), whose pump
  // has looked already: the notice could sit there unseen for ever.
  bool quit = false;
  WPARAM quit_code = 0;
  while (::WaitForSingleObject(done_event, 0) != WAIT_OBJECT_0) {
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
    if (::MsgWaitForMultipleObjects(1, &done_event, FALSE, 5000, QS_ALLINPUT) == WAIT_OBJECT_0)
      break;
  }
  ::ResetEvent(done_event);
  if (quit) ::PostQuitMessage(static_cast<int>(quit_code));
}

void WaitForStopNoticeAnswer(HANDLE answer_event, bool (*can_answer)()) {
  for (;;) {
    const DWORD r = ::WaitForSingleObject(answer_event, 5000);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) return;
    if (!can_answer()) return;
  }
}

void ReleaseStopHandshakeForUnload() {
  if (InHandSlot() != TLS_OUT_OF_INDEXES) ::TlsFree(InHandSlot());
}

}  // namespace vantrel
