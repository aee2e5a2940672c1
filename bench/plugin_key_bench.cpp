// A typed key that matches nothing, measured from outside the plug-in: the
// DLL loaded as the host loads it, a key sent with SendInput to the focused
// completion field of a compose window that BKC_OnOpenCompose hooked, run
// through the host's message loop (BKC_OnKeyDispatch first) until the field
// holds the character and the queue is empty. No address begins with the
// token, so the pop-up is hidden before and after.
//
// Beside it, in the same run: the host's own field of an unhooked compose
// window, and every further plug-in DLL named on the command line (an
// earlier build, say). The subjects take turns, ten keys each, so that the
// machine's load falls on all of them alike. The USER32/GDI32 calls that
// each DLL makes per key are counted through its own import table, and the
// cost of the single calls on the path is measured too: under Wine some of
// them are a round trip to the server.
//
// Usage (under Wine): plugin_key_bench.exe [--rounds N] [other.dll ...]
// Vantrel.dll beside the program is always measured. Each key is marked
// with OutputDebugString ("key <subject>" ... "key end"), so that a run with
// WINEDEBUG=+server,+debugstr and --rounds 1 shows the requests that each
// key sends to the server; scripts/server-requests.sh counts them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "host_keys.h"
#include "compose_window.h"
#include "plugin_host.h"
#include "window_calls.h"

namespace {

struct Subject {
  std::string name;
  standin::PluginModule plugin;  // no module: the host alone
  bench::WindowCallCounter counter;
  bool counting = false;
  HWND compose = nullptr;
  HWND field = nullptr;  // where the keys go
  std::vector<double> ms;
  bench::CallTally calls;
  int timeouts = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> dlls = {standin::ExeFolder() + "Vantrel.dll"};
  int rounds = 60;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--rounds" && i + 1 < argc) rounds = std::atoi(argv[++i]);
    else dlls.push_back(argv[i]);
  }

  std::vector<std::unique_ptr<Subject>> subjects;
  subjects.push_back(std::make_unique<Subject>());
  subjects.back()->name = "host's own field, no plug-in";
  for (const std::string& path : dlls) {
    auto s = std::make_unique<Subject>();
    s->name = path;
    if (DWORD error = s->plugin.Load(path)) {
      std::printf("cannot load %s (error %lu)\n", path.c_str(), error);
      return 1;
    }
    s->counting = s->counter.Install(s->plugin.module);
    subjects.push_back(std::move(s));
  }
  for (auto& s : subjects) {
    vantrel_host::PluginCallbacks callbacks;
    callbacks.onOpenCompose = s->plugin.OnOpenCompose;
    callbacks.onKeyDispatch = s->plugin.OnKeyDispatch;
    callbacks.onOutgoing = s->plugin.OnOutgoing;
    // The host puts the focus into its field; a hooked window hands it on
    // to the completion field.
    s->compose = vantrel_host::OpenHostComposeWindow(callbacks, nullptr);
    s->field = ::GetFocus();
    bench::HostLoop();
    if (!s->compose || !s->field) {
      std::printf("no compose window for %s\n", s->name.c_str());
      return 1;
    }
  }

  const std::string start = "anna1@example.com, q";
  const int kKeys = 10;
  for (int round = 0; round < rounds; ++round) {
    for (auto& s : subjects) {
      ::SetForegroundWindow(s->compose);
      ::SetFocus(s->field);
      ::SetWindowTextA(s->field, start.c_str());
      int len = static_cast<int>(start.size());
      ::SendMessageA(s->field, EM_SETSEL, len, len);
      bench::HostLoop();
      for (int k = 0; k < kKeys; ++k) {
        s->counter.Reset();
        ::OutputDebugStringA(("key " + s->name + "\n").c_str());
        const double ms = bench::TypeKey(s->field, 'q', ++len);
        ::OutputDebugStringA("key end\n");
        if (ms < 0) {
          ++s->timeouts;
          len = ::GetWindowTextLengthA(s->field);
          continue;
        }
        s->ms.push_back(ms);
        if (s->counting) s->calls.Add(s->counter.Snapshot());
      }
    }
  }

  std::printf("A typed key that matches nothing (SendInput, through the host's loop, until "
              "idle), %d keys each, in turns\n",
              rounds * kKeys);
  const double base = Median(subjects.front()->ms);
  for (auto& s : subjects) {
    double sum = 0;
    for (double x : s->ms) sum += x;
    std::printf("  %-40s median %.3f ms (plug-in's share %.3f), mean %.3f ms, time-outs %d\n",
                s->name.c_str(), Median(s->ms), Median(s->ms) - base,
                s->ms.empty() ? 0.0 : sum / static_cast<double>(s->ms.size()), s->timeouts);
    if (s->counting) {
      std::printf("    its USER32/GDI32 calls per key, %.1f: %s\n", s->calls.Total(),
                  s->calls.Breakdown(s->counter.Names()).c_str());
    }
  }
  // What single calls on the path cost here, in microseconds.
  HWND field = subjects.size() > 1 ? subjects[1]->field : subjects.front()->field;
  POINT caret = {0, 0};
  std::printf("  single calls, us each: GetPropA %.2f, GetFocus %.2f, GetCaretPos %.2f, "
              "GetWindowLongA %.2f\n",
              MicrosPerCall([&] { ::GetPropA(field, "Vantrel.WindowObject"); }),
              MicrosPerCall([&] { ::GetFocus(); }),
              MicrosPerCall([&] { ::GetCaretPos(&caret); }),
              MicrosPerCall([&] { ::GetWindowLongA(field, GWL_STYLE); }));
  for (auto& s : subjects) {
    char text[64];
    std::printf("    %-40s SendMessageA(WM_NULL) to its field %.2f, GetWindowTextA %.2f\n",
                s->name.c_str(), MicrosPerCall([&] { ::SendMessageA(s->field, WM_NULL, 0, 0); }),
                MicrosPerCall([&] { ::GetWindowTextA(s->field, text, sizeof text); }));
  }

  bool ok = true;
  for (auto& s : subjects) {
    ok &= s->timeouts == 0;
    if (s->plugin.OnOutgoing) s->plugin.OnOutgoing(s->compose, 0);
    ::DestroyWindow(s->compose);
  }
  bench::HostLoop();
  return ok ? 0 : 1;
}
