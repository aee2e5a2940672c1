#include "demo.h"

#include <cstdio>
#include <fstream>

#include "compose_window.h"
#include "screenshot.h"

namespace standin {

using namespace vantrel_host;
namespace {

// Pumps this thread's messages as the host's loop does (keys go to the
// plug-in first) for the given time.
void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (HostTranslateKey(msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  } while (GetTickCount() - start < ms);
}

void PressKey(WORD vk, bool shift = false) {
  INPUT inputs[4] = {};
  int n = 0;
  auto key = [&](WORD code, DWORD flags) {
    inputs[n].type = INPUT_KEYBOARD;
    inputs[n].ki.wVk = code;
    inputs[n].ki.dwFlags = flags;
    ++n;
  };
  if (shift) key(VK_SHIFT, 0);
  key(vk, 0);
  key(vk, KEYEVENTF_KEYUP);
  if (shift) key(VK_SHIFT, KEYEVENTF_KEYUP);
  SendInput(n, inputs, sizeof(INPUT));
  Pump(40);
}

void TypeText(const std::string& text) {
  for (char c : text) {
    const SHORT scan = VkKeyScanA(c);
    if (scan == -1) continue;
    PressKey(LOBYTE(scan), (HIBYTE(scan) & 1) != 0);
  }
  Pump(300);
}

std::string FocusedText() {
  HWND focus = GetFocus();
  if (!focus) return std::string();
  std::string text(static_cast<size_t>(GetWindowTextLengthA(focus)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(focus, &text[0], static_cast<int>(text.size()))));
  return text;
}

struct PopupSearch {
  HWND exclude[2];
  RECT bounds;
  int found;
};

// The union of every visible top-level window of this thread except the
// main window: the compose window and the pop-up list.
BOOL CALLBACK AddVisibleWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<PopupSearch*>(param);
  if (!IsWindowVisible(hwnd) || hwnd == search->exclude[0]) return TRUE;
  RECT r;
  GetWindowRect(hwnd, &r);
  if (hwnd != search->exclude[1]) ++search->found;
  UnionRect(&search->bounds, &search->bounds, &r);
  return TRUE;
}

bool Capture(HWND main_window, HWND compose, const std::string& path, bool* list_shown) {
  PopupSearch search = {{main_window, compose}, {}, 0};
  GetWindowRect(compose, &search.bounds);
  EnumThreadWindows(GetCurrentThreadId(), AddVisibleWindow, reinterpret_cast<LPARAM>(&search));
  *list_shown = search.found > 0;
  if (path.empty()) return true;
  return SaveScreenRect(search.bounds, path);
}

// Walks the list with Down: each step writes the selected address in place
// of the token, so the field's text is what the list offers, in its order.
std::vector<std::string> WalkOffers() {
  std::vector<std::string> offers;
  for (int i = 0; i < 500; ++i) {
    PressKey(VK_DOWN);
    const std::string text = FocusedText();
    if (!offers.empty() && text == offers.front()) break;  // wrapped round
    if (!offers.empty() && text == offers.back()) break;   // nothing moved
    offers.push_back(text);
  }
  return offers;
}

void PrintOffers(const std::vector<std::string>& offers) {
  std::printf("offered %d address%s:\n", static_cast<int>(offers.size()),
              offers.size() == 1 ? "" : "es");
  for (const std::string& offer : offers) std::printf("  %s\n", offer.c_str());
  std::fflush(stdout);
}

void RetypeToken(const std::string& token) {
  PressKey(VK_ESCAPE);
  SetWindowTextA(GetFocus(), "");
  Pump(100);
  TypeText(token);
}

}  // namespace

int RunDemo(PluginModule& plugin, HWND main_window, const DemoOptions& options) {
  PluginCallbacks callbacks = {plugin.OnOpenCompose, plugin.OnKeyDispatch, plugin.OnOutgoing};
  HWND compose = OpenHostComposeWindow(callbacks, nullptr);
  if (!compose) {
    std::printf("could not open a compose window\n");
    return 4;
  }
  SetForegroundWindow(compose);
  // A new message starts in the host's recipient field; the plug-in takes
  // the first key over and moves the focus to its own field.
  SetFocus(HostRecipientField(compose));
  Pump(300);

  std::printf("typing \"%s\" into the recipient field\n", options.token.c_str());
  TypeText(options.token);
  bool list_shown = false;
  if (!Capture(main_window, compose, options.screenshot, &list_shown)) {
    std::printf("could not save the screenshot %s\n", options.screenshot.c_str());
  } else if (!options.screenshot.empty()) {
    std::printf("screenshot: %s\n", options.screenshot.c_str());
  }
  if (!list_shown) {
    std::printf("the suggestion list did not open\n");
    return 4;
  }
  PrintOffers(WalkOffers());

  int result = 0;
  if (!options.liveAddress.empty()) {
    std::ofstream book(options.liveBook, std::ios::binary | std::ios::app);
    book << "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:New Contact\r\nEMAIL;PREF;INTERNET:"
         << options.liveAddress << "\r\nEND:VCARD\r\n";
    book.close();
    std::printf("added %s to %s while the compose window is open\n", options.liveAddress.c_str(),
                options.liveBook.c_str());
    bool offered = false;
    std::vector<std::string> offers;
    for (int attempt = 0; attempt < 10 && !offered; ++attempt) {
      Pump(500);  // the change notification rebuilds the list here
      RetypeToken(options.token);
      if (attempt == 0 || !options.liveScreenshot.empty()) {
        Capture(main_window, compose, options.liveScreenshot, &list_shown);
      }
      offers = WalkOffers();
      for (const std::string& offer : offers) offered = offered || offer == options.liveAddress;
    }
    if (!options.liveScreenshot.empty()) {
      std::printf("screenshot: %s\n", options.liveScreenshot.c_str());
    }
    PrintOffers(offers);
    if (!offered) {
      std::printf("the new address was not offered\n");
      result = 4;
    }
  }

  PressKey(VK_RETURN);
  std::printf("sent to: %s\n", HostSendMail(compose).c_str());
  std::fflush(stdout);
  return result;
}

}  // namespace standin
