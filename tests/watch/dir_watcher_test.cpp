// The watcher against real folders and real file changes under Wine.
//
// Wine reports nothing for subfolders that existed before the watch began
// (Windows does); every subfolder used here is created after StartWatch.
#include "watch/dir_watcher.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "platform/ansi.h"
#include "watch_test_util.h"

using namespace vantrel;
using watchtest::HangGuard;
using watchtest::PostAction;
using watchtest::PumpUntil;
using watchtest::Recorder;
using watchtest::ScratchDir;
using watchtest::WriteText;

namespace {
constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;  // 17

// Handlers are reference counted; the test holds the creator's reference.
struct HandlerRef {
  Recorder* h = new Recorder;
  ~HandlerRef() { h->Release(); }
  Recorder* operator->() { return h; }
};
}  // namespace

TEST(DirWatcher, RejectsBadArgumentsWithoutStartingAnything) {
  ScratchDir dir("args");
  HandlerRef h;
  CDirWatcher w(true, FF_NAME_ONLY);
  struct Case {
    std::string dir;
    DWORD filter;
    CDirChangeHandler* handler;
    DWORD want;
  } cases[] = {
      {"", kFilter, h.h, ERROR_INVALID_PARAMETER},
      {dir.path(), 0, h.h, ERROR_INVALID_PARAMETER},
      {dir.path(), kFilter, nullptr, ERROR_INVALID_PARAMETER},
      {dir / "missing", kFilter, h.h, ERROR_BAD_PATHNAME},
  };
  ASSERT_TRUE(WriteText(dir / "file.bab", "x"));
  for (const Case& c : cases) {
    ::SetLastError(0);
    EXPECT_EQ(c.want, w.StartWatch(c.dir, c.filter, c.handler, TRUE, "*.bab", nullptr))
        << "dir '" << c.dir << "' filter " << c.filter;
    EXPECT_EQ(c.want, ::GetLastError());
  }
  EXPECT_EQ(DWORD(ERROR_BAD_PATHNAME),
            w.StartWatch(dir / "file.bab", kFilter, h.h, TRUE, "*.bab", nullptr));
  EXPECT_EQ(nullptr, w.Port());
  EXPECT_EQ(0u, w.WorkerThreadId());
  EXPECT_FALSE(w.StopAll()) << "no worker: StopAll does nothing";
  EXPECT_FALSE(w.StopWatch(dir.path())) << "no port: nothing to stop";
  EXPECT_EQ(1, h->RefCount());
}

TEST(DirWatcher, ReportsFileChangesThroughTheBabFilterOnTheStartingThread) {
  ScratchDir dir("changes");
  HandlerRef h;
  CDirWatcher w(true, FF_NAME_ONLY);
  ASSERT_TRUE(WriteText(dir / "y.bab", "y"));
  ASSERT_TRUE(WriteText(dir / "x.tmp", "x"));
  ASSERT_EQ(0u, w.StartWatch(dir.path(), kFilter, h.h, TRUE, "*.bab", nullptr));
  EXPECT_EQ(0u, ::GetLastError());
  EXPECT_TRUE(w.IsWatching(dir.path()));
  EXPECT_EQ(2, h->RefCount()) << "the watch holds a reference on its handler";
  EXPECT_EQ(1u, w.WatchCountFor(h.h));
  EXPECT_TRUE(PumpUntil([&] { return h->Saw("started 0 " + dir.path()); })) << h->Dump();

  ASSERT_TRUE(WriteText(dir / "a.bab", "one"));
  ASSERT_TRUE(WriteText(dir / "a.bab", "two", true));
  ASSERT_TRUE(WriteText(dir / "notes.txt", "no"));
  ASSERT_TRUE(WriteText(dir / "BOOK.BAB", "no"));
  ASSERT_TRUE(::MoveFileA((dir / "x.tmp").c_str(), (dir / "x.bab").c_str()));
  ASSERT_TRUE(::MoveFileA((dir / "y.bab").c_str(), (dir / "y.txt").c_str()));
  ASSERT_TRUE(::DeleteFileA((dir / "a.bab").c_str()));
  // Created after the start, so that Wine reports what happens inside.
  ASSERT_TRUE(::CreateDirectoryA((dir / "Sub").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA((dir / "Sub2").c_str(), nullptr));
  ASSERT_TRUE(WriteText(dir / "Sub\\s.bab", "s"));
  ASSERT_TRUE(::MoveFileA((dir / "Sub\\s.bab").c_str(), (dir / "Sub2\\s.bab").c_str()));
  ASSERT_TRUE(WriteText(dir / "zz-end.bab", "end"));

  const std::string d = dir.path() + "\\";
  EXPECT_TRUE(PumpUntil([&] { return h->SawContaining("zz-end.bab"); })) << h->Dump();
  PumpUntil([] { return false; }, 300);
  const std::string seen = h->Dump();
  EXPECT_TRUE(h->Saw("add " + d + "a.bab")) << seen;
  EXPECT_TRUE(h->Saw("mod " + d + "a.bab")) << seen;
  EXPECT_TRUE(h->Saw("del " + d + "a.bab")) << seen;
  EXPECT_TRUE(h->Saw("ren " + d + "x.tmp -> " + d + "x.bab")) << "new name matches\n" << seen;
  EXPECT_TRUE(h->Saw("ren " + d + "y.bab -> " + d + "y.txt")) << "old name matches\n" << seen;
  EXPECT_TRUE(h->SawContaining(d + "Sub\\s.bab")) << seen;
  EXPECT_TRUE(h->SawContaining(d + "Sub2\\s.bab")) << "moved across subfolders\n" << seen;
  EXPECT_FALSE(h->SawContaining("notes.txt")) << seen;
  EXPECT_FALSE(h->SawContaining("BOOK.BAB")) << "the filter keeps letter case\n" << seen;
  EXPECT_FALSE(h->SawContaining("\\\\")) << "never a doubled backslash\n" << seen;
  for (size_t i = 0; i < h->threads.size(); ++i)
    EXPECT_EQ(::GetCurrentThreadId(), h->threads[i]) << h->lines[i];

  // A quit message that the stop's pumping takes belongs to the host's loop:
  // it comes back once the stop has finished.
  ::PostQuitMessage(7);
  EXPECT_TRUE(w.StopAll());
  EXPECT_TRUE(h->Saw("stopped " + dir.path())) << "StopAll pumps the stop notice\n" << h->Dump();
  MSG quit = {};
  EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(7u, quit.wParam);
  EXPECT_EQ(1, h->RefCount());
  EXPECT_EQ(0u, w.WatchCountFor(h.h));
  EXPECT_EQ(0u, w.WatchCount());
}

TEST(DirWatcher, SameNameInOtherCaseReplacesTheWatchTrailingBackslashDoesNot) {
  ScratchDir dir("case");
  HandlerRef first, second, third;
  CDirWatcher w(true, FF_NAME_ONLY);
  ASSERT_EQ(0u, w.StartWatch(dir.path(), kFilter, first.h, TRUE, "*.bab", nullptr));
  const std::string upper = UpperAnsi(dir.path());
  ASSERT_NE(upper, dir.path());
  ASSERT_EQ(0u, w.StartWatch(upper, kFilter, second.h, TRUE, "*.bab", nullptr));
  EXPECT_EQ(1u, w.WatchCount());
  EXPECT_TRUE(first->Saw("stopped " + dir.path())) << first->Dump();
  EXPECT_EQ(1, first->RefCount());
  EXPECT_TRUE(w.IsWatching(LowerAnsi(dir.path())));
  ASSERT_EQ(0u, w.StartWatch(dir.path() + "\\", kFilter, third.h, TRUE, "*.bab", nullptr));
  EXPECT_EQ(2u, w.WatchCount()) << "a trailing backslash makes another name";
  EXPECT_FALSE(w.StopWatch(dir / "other"));
  EXPECT_EQ(2u, w.WatchCount());

  ASSERT_TRUE(WriteText(dir / "k.bab", "k"));
  EXPECT_TRUE(PumpUntil([&] {
    return second->Saw("add " + upper + "\\k.bab") && third->Saw("add " + dir.path() + "\\k.bab");
  })) << second->Dump() << third->Dump();

  EXPECT_TRUE(w.StopWatchForHandler(third.h));
  EXPECT_FALSE(w.StopWatchForHandler(third.h));
  EXPECT_EQ(1u, w.WatchCount());
  EXPECT_NE(0u, w.WorkerThreadId()) << "StopWatch leaves the worker running";
}

TEST(DirWatcher, StopAllThenStartMakesANewPortAndWorker) {
  ScratchDir dir("restart");
  HandlerRef h;
  CDirWatcher w(true, FF_NAME_ONLY);
  ASSERT_EQ(0u, w.StartWatch(dir.path(), kFilter, h.h, FALSE, "*.bab", nullptr));
  const DWORD first_worker = w.WorkerThreadId();
  HANDLE first_thread = ::OpenThread(SYNCHRONIZE, FALSE, first_worker);
  ASSERT_NE(nullptr, first_thread);
  EXPECT_TRUE(w.StopAll());
  EXPECT_EQ(nullptr, w.Port());
  EXPECT_EQ(0u, w.WorkerThreadId());
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(first_thread, 0)) << "the worker has ended";
  ::CloseHandle(first_thread);
  EXPECT_FALSE(w.StopAll());

  ASSERT_EQ(0u, w.StartWatch(dir.path(), kFilter, h.h, FALSE, "*.bab", nullptr));
  EXPECT_NE(nullptr, w.Port());
  EXPECT_NE(0u, w.WorkerThreadId());
  ASSERT_TRUE(WriteText(dir / "again.bab", "a"));
  EXPECT_TRUE(PumpUntil([&] { return h->SawContaining("again.bab"); })) << h->Dump();
}

TEST(DirWatcher, HandlerRunsOnTheThreadThatStartedTheWatch) {
  PumpUntil([] { return false; }, 50);
  ASSERT_EQ(0, CWindowPoster::Users()) << "the window would belong to another thread";
  ScratchDir dir("thread");
  HandlerRef h;
  CDirWatcher w(true, FF_NAME_ONLY);
  DWORD starter = 0;
  bool started = false, seen = false;
  std::thread ui([&] {
    starter = ::GetCurrentThreadId();
    started = w.StartWatch(dir.path(), kFilter, h.h, TRUE, "*.bab", nullptr) == 0;
    if (!started) return;
    ASSERT_TRUE(WriteText(dir / "t.bab", "t"));
    seen = PumpUntil([&] { return h->SawContaining("t.bab"); });
    w.StopWatch(dir.path());
  });
  ui.join();
  ASSERT_TRUE(started);
  EXPECT_TRUE(seen) << h->Dump();
  ASSERT_FALSE(h->threads.empty());
  for (size_t i = 0; i < h->threads.size(); ++i)
    EXPECT_EQ(starter, h->threads[i]) << h->lines[i];
  EXPECT_NE(starter, w.WorkerThreadId());
}

TEST(DirWatcher, WatchedFolderCannotBeDeletedUntilTheWatchStops) {
  ScratchDir parent("delete");
  const std::string target = parent / "watched";
  ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr));
  HandlerRef h;
  CDirWatcher w(true, FF_NAME_ONLY);
  ASSERT_EQ(0u, w.StartWatch(target, kFilter, h.h, TRUE, "*.bab", nullptr));
  EXPECT_FALSE(::RemoveDirectoryA(target.c_str()));
  const DWORD err = ::GetLastError();
  EXPECT_TRUE(err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED) << "error " << err;
  EXPECT_FALSE(::MoveFileA(target.c_str(), (parent / "renamed").c_str()));
  EXPECT_TRUE(w.StopWatch(target));
  EXPECT_TRUE(::RemoveDirectoryA(target.c_str())) << "error " << ::GetLastError();
}

TEST(DirWatcher, DestroyingTheWatcherStopsRunningWatches) {
  ScratchDir dir("destroy");
  HandlerRef h;
  {
    CDirWatcher w(true, FF_NAME_ONLY);
    ASSERT_EQ(0u, w.StartWatch(dir.path(), kFilter, h.h, TRUE, "*.bab", nullptr));
    EXPECT_EQ(2, h->RefCount());
  }
  EXPECT_TRUE(h->Saw("stopped " + dir.path())) << h->Dump();
  EXPECT_EQ(1, h->RefCount());
  EXPECT_TRUE(::RemoveDirectoryA(dir.path().c_str())) << "handle closed; error "
                                                      << ::GetLastError();

  // Nothing of the old watch is left: another watcher watches for the same
  // handler, which hears each change once.
  ASSERT_TRUE(::CreateDirectoryA(dir.path().c_str(), nullptr));
  h->lines.clear();
  CDirWatcher again(true, FF_NAME_ONLY);
  ASSERT_EQ(0u, again.StartWatch(dir.path(), kFilter, h.h, TRUE, "*.bab", nullptr));
  EXPECT_TRUE(PumpUntil([&] { return h->Saw("started 0 " + dir.path()); })) << h->Dump();
  ASSERT_TRUE(WriteText(dir / "next.bab", "x"));
  EXPECT_TRUE(PumpUntil([&] { return h->SawContaining("next.bab"); })) << h->Dump();
  PumpUntil([] { return false; }, 200);
  const std::string added = "add " + dir.path() + "\\next.bab";
  EXPECT_EQ(1, std::count(h->lines.begin(), h->lines.end(), added)) << h->Dump();
}

// A handler knows no watcher: two watch for it at once, each through a
// reference of its own, and either one's stop leaves the other's watch
// reporting.
TEST(DirWatcher, TwoWatchersWatchForOneHandlerEachWithItsOwnReference) {
  for (const int stopped_first : {0, 1}) {
    SCOPED_TRACE("watcher " + std::to_string(stopped_first) + " stops first");
    ScratchDir a("two-a"), b("two-b");
    const std::string dirs[] = {a.path(), b.path()};
    HandlerRef h;
    CDirWatcher w0(true, FF_NAME_ONLY), w1(true, FF_NAME_ONLY);
    CDirWatcher* watchers[] = {&w0, &w1};
    ASSERT_EQ(0u, w0.StartWatch(dirs[0], kFilter, h.h, TRUE, "*.bab", nullptr));
    ASSERT_EQ(0u, w1.StartWatch(dirs[1], kFilter, h.h, TRUE, "*.bab", nullptr));
    EXPECT_EQ(3, h->RefCount());
    EXPECT_EQ(1u, w0.WatchCountFor(h.h));
    EXPECT_EQ(1u, w1.WatchCountFor(h.h));

    CDirWatcher& stopped = *watchers[stopped_first];
    CDirWatcher& running = *watchers[1 - stopped_first];
    const std::string& quiet_dir = dirs[stopped_first];
    const std::string& live_dir = dirs[1 - stopped_first];
    EXPECT_TRUE(stopped.StopWatchForHandler(h.h));
    EXPECT_EQ(2, h->RefCount());
    EXPECT_EQ(0u, stopped.WatchCountFor(h.h));
    EXPECT_EQ(1u, running.WatchCountFor(h.h));
    EXPECT_TRUE(running.IsWatching(live_dir));

    ASSERT_TRUE(WriteText(quiet_dir + "\\unheard.bab", "x"));
    ASSERT_TRUE(WriteText(live_dir + "\\heard.bab", "x"));
    EXPECT_TRUE(PumpUntil([&] { return h->Saw("add " + live_dir + "\\heard.bab"); }))
        << h->Dump();
    PumpUntil([] { return false; }, 200);
    EXPECT_FALSE(h->SawContaining("unheard.bab")) << h->Dump();

    EXPECT_TRUE(running.StopWatchForHandler(h.h));
    EXPECT_EQ(1, h->RefCount());
    EXPECT_EQ(0u, running.WatchCountFor(h.h));
  }
}

// An overflow: while the worker waits for a stop notice to be delivered
// (the handler below runs inside that delivery), a burst of changes lands in
// a second watched folder with no read outstanding, more than its 4096-byte
// buffer can take. The handler of that folder must still hear of it.
TEST(DirWatcher, OverflowingBurstStillReachesTheHandler) {
  ScratchDir a("burst-a"), b("burst-b");
  HandlerRef ha, hb;
  CDirWatcher w(true, FF_NAME_ONLY);
  ASSERT_EQ(0u, w.StartWatch(a.path(), kFilter, ha.h, TRUE, "*.bab", nullptr));
  ASSERT_EQ(0u, w.StartWatch(b.path(), kFilter, hb.h, TRUE, "*.bab", nullptr));
  const std::string long_part(100, 'q');
  int written = 0;
  ha->on_stopped = [&](const std::string&) {
    for (int i = 0; i < 300; ++i)
      written += WriteText(b / (long_part + std::to_string(i) + ".txt"), "x");
  };
  EXPECT_TRUE(w.StopWatch(a.path()));
  EXPECT_EQ(300, written);
  // None of the burst's files passes "*.bab"; only the overflow can get
  // through, as a modification of the folder itself.
  EXPECT_TRUE(PumpUntil([&] { return hb->Saw("mod " + b.path()); }))
      << "no overflow report; handler saw:\n" << hb->Dump();
  // The watch goes on after an overflow.
  ASSERT_TRUE(WriteText(b / "after.bab", "x"));
  EXPECT_TRUE(PumpUntil([&] { return hb->SawContaining("after.bab"); })) << hb->Dump();
}

namespace vantrel {
// Reaches inside the watcher to make a re-issued read fail for real: the
// entry's directory handle is swapped for a file handle, on which the
// worker's next ReadDirectoryChangesW is refused. Nothing else can make a
// read fail under Wine (the folder cannot be deleted while it is watched).
struct WatcherTestAccess {
  static CWatchEntry* Entry(CDirWatcher& w, const std::string& dir) {
    AutoLock lock(w.table_lock_);
    const long slot = w.FindSlot(dir);
    return slot < 0 ? nullptr : w.table_[static_cast<size_t>(slot)].get();
  }
  // Returns the directory handle that was replaced (the caller closes it).
  static HANDLE SwapHandle(CWatchEntry* e, HANDLE replacement) {
    HANDLE old = e->directory_handle_.release();
    e->directory_handle_.reset(replacement);
    return old;
  }
  static CriticalSection& TableLock(CDirWatcher& w) { return w.table_lock_; }
  // Returns the port that was replaced.
  static HANDLE SwapPort(CDirWatcher& w, HANDLE replacement) {
    AutoLock lock(w.table_lock_);
    HANDLE old = w.port_.release();
    w.port_.reset(replacement);
    return old;
  }
};
}  // namespace vantrel

TEST(DirWatcher, RefusedReadEndsTheWatchEvenWhileAStopHoldsTheTable) {
  ScratchDir a("readerr-a"), b("readerr-b");
  HandlerRef ha, hb;
  CDirWatcher w(true, FF_NAME_ONLY);
  ASSERT_EQ(0u, w.StartWatch(a.path(), kFilter, ha.h, TRUE, "*.bab", nullptr));
  ASSERT_EQ(0u, w.StartWatch(b.path(), kFilter, hb.h, TRUE, "*.bab", nullptr));
  CWatchEntry* entry = WatcherTestAccess::Entry(w, a.path());
  ASSERT_NE(nullptr, entry);
  HANDLE file = ::CreateFileA((b / "not-a-dir.dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, CREATE_ALWAYS, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  // The worker sits in its port wait with a read outstanding on the old
  // handle; it looks at the entry again only after the change below.
  HANDLE dir_handle = WatcherTestAccess::SwapHandle(entry, file);

  {
    // Hold the table as a stop operation would while it waits for the
    // worker. The worker must neither block on it nor stall: b's changes
    // keep arriving while a's read fails.
    AutoLock held(WatcherTestAccess::TableLock(w));
    ASSERT_TRUE(WriteText(a / "trigger.bab", "x"));
    EXPECT_TRUE(PumpUntil([&] { return ha->SawContaining("readerror "); })) << ha->Dump();
    ASSERT_TRUE(WriteText(b / "alive.bab", "x"));
    EXPECT_TRUE(PumpUntil([&] { return hb->SawContaining("alive.bab"); }))
        << "the worker stalled on the table lock\n" << hb->Dump();
  }
  ::CloseHandle(dir_handle);  // no read outstanding on it any more

  EXPECT_FALSE(w.IsWatching(a.path())) << "the failed watch must be gone";
  EXPECT_TRUE(w.IsWatching(b.path()));
  EXPECT_EQ(1u, w.WatchCount());
  EXPECT_EQ(1, ha->RefCount()) << "the failed entry released its handler";
  EXPECT_EQ(0u, w.WatchCountFor(ha.h));
  EXPECT_EQ(1u, w.WatchCountFor(hb.h));
  EXPECT_FALSE(ha->SawContaining("stopped ")) << "a failed watch gets no stop notice\n"
                                               << ha->Dump();
  EXPECT_TRUE(::RemoveDirectoryA(a.path().c_str()) || ::GetLastError() == ERROR_DIR_NOT_EMPTY)
      << "the failed watch's handles are closed; error " << ::GetLastError();

  // Without anyone holding the table, the worker removes the entry itself.
  ASSERT_EQ(0u, w.StartWatch(a.path(), kFilter, ha.h, TRUE, "*.bab", nullptr));
  entry = WatcherTestAccess::Entry(w, a.path());
  ASSERT_NE(nullptr, entry);
  HANDLE file2 = ::CreateFileA((b / "not-a-dir2.dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, CREATE_ALWAYS, FILE_FLAG_OVERLAPPED, nullptr);
  dir_handle = WatcherTestAccess::SwapHandle(entry, file2);
  ha->lines.clear();
  ASSERT_TRUE(WriteText(a / "trigger2.bab", "x"));
  EXPECT_TRUE(PumpUntil([&] { return ha->RefCount() == 1; })) << ha->Dump();
  ::CloseHandle(dir_handle);
  EXPECT_EQ(1u, w.WatchCount());
  // Removed at once, the entry still owes its handler what it queued: the
  // change of its last batch and the read error.
  EXPECT_TRUE(ha->SawContaining("trigger2.bab")) << ha->Dump();
  EXPECT_TRUE(ha->SawContaining("readerror ")) << ha->Dump();

  // A refused first read: the start fails, and the handler hears why.
  ha->lines.clear();
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER),
            w.StartWatch(a.path(), 0x80000000 | kFilter, ha.h, TRUE, "*.bab", nullptr));
  EXPECT_TRUE(PumpUntil([&] { return ha->Saw("started 87 " + a.path()); })) << ha->Dump();
  EXPECT_EQ(1, ha->RefCount());
  EXPECT_TRUE(w.StopAll());
}

// Handlers, and host code dispatched by a stop's pumping, call the watcher
// again inside the stop: none of it may hang, and afterwards the watcher
// holds exactly what the calls asked for. A StopAll ends the worker (once the
// outermost call returns) and stops what was started inside it; a start that
// completes after a StopAll nested in it keeps its watch and the worker.
TEST(DirWatcher, CallsNestedInAStopNeitherHangNorLoseTrack) {
  ScratchDir a("nest-a"), b("nest-b");
  const struct {
    const char* outer;
    const char* nested;
    bool b_watched;
    bool worker;
  } cases[] = {
      {"StopWatch", "StartWatch", true, true},  {"StopWatch", "StopWatch", false, true},
      {"StopWatch", "StopAll", false, false},   {"StopAll", "StartWatch", false, false},
      {"StopAll", "StopWatch", false, false},   {"StopAll", "StopAll", false, false},
      // Host code starts B; A's stop notice, delivered while that start
      // waits, makes the handler stop everything.
      {"StopWatch", "StartWatch+StopAll", true, true},
  };
  for (const auto& c : cases) {
    for (const bool from_handler : {false, true}) {
      const bool start_then_stop = std::string(c.nested) == "StartWatch+StopAll";
      if (start_then_stop && from_handler) continue;
      const std::string what = std::string(c.nested) + " inside " + c.outer +
                               (from_handler ? ", from the stop notice's handler"
                                             : ", from host code");
      SCOPED_TRACE(what);
      HandlerRef ha, hb;
      CDirWatcher w(true, FF_NAME_ONLY);
      ASSERT_EQ(0u, w.StartWatch(a.path(), kFilter, ha.h, TRUE, "*.bab", nullptr));
      const bool starts_b = std::string(c.nested).compare(0, 10, "StartWatch") == 0;
      if (!starts_b) {
        ASSERT_EQ(0u, w.StartWatch(b.path(), kFilter, hb.h, TRUE, "*.bab", nullptr));
      }
      DWORD nested_result = 0xFFFF;
      std::function<void()> nested = [&] {
        if (starts_b)
          nested_result = w.StartWatch(b.path(), kFilter, hb.h, TRUE, "*.bab", nullptr);
        else if (std::string(c.nested) == "StopWatch")
          nested_result = w.StopWatch(b.path());
        else
          nested_result = w.StopAll();
      };
      bool fired = false;
      if (from_handler || start_then_stop) {
        ha->on_stopped = [&](const std::string&) {
          if (fired) return;
          fired = true;
          if (start_then_stop)
            w.StopAll();
          else
            nested();
        };
      }
      if (!from_handler) PostAction(nested);
      {
        HangGuard guard(what);
        if (std::string(c.outer) == "StopWatch")
          EXPECT_TRUE(w.StopWatch(a.path()));
        else
          EXPECT_TRUE(w.StopAll());
      }
      EXPECT_EQ(starts_b ? 0u : 1u, nested_result);
      EXPECT_TRUE(ha->Saw("stopped " + a.path())) << ha->Dump();
      EXPECT_FALSE(w.IsWatching(a.path()));
      EXPECT_EQ(c.b_watched, w.IsWatching(b.path()));
      EXPECT_EQ(c.worker, w.WorkerThreadId() != 0);
      if (c.b_watched) {
        ASSERT_TRUE(WriteText(b / "seen.bab", "x"));
        EXPECT_TRUE(PumpUntil([&] { return hb->SawContaining("seen.bab"); })) << hb->Dump();
      }
      EXPECT_TRUE(w.StopAll() == (c.worker ? TRUE : FALSE));
      PumpUntil([] { return false; }, 20);
    }
  }
}

// The stop request cannot be posted (the port is no port): the entry keeps
// its read outstanding and must not be freed while the worker can still
// complete it. It is let go of once the worker has ended.
TEST(DirWatcher, FailedStopPostLeavesTheEntryToTheWorkersEnd) {
  PumpUntil([] { return false; }, 50);
  ASSERT_EQ(0, CWindowPoster::Users());
  ScratchDir a("stoppost");
  HandlerRef h;
  CDirWatcher w(true, FF_NAME_ONLY);
  ASSERT_EQ(0u, w.StartWatch(a.path(), kFilter, h.h, TRUE, "*.bab", nullptr));
  HANDLE not_a_port = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE port = WatcherTestAccess::SwapPort(w, not_a_port);
  w.StopWatch(a.path());
  WatcherTestAccess::SwapPort(w, port);
  ::CloseHandle(not_a_port);
  EXPECT_FALSE(w.IsWatching(a.path()));
  EXPECT_EQ(1, h->RefCount()) << "the handler's watch is over";
  EXPECT_EQ(1, CWindowPoster::Users()) << "the entry (and its dispatcher) must still exist";
  // Its read completes: the worker takes it in, closes the handle, reports
  // nothing.
  ASSERT_TRUE(WriteText(a / "late.bab", "x"));
  PumpUntil([] { return false; }, 300);
  EXPECT_FALSE(h->SawContaining("late.bab")) << h->Dump();
  EXPECT_TRUE(w.StopAll());
  EXPECT_EQ(0, CWindowPoster::Users()) << "freed once the worker has ended";
}

namespace {
LRESULT CALLBACK RefuseDeliveryWindow(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) {
    const char* cls = reinterpret_cast<CBT_CREATEWNDA*>(lp)->lpcs->lpszClass;
    if (HIWORD(reinterpret_cast<ULONG_PTR>(cls)) && !lstrcmpA(cls, "Delayed_Message_Sender"))
      return 1;
  }
  return ::CallNextHookEx(nullptr, code, wp, lp);
}
}  // namespace

// A watch whose delivery window cannot be made reports nothing, ever: it
// must fail to start. Another plug-in's CBT hook refuses the window here.
TEST(DirWatcher, NoDeliveryWindowNoWatch) {
  PumpUntil([] { return false; }, 50);
  ASSERT_EQ(0, CWindowPoster::Users());
  ScratchDir a("nowindow");
  HandlerRef h;
  CDirWatcher w(true, FF_NAME_ONLY);
  HHOOK hook = ::SetWindowsHookExA(WH_CBT, &RefuseDeliveryWindow, nullptr, ::GetCurrentThreadId());
  ASSERT_NE(nullptr, hook);
  EXPECT_NE(0u, w.StartWatch(a.path(), kFilter, h.h, TRUE, "*.bab", nullptr));
  ::UnhookWindowsHookEx(hook);
  EXPECT_FALSE(w.IsWatching(a.path()));
  EXPECT_EQ(1, h->RefCount());
  EXPECT_EQ(0, CWindowPoster::Users());
  EXPECT_TRUE(::RemoveDirectoryA(a.path().c_str())) << "the directory handle is closed";
  ::CreateDirectoryA(a.path().c_str(), nullptr);
  EXPECT_EQ(0u, w.StartWatch(a.path(), kFilter, h.h, TRUE, "*.bab", nullptr)) << "works again";
}

// A change whose post fails (a full queue; under Wine, whose queues never
// fill, the delivery window is taken away for a moment) is owed to the
// handler as a changes-lost notice. It must come as soon as posting works
// again, without waiting for another change that may never happen.
TEST(DirWatcher, LostChangesAreReportedWithoutALaterChange) {
  PumpUntil([] { return false; }, 50);
  ASSERT_EQ(0, CWindowPoster::Users());
  ScratchDir a("lost");
  HandlerRef h;
  CDirWatcher w(true, FF_NAME_ONLY);
  ASSERT_EQ(0u, w.StartWatch(a.path(), kFilter, h.h, TRUE, "*.bab", nullptr));
  ASSERT_TRUE(PumpUntil([&] { return h->SawContaining("started "); }));
  CChangeDispatcher* d = WatcherTestAccess::Entry(w, a.path())->Dispatcher();
  ASSERT_TRUE(::DestroyWindow(CWindowPoster::Window()));
  ASSERT_TRUE(WriteText(a / "gone.bab", "x"));
  ASSERT_TRUE(PumpUntil([&] { return d->ChangesLostPending(); })) << "the post did not fail";
  CWindowPoster window_again;
  EXPECT_TRUE(PumpUntil([&] { return h->Saw("mod " + a.path()); })) << h->Dump();
  EXPECT_FALSE(h->SawContaining("gone.bab")) << h->Dump();
  EXPECT_TRUE(w.StopAll());
}

// The worker must never run an operation that waits for the worker: the
// check says so at once instead of leaving a deadlock to find.
TEST(DirWatcherDeathTest, AnOperationOnTheWorkerThreadIsCaught) {
  struct WaitsForItself : CDirWatcher {
    WaitsForItself() : CDirWatcher(true, FF_NAME_ONLY) {}
    void WorkerStarting() override { StopAll(); }
  };
  ScratchDir a("selfwait");
  EXPECT_DEATH(
      {
        HandlerRef h;
        WaitsForItself w;
        w.StartWatch(a.path(), kFilter, h.h, TRUE, "*.bab", nullptr);
      },
      "wrong thread");
}

// A handler destroyed while a watch still targets it (a global or local
// whose owner did not stop its watches) is caught as it goes, not left to
// deliver to freed memory later.
TEST(DirWatcherDeathTest, AHandlerDestroyedWhileWatchedIsCaught) {
  ScratchDir a("destroyed-watched");
  EXPECT_DEATH(
      {
        CDirWatcher w(true, FF_NAME_ONLY);
        Recorder h;
        w.StartWatch(a.path(), kFilter, &h, TRUE, "*.bab", nullptr);
      },
      "destroyed while a watch still targets it");
}
