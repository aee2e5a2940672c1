// Typing into a stand-in compose window as the host's message loop would,
// shared by the benchmarks that time a key from outside.
#pragma once

#include <windows.h>

#include "bench_clock.h"
#include "compose_window.h"

namespace bench {

// The host's message loop, until the queue is empty: a key-down goes to the
// plug-in's key dispatch before it is translated.
inline void HostLoop() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (vantrel_host::HostTranslateKey(msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

// Types `letter` into the focused window `field` and runs the host's loop
// until the field holds `expect` bytes and nothing is left in the queue.
// Milliseconds, or -1 after a second without the character.
inline double TypeKey(HWND field, char letter, int expect) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = static_cast<WORD>(letter - 'a' + 'A');
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  const double t0 = Now();
  ::SendInput(2, in, sizeof(INPUT));
  for (;;) {
    HostLoop();
    if (::GetWindowTextLengthA(field) >= expect &&
        !::GetQueueStatus(QS_ALLINPUT | QS_ALLPOSTMESSAGE))
      return Now() - t0;
    if (Now() - t0 > 1000) return -1;
  }
}

}  // namespace bench
