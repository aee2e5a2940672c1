// The dispatcher and the hidden delivery window, with real windows and
// threads under Wine.
#include "watch/change_dispatch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "watch/change_filter.h"
#include "watch_test_util.h"

using namespace vantrel;
using watchtest::PumpUntil;
using watchtest::Recorder;

namespace {
void Drain() {
  PumpUntil([] { return false; }, 50);
}
}  // namespace

TEST(DelayedWindow, OneSharedWindowCreatedByFirstUserDestroyedByLast) {
  Drain();
  ASSERT_EQ(0, CWindowPoster::Users()) << "an earlier test left a poster behind";
  auto* a = new CWindowPoster;
  const HWND w = CWindowPoster::Window();
  ASSERT_NE(nullptr, w);
  EXPECT_EQ(w, ::FindWindowA("Delayed_Message_Sender", "DelayedWnd"));
  EXPECT_FALSE(::IsWindowVisible(w));
  EXPECT_EQ(::GetCurrentThreadId(), ::GetWindowThreadProcessId(w, nullptr));
  auto* b = new CWindowPoster;
  EXPECT_EQ(w, CWindowPoster::Window()) << "a second user must not create a second window";
  EXPECT_EQ(2, CWindowPoster::Users());
  delete a;
  EXPECT_TRUE(::IsWindow(w));
  delete b;
  EXPECT_FALSE(::IsWindow(w)) << "the last user destroys the window";
  EXPECT_EQ(nullptr, CWindowPoster::Window());
  CWindowPoster c;  // registered class is reused
  EXPECT_NE(nullptr, CWindowPoster::Window());
  EXPECT_TRUE(::IsWindow(CWindowPoster::Window()));
}

TEST(DelayedWindow, LastUserOnAnotherThreadLeavesDestructionToTheOwningThread) {
  Drain();
  auto* poster = new CWindowPoster;
  const HWND w = CWindowPoster::Window();
  ASSERT_NE(nullptr, w);
  std::thread([poster] { delete poster; }).join();
  EXPECT_TRUE(::IsWindow(w)) << "another thread cannot destroy this thread's window";
  EXPECT_TRUE(PumpUntil([w] { return !::IsWindow(w); }, 3000))
      << "the owning thread must destroy it once it pumps";
  // A user arriving between the retire request and its handling keeps it.
  auto* p2 = new CWindowPoster;
  const HWND w2 = CWindowPoster::Window();
  std::thread([p2] { delete p2; }).join();
  CWindowPoster keeper;
  Drain();
  EXPECT_TRUE(::IsWindow(w2));
  EXPECT_EQ(w2, CWindowPoster::Window());
}

TEST(Dispatcher, FiltersByNameAfterLastBackslashThenAsksTheTarget) {
  auto* target = new Recorder;
  target->reject_path = "D:\\AB\\refused.bab";
  auto* d = new CChangeDispatcher(target, "*.bab", FF_NAME_ONLY);
  d->NotifyAdded("D:\\AB\\Sub\\x.bab");
  d->NotifyModified("D:\\AB\\notes.txt");
  d->NotifyRemoved("D:\\AB\\X.BAB");
  d->NotifyRenamed("D:\\AB\\x.tmp", "D:\\AB\\x.bab");
  d->NotifyRenamed("D:\\AB\\y.bab", "D:\\AB\\y.txt");
  d->NotifyModified("D:\\AB\\refused.bab");
  d->NotifyReadError(64, "D:\\AB");
  d->NotifyWatchStarted(0, "D:\\AB");
  d->NotifyChangesLost("D:\\AB");
  EXPECT_TRUE(target->lines.empty()) << "nothing may reach the target on the posting call";
  EXPECT_TRUE(PumpUntil([&] { return target->lines.size() >= 6; }));
  Drain();
  EXPECT_EQ(
      "  add D:\\AB\\Sub\\x.bab\n"
      "  ren D:\\AB\\x.tmp -> D:\\AB\\x.bab\n"
      "  ren D:\\AB\\y.bab -> D:\\AB\\y.txt\n"
      "  readerror 64 D:\\AB\n"
      "  started 0 D:\\AB\n"
      "  mod D:\\AB\n",
      target->Dump())
      << "lost changes must arrive as a modification of the directory";
  // AcceptChange: only kinds 1-4, only after the wildcard passed.
  std::string asked;
  for (const auto& a : target->accept_asked) asked += a + "; ";
  EXPECT_EQ("1 D:\\AB\\Sub\\x.bab; 4 D:\\AB\\x.tmp; 4 D:\\AB\\y.bab; 3 D:\\AB\\refused.bab; ",
            asked);
  for (DWORD t : target->threads) EXPECT_EQ(::GetCurrentThreadId(), t);
  EXPECT_EQ(target, d->DetachTarget());
  d->Release();
  target->Release();
}

TEST(Dispatcher, OutlivesItsCreatorUntilQueuedRecordsAreDelivered) {
  Drain();
  auto* target = new Recorder;
  auto* d = new CChangeDispatcher(target, "*.bab", FF_NAME_ONLY);
  d->NotifyWatchStarted(5, "D:\\AB");
  d->NotifyAdded("D:\\AB\\a.bab");
  EXPECT_EQ(3, d->RefCount()) << "each queued record holds the dispatcher";
  // The watch entry goes away (as after a refused read) before delivery.
  EXPECT_EQ(2, d->Release());
  const HWND w = CWindowPoster::Window();
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(w); }))
      << "delivery must drop the last reference, destroying dispatcher and window";
  EXPECT_EQ(0, CWindowPoster::Users());
  // Records delivered after the target was detached are simply dropped;
  // here the target stayed attached, so both arrived.
  EXPECT_EQ("  started 5 D:\\AB\n  add D:\\AB\\a.bab\n", target->Dump());
  target->Release();
}

TEST(Dispatcher, WatchStoppedWaitsForDeliveryEvenWhenTheTargetThrows) {
  struct Thrower : Recorder {
    void NotifyWatchStopped(const std::string& d) override {
      Recorder::NotifyWatchStopped(d);
      throw 42;
    }
  };
  auto* target = new Thrower;
  auto* d = new CChangeDispatcher(target, "*.bab", FF_NAME_ONLY);
  volatile LONG returned = 0;
  std::thread worker([&] {
    d->NotifyModified("D:\\AB\\before.bab");
    d->NotifyWatchStopped("D:\\AB");
    ::InterlockedExchange(&returned, 1);
  });
  ::Sleep(300);
  EXPECT_EQ(0, returned) << "the worker must wait until this thread delivered the notice";
  EXPECT_TRUE(PumpUntil([&] { return returned == 1; }));
  worker.join();
  EXPECT_EQ("  mod D:\\AB\\before.bab\n  stopped D:\\AB\n", target->Dump())
      << "everything posted before the notice is handled first";
  // Later records are still delivered after the throw.
  d->NotifyAdded("D:\\AB\\after.bab");
  EXPECT_TRUE(PumpUntil([&] { return target->Saw("add D:\\AB\\after.bab"); }));
  d->DetachTarget();
  d->Release();
  target->Release();
  Drain();
}

TEST(Dispatcher, FailedPostFreesTheRecordAndDoesNotWait) {
  Drain();
  ASSERT_EQ(0, CWindowPoster::Users());
  auto* target = new Recorder;
  CChangeDispatcher* d = nullptr;
  // The window belongs to a thread that ends: it goes with it, and every
  // later post fails.
  std::thread([&] { d = new CChangeDispatcher(target, nullptr, 0); }).join();
  ASSERT_FALSE(::IsWindow(CWindowPoster::Window()));
  d->NotifyAdded("D:\\AB\\a.bab");
  EXPECT_EQ(1, d->RefCount()) << "the unposted record must be freed with its reference";
  const DWORD start = ::GetTickCount();
  d->NotifyWatchStopped("D:\\AB");
  EXPECT_LT(::GetTickCount() - start, 1000u) << "nobody can answer a notice that was not posted";
  d->DetachTarget();
  EXPECT_EQ(0, d->Release());
  EXPECT_EQ(0, CWindowPoster::Users());
  EXPECT_TRUE(target->lines.empty()) << target->Dump();
  target->Release();
}
