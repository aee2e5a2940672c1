// Letting go of the module while a watch runs: the host may unload the
// plug-in, or end the process, without calling its exit callback first.
// Neither may hang or crash the host.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "watch_test_util.h"

using watchtest::PumpUntil;
using watchtest::ScratchDir;
using watchtest::WriteText;

namespace {
const char kProbe[] = "watch_unload_probe.dll";
const char kExitSwitch[] = "--vantrel-probe-exit=";

using StartFn = DWORD(__cdecl*)(const char*);
using ChangesFn = LONG(__cdecl*)();

// The child side of the process-exit case, run before GoogleTest starts:
// load the probe, start a watch, see it work, then end the process with the
// watch still running.
struct ChildScenario {
  ChildScenario() {
    const std::string cmd = ::GetCommandLineA();
    const size_t at = cmd.find(kExitSwitch);
    if (at == std::string::npos) return;
    const std::string dir = cmd.substr(at + sizeof kExitSwitch - 1);
    HMODULE probe = ::LoadLibraryA(kProbe);
    if (!probe) ::ExitProcess(2);
    auto start = reinterpret_cast<StartFn>(
        reinterpret_cast<void*>(::GetProcAddress(probe, "ProbeStart")));
    auto changes = reinterpret_cast<ChangesFn>(
        reinterpret_cast<void*>(::GetProcAddress(probe, "ProbeChanges")));
    if (!start || !changes || start(dir.c_str()) != 0) ::ExitProcess(3);
    WriteText(dir + "\\child.bab", "x");
    if (!PumpUntil([&] { return changes() > 0; })) ::ExitProcess(4);
    ::ExitProcess(7);  // no StopAll: the module is torn down under the loader lock
  }
} g_child_scenario;
}  // namespace

TEST(Unload, ProcessExitWithARunningWatchEndsPromptly) {
  ScratchDir dir("exit");
  char self[MAX_PATH];
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string cmd = std::string("\"") + self + "\" " + kExitSwitch + dir.path();
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi))
      << ::GetLastError();
  const DWORD waited = ::WaitForSingleObject(pi.hProcess, 30000);
  EXPECT_EQ(WAIT_OBJECT_0, waited) << "the child hung on its way out";
  if (waited != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 99);
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(7u, code) << "2: no probe, 3: no watch, 4: no change seen, else a crash";
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
}

// Unloaded with a notice still queued for its delivery window: the window
// and its class go with the module, so neither the queued notice nor a
// broadcast can reach a window procedure in unmapped code.
TEST(Unload, TheDeliveryWindowDoesNotOutliveTheModule) {
  HMODULE probe = ::LoadLibraryA(kProbe);
  ASSERT_NE(nullptr, probe) << ::GetLastError();
  auto queue = reinterpret_cast<HWND(__cdecl*)()>(
      reinterpret_cast<void*>(::GetProcAddress(probe, "ProbeQueueNotice")));
  ASSERT_TRUE(queue);
  const HWND window = queue();
  ASSERT_TRUE(::IsWindow(window));
  ASSERT_TRUE(::FreeLibrary(probe));
  ASSERT_EQ(nullptr, ::GetModuleHandleA(kProbe));
  EXPECT_FALSE(::IsWindow(window));
  WNDCLASSA wc = {};
  EXPECT_FALSE(::GetClassInfoA(probe, "Delayed_Message_Sender", &wc));
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutA(HWND_BROADCAST, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
  PumpUntil([] { return false; }, 200);  // the queued notice: dropped, not delivered
}

// Runs last: it leaves a watch running in the probe.
TEST(Unload, FreeLibraryWhileWatchingKeepsTheModuleUntilTheWorkerEnds) {
  ScratchDir dir("free");
  HMODULE probe = ::LoadLibraryA(kProbe);
  ASSERT_NE(nullptr, probe) << ::GetLastError();
  auto start = reinterpret_cast<StartFn>(
      reinterpret_cast<void*>(::GetProcAddress(probe, "ProbeStart")));
  auto changes = reinterpret_cast<ChangesFn>(
      reinterpret_cast<void*>(::GetProcAddress(probe, "ProbeChanges")));
  auto stop_all = reinterpret_cast<BOOL(__cdecl*)()>(
      reinterpret_cast<void*>(::GetProcAddress(probe, "ProbeStopAll")));
  ASSERT_TRUE(start && changes && stop_all);

  // The regular order first: stop, then unload; the module really goes.
  ASSERT_EQ(0u, start(dir.path().c_str()));
  EXPECT_TRUE(stop_all());
  EXPECT_TRUE(::FreeLibrary(probe));
  EXPECT_EQ(nullptr, ::GetModuleHandleA(kProbe)) << "a stopped worker must not pin the module";

  // Now unload with the watch running: the worker's own reference keeps the
  // code mapped, so the running watch still delivers instead of crashing.
  probe = ::LoadLibraryA(kProbe);
  ASSERT_NE(nullptr, probe);
  start = reinterpret_cast<StartFn>(reinterpret_cast<void*>(::GetProcAddress(probe, "ProbeStart")));
  changes =
      reinterpret_cast<ChangesFn>(reinterpret_cast<void*>(::GetProcAddress(probe, "ProbeChanges")));
  ASSERT_EQ(0u, start(dir.path().c_str()));
  EXPECT_TRUE(::FreeLibrary(probe));
  EXPECT_NE(nullptr, ::GetModuleHandleA(kProbe));
  ASSERT_TRUE(WriteText(dir / "after-unload.bab", "x"));
  EXPECT_TRUE(PumpUntil([&] { return changes() > 0; }));
  // The process ends with this watch still running (the exit path above).
}
