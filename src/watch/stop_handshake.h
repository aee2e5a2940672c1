// Threads and waits
// =================
// The one place that says how the user-interface thread (the caller of the
// watcher's operations, which owns the delivery window) and the watcher's
// worker thread wait for each other. Every wait between them is one of the
// functions below.
//
// 1. A start (UI thread waits for the worker): StartWatch posts a start
//    request to the completion port and waits for the worker to issue the
//    first read (WaitForStartAnswer). The wait is plain: the worker waits for
//    this thread only while a stop is in progress, and every stop holds the
//    watcher's table lock until it has finished, so the worker can be
//    waiting for us only if the start runs inside one of our own stops on
//    this thread (a handler, or host code dispatched by the stop's pumping,
//    started a watch). Only then does the wait deliver the records queued for
//    this thread's delivery window (and nothing else of its queue).
//
// 2. A stop (UI thread waits for the worker, which waits for the UI
//    thread): the stop posts a stop request and waits for the worker's answer
//    while pumping this thread's messages (WaitForStopAnswer). The worker
//    closes the directory, posts the watch-stopped notice and waits until the
//    delivery window has handled it (WaitForStopNoticeAnswer), so every
//    record posted before it reaches the handler before the stop returns. The
//    worker waits in 5000 ms periods and gives up when the window is gone
//    (its thread ended and took the notice along): nobody could answer then.
//    A notice that could not be posted is not waited for at all.
//
// 3. A handler that starts or stops a watch from its NotifyWatchStopped
//    would wait for the worker, which still waits for that very notice to be
//    answered. So the notice is answered before the handler's call ends,
//    as soon as this thread is about to wait for the worker: every watcher
//    operation that may wait calls AnswerStopNoticesInHand first, before it
//    takes the table lock (which another thread's stop may hold while it
//    waits for the worker). The notices being handled on a thread are kept in
//    a per-thread list (StopNoticeInHand); nested deliveries stack up.
//
// 4. The end of the worker: StopAll waits for the worker thread's handle
//    without pumping. No watch is left by then, so the worker waits for
//    nothing of this thread and reaches the exit packet.
//
// 5. The worker waits on the port without a time limit, except while a
//    handler is owed a changes-lost notice (a post failed): it then wakes
//    every 250 ms to post it again.
#pragma once

#include <windows.h>

namespace vantrel {

// A watch-stopped notice being handled on this thread: listed for the
// thread while it lives, answered (its event set) at most once.
class StopNoticeInHand {
 public:
  // `answer_event` null: nothing to answer, nothing listed.
  explicit StopNoticeInHand(HANDLE answer_event);
  ~StopNoticeInHand();
  StopNoticeInHand(const StopNoticeInHand&) = delete;
  StopNoticeInHand& operator=(const StopNoticeInHand&) = delete;

  void Answer();

 private:
  friend void AnswerStopNoticesInHand();
  HANDLE event_;
  StopNoticeInHand* previous_ = nullptr;
  bool listed_ = false;
  bool answered_ = false;
};

// UI thread, before anything that may wait for the worker (3 above).
void AnswerStopNoticesInHand();

// UI thread: the wait of a start (1 above). `deliver_queued`, when not null,
// delivers this thread's queued records while it waits.
void WaitForStartAnswer(HANDLE done_event, void (*deliver_queued)());

// UI thread: the wait of a stop (2 above), pumping this thread's messages.
void WaitForStopAnswer(HANDLE done_event);

// Worker thread: waits until the watch-stopped notice has been answered, or
// until `can_answer` says nobody can any more (2 above).
void WaitForStopNoticeAnswer(HANDLE answer_event, bool (*can_answer)());

// For the unloading of this module: frees the per-thread list's slot.
void ReleaseStopHandshakeForUnload();

}  // namespace vantrel
