// What the compose hook costs the user, with 100,000 known addresses.
//
// 1. Opening: hooking a compose window and showing the matches for its
//    first letter, with the search list handed over as the shared index,
//    against filling the same field with one AddSearchString per address
//    (the literal way) in the same run.
// 2. Typing with a long recipient list: one character typed into a hooked
//    field holding 10 KB of recipients (change handling plus the copy of the
//    whole text into the host field) against the same character in the
//    host's own, unhooked field.
// 3. A keystroke that matches nothing, as the host sees it: a key typed with
//    SendInput into the focused completion field of a hooked compose window,
//    through the host's message loop (its key dispatch included), until the
//    field holds the character and the queue is empty; the pop-up stays
//    hidden. Beside it the same key typed into the host's own field of an
//    unhooked window, and the calls into USER32 and GDI32 that each makes
//    (window_calls.h; the loop's own calls are in both). Then what single
//    calls on this path cost, since under Wine many of them ask the server.
// Run under Wine: scripts/wine-run.sh build/win/bin/compose_bench.exe
#include <windows.h>

#include "bench_clock.h"
#include "host_keys.h"
#include "window_calls.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "compose/compose_hook.h"
#include "compose_window.h"
#include "plugin/globals.h"

using namespace vantrel;

namespace {



std::vector<std::string> MakeAddresses(size_t n) {
  static const char* names[] = {"anna", "Bob", "carol", "Dave", "eve", "Frank", "grace", "li",
                                "wang", "Chen", "zhao", "Oscar"};
  std::vector<std::string> out;
  out.reserve(n);
  unsigned x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    out.push_back(std::string(names[(x >> 16) % 12]) + std::to_string(i) + "@example.com");
  }
  return out;
}

void Drain() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

int WholeTextLength(HWND hwnd) { return hwnd ? ::GetWindowTextLengthA(hwnd) : -1; }

double Mean(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

HWND FieldOf(HWND compose) {
  ComposeSlot* slot = FindComposeSlot(compose);
  return slot && slot->edit ? slot->edit->hwnd() : nullptr;
}

// ---- 3. a keystroke that matches nothing ------------------------------

int WINAPI DispatchKey(HWND compose, int key, LPARAM) { return KeyDispatch(compose, key); }

struct KeyFigures {
  std::vector<double> ms;
  bench::CallTally calls;
  int timeouts = 0;
};

// `rounds` keystrokes of `letter` into `field`, which starts from `start`
// each `perText` keys (set outside the timing).
KeyFigures TypeMany(bench::WindowCallCounter* counter, HWND field, const std::string& start,
                    char letter, int rounds, int perText) {
  KeyFigures f;
  int len = 0;
  for (int i = 0; i < rounds; ++i) {
    if (i % perText == 0) {
      ::SetWindowTextA(field, start.c_str());
      len = static_cast<int>(start.size());
      ::SendMessageA(field, EM_SETSEL, len, len);
      bench::HostLoop();
    }
    counter->Reset();
    const double ms = bench::TypeKey(field, letter, ++len);
    std::vector<uint32_t> counted = counter->Snapshot();
    if (ms < 0) {
      ++f.timeouts;
      len = ::GetWindowTextLengthA(field);
      continue;
    }
    f.ms.push_back(ms);
    f.calls.Add(counted);
  }
  return f;
}

}  // namespace

int main() {
  const size_t kCount = 100000;
  const int kRounds = 15;
  AddressList.Edit() = MakeAddresses(kCount);

  vantrel_host::PluginCallbacks none;
  HWND compose = vantrel_host::OpenHostComposeWindow(none, nullptr);
  HWND container = vantrel_host::HostAddressContainer(compose);
  Drain();

  std::printf("compose_bench: %zu addresses, median of %d rounds\n\n", kCount, kRounds);
  std::printf("1. Opening a compose window and matching its first letter\n");

  // The first open builds the shared index; every later one reuses it.
  double t0 = Now();
  OpenCompose(compose);
  ::SetWindowTextA(FieldOf(compose), "c");
  const double firstOpen = Now() - t0;
  Outgoing(compose);

  std::vector<double> hookOnly, shared, literal;
  for (int round = 0; round < kRounds; ++round) {
    t0 = Now();
    OpenCompose(compose);
    hookOnly.push_back(Now() - t0);
    Outgoing(compose);
    Drain();

    t0 = Now();
    OpenCompose(compose);
    ::SetWindowTextA(FieldOf(compose), "c");
    shared.push_back(Now() - t0);
    Outgoing(compose);
    Drain();

    // Baseline: the same field filled one address at a time.
    t0 = Now();
    {
      CCompletionEdit edit;
      edit.CreateSubclassed(WS_EX_CLIENTEDGE, "Edit", nullptr, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL,
                            60, 4, 400, 24, container, 0);
      edit.Init();
      edit.SetSeparator(",");
      edit.SetMode(CCompletionEdit::CM_SEPARATED);
      for (const std::string& a : AddressList.items()) edit.AddSearchString(a);
      ::SetWindowTextA(edit.hwnd(), "c");
      // The field's own change report comes through the container only when
      // the compose window hands it back; do that here as the hook would.
      ::SendMessageA(edit.hwnd(), WM_COMMAND, MAKEWPARAM(0, EN_CHANGE),
                     reinterpret_cast<LPARAM>(edit.hwnd()));
      literal.push_back(Now() - t0);
    }
    Drain();
  }
  std::printf("   first open (builds the shared index):  %8.2f ms\n", firstOpen);
  std::printf("   later opens, hook alone (no matching):  %8.2f ms\n", Median(hookOnly));
  std::printf("   later opens, shared index:             %8.2f ms\n", Median(shared));
  std::printf("   baseline, 100,000 AddSearchString:     %8.2f ms\n", Median(literal));
  std::printf("   ratio baseline / shared:               %8.1f x\n\n",
              Median(literal) / std::max(Median(shared), 0.001));

  std::printf("2. One character typed with 10 KB of recipients\n");
  std::string recipients;
  for (int i = 0; recipients.size() < 10 * 1024; ++i)
    recipients += (i ? "," : "") + std::string("user") + std::to_string(i) + "@example.com";
  HWND host = vantrel_host::HostRecipientField(compose);

  // Baseline: the host's own field, no hook (it is hidden, which does not
  // change what typing into it costs).
  std::vector<double> plain, hooked;
  for (int round = 0; round < kRounds; ++round) {
    ::SetWindowTextA(host, recipients.c_str());
    ::SendMessageA(host, EM_SETSEL, recipients.size(), recipients.size());
    t0 = Now();
    ::SendMessageA(host, WM_CHAR, 'x', 1);
    plain.push_back(Now() - t0);
  }
  OpenCompose(compose);
  HWND field = FieldOf(compose);
  for (int round = 0; round < kRounds; ++round) {
    ::SetWindowTextA(field, recipients.c_str());
    ::SendMessageA(field, EM_SETSEL, recipients.size(), recipients.size());
    t0 = Now();
    ::SendMessageA(field, WM_CHAR, 'x', 1);
    hooked.push_back(Now() - t0);
  }
  const bool mirrored = ::GetWindowTextLengthA(host) == static_cast<int>(recipients.size()) + 1;
  std::printf("   host's own field:                      %8.3f ms\n", Median(plain));
  std::printf("   hooked field (match + copy to host):   %8.3f ms\n", Median(hooked));
  std::printf("   host field holds the whole text:       %s\n\n", mirrored ? "yes" : "NO");
  Outgoing(compose);
  ::DestroyWindow(compose);

  std::printf("3. A typed key that matches nothing (SendInput, through the host's loop, until idle)\n");
  bench::WindowCallCounter counter;
  const bool counting = counter.Install();
  vantrel_host::PluginCallbacks dispatch;
  dispatch.onKeyDispatch = &DispatchKey;
  // No address begins with q: the pop-up stays hidden before and after.
  const std::string start = "anna1@example.com, q";
  const int kKeys = 300, kPerText = 30;
  HWND plainWnd = vantrel_host::OpenHostComposeWindow(none, nullptr);
  HWND plainField = vantrel_host::HostRecipientField(plainWnd);
  ::SetFocus(plainField);
  bench::HostLoop();
  KeyFigures base = TypeMany(&counter, plainField, start, 'q', kKeys, kPerText);
  ::DestroyWindow(plainWnd);
  bench::HostLoop();

  HWND hookedWnd = vantrel_host::OpenHostComposeWindow(dispatch, nullptr);
  OpenCompose(hookedWnd);
  HWND hookedField = FieldOf(hookedWnd);
  ::SetForegroundWindow(hookedWnd);
  ::SetFocus(hookedField);
  bench::HostLoop();
  KeyFigures ours = TypeMany(&counter, hookedField, start, 'q', kKeys, kPerText);
  const ComposeSlot* slot = FindComposeSlot(hookedWnd);
  const bool hidden = slot && slot->edit && !::IsWindowVisible(slot->edit->list().hwnd());
  const bool copied = WholeTextLength(vantrel_host::HostRecipientField(hookedWnd)) ==
                      ::GetWindowTextLengthA(hookedField);
  std::printf("   host's own field, unhooked:            %8.3f ms median, %.3f ms mean"
              " (%zu keys, %d time-outs)\n",
              Median(base.ms), Mean(base.ms), base.ms.size(), base.timeouts);
  std::printf("   hooked field, pop-up hidden:           %8.3f ms median, %.3f ms mean"
              " (%zu keys, %d time-outs)\n",
              Median(ours.ms), Mean(ours.ms), ours.ms.size(), ours.timeouts);
  std::printf("   the plug-in's share:                   %8.3f ms\n",
              Median(ours.ms) - Median(base.ms));
  std::printf("   pop-up hidden after the keys: %s; host field holds the text: %s\n",
              hidden ? "yes" : "NO", copied ? "yes" : "NO");
  if (counting) {
    const auto& names = counter.Names();
    std::printf("   USER32/GDI32 calls per key, unhooked %.1f: %s\n", base.calls.Total(),
                base.calls.Breakdown(names).c_str());
    std::printf("   USER32/GDI32 calls per key, hooked %.1f: %s\n", ours.calls.Total(),
                ours.calls.Breakdown(names).c_str());
  }

  // What single calls cost here (microseconds per call, 2000 calls each).
  HWND popup = slot && slot->edit ? slot->edit->list().hwnd() : nullptr;
  POINT caret = {0, 0};
  RECT rect = {0, 0, 0, 0};
  char text[64];
  HWND hostOwn = vantrel_host::HostRecipientField(hookedWnd);
  std::printf("   single calls, us each: GetPropA %.2f, GetFocus %.2f, GetCaretPos %.2f, "
              "ShowWindow(SW_HIDE) on the hidden pop-up %.2f, GetWindowLongPtrA %.2f, "
              "IsWindowVisible %.2f, GetWindowRect %.2f, GetParent %.2f, "
              "GetWindowTextA of the field %.2f, of an unhooked edit %.2f, "
              "SendMessageA(WM_NULL) %.2f\n",
              MicrosPerCall([&] { ::GetPropA(hookedField, "Vantrel.WindowObject"); }),
              MicrosPerCall([&] { ::GetFocus(); }),
              MicrosPerCall([&] { ::GetCaretPos(&caret); }),
              MicrosPerCall([&] { ::ShowWindow(popup, SW_HIDE); }),
              MicrosPerCall([&] { ::GetWindowLongPtrA(hookedWnd, GWLP_WNDPROC); }),
              MicrosPerCall([&] { ::IsWindowVisible(popup); }),
              MicrosPerCall([&] { ::GetWindowRect(hookedField, &rect); }),
              MicrosPerCall([&] { ::GetParent(hookedField); }),
              MicrosPerCall([&] { ::GetWindowTextA(hookedField, text, sizeof text); }),
              MicrosPerCall([&] { ::GetWindowTextA(hostOwn, text, sizeof text); }),
              MicrosPerCall([&] { ::SendMessageA(hookedField, WM_NULL, 0, 0); }));
  Outgoing(hookedWnd);
  ::DestroyWindow(hookedWnd);
  return mirrored && hidden && copied && !ours.timeouts && !base.timeouts ? 0 : 1;
}
