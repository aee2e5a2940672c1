// The compose window hook on the stand-in host's compose window under Wine:
// real keyboard input through SendInput, the host's message loop routing
// key-downs through KeyDispatch first, and the host's own procedure counting
// what reaches it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "compose/compose_hook.h"
#include "platform/ansi.h"
#include "compose_window.h"
#include "plugin/globals.h"

using namespace vantrel;
using namespace vantrel_host;

namespace {

struct KeyCall {
  int key;
  int result;
};
std::vector<KeyCall> g_keys;

// The exported callbacks, as the DLL's wrappers make them.
int WINAPI OnOpen(HWND compose, LPARAM) { return OpenCompose(compose); }
int WINAPI OnKey(HWND window, int key, LPARAM) {
  int result = KeyDispatch(window, key);
  g_keys.push_back({key, result});
  return result;
}
int WINAPI OnOut(HWND compose, LPARAM) { return Outgoing(compose); }

PluginCallbacks Plugin() {
  PluginCallbacks cb;
  cb.onOpenCompose = OnOpen;
  cb.onKeyDispatch = OnKey;
  cb.onOutgoing = OnOut;
  return cb;
}

// The host's message loop.
void Pump(DWORD ms) {
  DWORD end = ::GetTickCount() + ms;
  do {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (HostTranslateKey(msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::Sleep(5);
  } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

void SendKey(WORD vk) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, in, sizeof(INPUT));
  Pump(60);
}

void Type(const char* s) {
  for (; *s; ++s) {
    char c = *s;
    WORD vk = (c >= 'a' && c <= 'z') ? static_cast<WORD>(c - 'a' + 'A')
              : c == ','             ? static_cast<WORD>(VK_OEM_COMMA)
                                     : static_cast<WORD>(c);
    SendKey(vk);
  }
}

std::string Text(HWND hwnd) {
  int n = ::GetWindowTextLengthA(hwnd);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  int got = ::GetWindowTextA(hwnd, &s[0], n + 1);
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

RECT WindowRect(HWND hwnd) {
  RECT r = {0, 0, 0, 0};
  ::GetWindowRect(hwnd, &r);
  return r;
}

// A window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND hwnd) {
  RECT r = WindowRect(hwnd);
  ::MapWindowPoints(nullptr, ::GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

HWND Field(HWND compose) {
  ComposeSlot* slot = FindComposeSlot(compose);
  return slot && slot->edit ? slot->edit->hwnd() : nullptr;
}

HWND List(HWND compose) {
  ComposeSlot* slot = FindComposeSlot(compose);
  return slot && slot->edit ? slot->edit->list().hwnd() : nullptr;
}

bool Visible(HWND hwnd) { return hwnd && ::IsWindowVisible(hwnd); }

std::pair<DWORD, DWORD> Selection(HWND edit) {
  DWORD s = 0, e = 0;
  ::SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  return {s, e};
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The entries that begin with `token`, letter case ignored, in the order the
// list shows them.
std::vector<std::string> Matches(const std::vector<std::string>& entries, const std::string& token) {
  std::vector<std::string> out;
  for (const auto& e : entries)
    if (Lower(e).compare(0, token.size(), Lower(token)) == 0) out.push_back(e);
  std::stable_sort(out.begin(), out.end(),
                   [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
  return out;
}

WNDPROC HostComposeProc() {
  WNDCLASSA wc = {};
  ::GetClassInfoA(::GetModuleHandleA(nullptr), kComposeClassName, &wc);
  return wc.lpfnWndProc;
}

WNDPROC CurrentProc(HWND hwnd) {
  return reinterpret_cast<WNDPROC>(::GetWindowLongA(hwnd, GWL_WNDPROC));
}

const std::vector<std::string> kAddresses = {
    "bonnie@north.example", "alice@west.example", "Bob@east.example",  "carol@south.example",
    "BOTH@mid.example",     "bill@east.example",  "bob@east.example", "Brian@north.example"};

class ComposeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_keys.clear();
    AddressList.Clear();
    AddressList.Edit() = kAddresses;
    FieldFont.reset(::CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                  "Tahoma"));
  }
  void TearDown() override {
    for (HWND w : opened_)
      if (::IsWindow(w)) ::DestroyWindow(w);
    Pump(30);
    EXPECT_TRUE(ComposeSlots.empty()) << ComposeSlots.size() << " slots left";
    EXPECT_TRUE(MirrorEnabled());
  }
  HWND Open(const char* recipients) {
    HWND w = OpenHostComposeWindow(Plugin(), recipients);
    opened_.push_back(w);
    Pump(80);
    return w;
  }
  std::vector<HWND> opened_;
};

// The container's procedure for one test: a host that closes the compose
// window while the field reports a change of its text.
WNDPROC g_containerProc = nullptr;
HWND g_closeOnNotify = nullptr;
LRESULT CALLBACK ClosingContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMPLETION_NOTIFY && wp == kNotifyChanged && g_closeOnNotify) {
    HWND doomed = g_closeOnNotify;
    g_closeOnNotify = nullptr;
    ::DestroyWindow(doomed);
    return 0;
  }
  return ::CallWindowProcA(g_containerProc, hwnd, msg, wp, lp);
}

}  // namespace

TEST_F(ComposeTest, OpeningLaysTheFieldOverTheHiddenHostField) {
  HWND w = Open("Ann@a.example,bo");
  ASSERT_NE(nullptr, w);
  HWND host = HostRecipientField(w);
  HWND field = Field(w);
  ASSERT_NE(nullptr, field);
  ASSERT_EQ(1u, ComposeSlots.size());
  EXPECT_EQ(reinterpret_cast<WNDPROC>(&ComposeWndProc), CurrentProc(w));
  EXPECT_EQ(HostComposeProc(), ComposeSlots[0].prevWndProc);
  EXPECT_EQ(host, ComposeSlots[0].hostField);

  EXPECT_FALSE(::IsWindowVisible(host));
  EXPECT_TRUE(::IsWindowVisible(field));
  EXPECT_EQ(HostAddressContainer(w), ::GetParent(field));
  char cls[32] = {};
  ::GetClassNameA(field, cls, sizeof cls);
  EXPECT_STREQ("Edit", cls);
  EXPECT_EQ(0, ::GetDlgCtrlID(field));
  EXPECT_TRUE(::GetWindowLongA(field, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL),
            ::GetWindowLongA(field, GWL_STYLE) & (WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_MULTILINE));
  EXPECT_EQ(reinterpret_cast<LRESULT>(FieldFont.get()), ::SendMessageA(field, WM_GETFONT, 0, 0));

  // At (60, 4) in the container, 3 wider and 4 taller than the host's client area.
  RECT hostClient = {0, 0, 0, 0};
  ::GetClientRect(host, &hostClient);
  RECT r = RectInParent(field);
  EXPECT_EQ(60, r.left);
  EXPECT_EQ(4, r.top);
  EXPECT_EQ(hostClient.right + 3, r.right - r.left);
  EXPECT_EQ(hostClient.bottom + 4, r.bottom - r.top);

  // The host's text, every address offered, and the focus the host gave its
  // field now in ours.
  EXPECT_EQ("Ann@a.example,bo", Text(field));
  EXPECT_EQ("Ann@a.example,bo", Text(host));
  EXPECT_EQ(kAddresses.size(), ComposeSlots[0].edit->list().SearchCount());
  EXPECT_EQ(field, ::GetFocus());

  // Opening the same window again hooks nothing twice.
  EXPECT_EQ(0, OpenCompose(w));
  EXPECT_EQ(1u, ComposeSlots.size());
  EXPECT_EQ(HostComposeProc(), ComposeSlots[0].prevWndProc);
}

TEST_F(ComposeTest, TypingCompletesAndTheHostFieldFollows) {
  HWND w = Open(nullptr);
  HWND host = HostRecipientField(w);
  HWND field = Field(w);
  ASSERT_NE(nullptr, field);
  // The user clicks where the host's field was: the focus is in the hidden field.
  ::SetFocus(host);
  Pump(30);
  ASSERT_EQ(host, ::GetFocus());

  // The first key is taken over, moved to our field and typed there.
  Type("b");
  ASSERT_FALSE(g_keys.empty());
  EXPECT_EQ('B', g_keys[0].key);
  EXPECT_EQ(1, g_keys[0].result);
  EXPECT_EQ(field, ::GetFocus());
  EXPECT_EQ("b", Text(field));
  EXPECT_EQ("b", Text(host));

  // Further keys are the field's own; the host field follows each change.
  g_keys.clear();
  Type("o");
  ASSERT_EQ(1u, g_keys.size());
  EXPECT_EQ(0, g_keys[0].result);
  EXPECT_EQ("bo", Text(field));  // a copy bounced back would have moved the caret to 0
  EXPECT_EQ("bo", Text(host));
  HWND list = List(w);
  ASSERT_TRUE(Visible(list));
  RECT fr = WindowRect(field), lr = WindowRect(list);
  EXPECT_GE(lr.top, fr.bottom - 2) << "list at " << lr.top << ", field bottom " << fr.bottom;
  EXPECT_LE(std::abs(lr.left - fr.left), 4) << lr.left << " vs " << fr.left;

  // Down takes the first match in place of the token, selected.
  std::vector<std::string> matches = Matches(kAddresses, "bo");
  ASSERT_FALSE(matches.empty());
  SendKey(VK_DOWN);
  const std::string first = matches[0];
  EXPECT_EQ(first, Text(field));
  EXPECT_EQ(std::make_pair(DWORD{0}, static_cast<DWORD>(first.size())), Selection(field));
  EXPECT_EQ(first, Text(host));
  EXPECT_TRUE(Visible(list));

  // Enter closes the list and is left to the host.
  g_keys.clear();
  SendKey(VK_RETURN);
  ASSERT_EQ(1u, g_keys.size());
  EXPECT_EQ(VK_RETURN, g_keys[0].key);
  EXPECT_EQ(0, g_keys[0].result);
  EXPECT_FALSE(Visible(list));
  EXPECT_EQ(1, GetHostComposeStats(w).enterKeys);
  EXPECT_EQ(first, Text(field));

  // A second address after the separator.
  SendKey(VK_END);
  Type(",al");
  EXPECT_EQ(first + ",al", Text(field));
  EXPECT_EQ(first + ",al", Text(host));
  EXPECT_TRUE(Visible(list));

  // Enter that the host only reports closes the list too: a host need not
  // deliver the key to the field itself.
  EXPECT_EQ(0, KeyDispatch(w, VK_RETURN));
  EXPECT_FALSE(Visible(list));
  Type("i");
  ASSERT_TRUE(Visible(list));

  // Leaving the field closes the list and copies its text into the host
  // field once more, even one that fell out of step.
  WriteHostField(host, "stale");
  ::SetFocus(::GetWindow(::GetWindow(w, GW_CHILD), GW_HWNDNEXT));
  Pump(60);
  EXPECT_FALSE(Visible(list));
  EXPECT_EQ(first + ",ali", Text(host));

  // None of our copies into the host field reached the host as a change.
  EXPECT_EQ(0, GetHostComposeStats(w).recipientChanges);
}

// Keys that reach the hidden host field, as a user types them: several
// queued before the host handles the first, a modifier tapped, an input
// method's key. The focus moves to the completion field, and what was typed
// arrives there once, in order, with no key left down.
TEST_F(ComposeTest, KeysFromTheHiddenFieldArriveOnceInOrderWithNoKeyLeftDown) {
  HWND w = Open("ann@a.example");
  HWND host = HostRecipientField(w);
  HWND field = Field(w);
  ASSERT_NE(nullptr, field);
  auto focusHostField = [&] {
    ::SendMessageA(field, EM_SETSEL, 0x7FFF, 0x7FFF);  // caret at the end
    ::SetFocus(host);
    Pump(30);
    return ::GetFocus() == host;
  };
  auto send = [](std::initializer_list<std::pair<WORD, bool>> keys) {  // (key, up)
    std::vector<INPUT> in;
    for (const auto& k : keys) {
      INPUT i = {};
      i.type = INPUT_KEYBOARD;
      i.ki.wVk = k.first;
      i.ki.dwFlags = k.second ? KEYEVENTF_KEYUP : 0;
      in.push_back(i);
    }
    ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    Pump(200);
  };
  auto down = [](int vk) { return (::GetAsyncKeyState(vk) & 0x8000) != 0; };

  // Two letters typed before the host took the first.
  ASSERT_TRUE(focusHostField());
  send({{'B', false}, {'B', true}, {'C', false}, {'C', true}});
  EXPECT_EQ(field, ::GetFocus());
  EXPECT_EQ("ann@a.example" "bc", Text(field));
  EXPECT_FALSE(down('B') || down('C'));

  // Ctrl tapped (its release queued before the host took the press), then x.
  ASSERT_TRUE(focusHostField());
  send({{VK_CONTROL, false}, {VK_CONTROL, true}});
  EXPECT_FALSE(down(VK_CONTROL)) << "Ctrl left down";
  Type("x");
  EXPECT_EQ("ann@a.example" "bcx", Text(field)) << "typed, not cut";

  // Shift held for a capital: the key after it is taken with Shift.
  ASSERT_TRUE(focusHostField());
  send({{VK_SHIFT, false}, {'D', false}, {'D', true}, {VK_SHIFT, true}});
  EXPECT_FALSE(down(VK_SHIFT)) << "Shift left down";
  Type("e");
  EXPECT_EQ("ann@a.example" "bcxDe", Text(field));

  // An input method's key is left to the host, whose translation of it
  // feeds the input method; sent again it would carry nothing to compose.
  ASSERT_TRUE(focusHostField());
  g_keys.clear();
  send({{VK_PROCESSKEY, false}, {VK_PROCESSKEY, true}});
  EXPECT_EQ(field, ::GetFocus());
  ASSERT_EQ(1u, g_keys.size()) << "dispatched once";
  EXPECT_EQ(VK_PROCESSKEY, g_keys[0].key);
  EXPECT_EQ(0, g_keys[0].result);
  EXPECT_FALSE(down(VK_PROCESSKEY));
  EXPECT_EQ("ann@a.example" "bcxDe", Text(field));
  EXPECT_EQ(Text(field), Text(host));

  // Whatever the code did, no key stays down for the tests after this one.
  send({{'B', true}, {'C', true}, {'D', true}, {VK_CONTROL, true}, {VK_SHIFT, true},
        {VK_PROCESSKEY, true}});
}

TEST_F(ComposeTest, ReplyShowsInTheFieldAndResizingFollowsTheWindow) {
  HWND w = Open(nullptr);
  HWND host = HostRecipientField(w);
  HWND field = Field(w);
  ASSERT_NE(nullptr, field);

  HostReply(w, "x@x.example,y@y.example");
  Pump(30);
  EXPECT_EQ("x@x.example,y@y.example", Text(field));
  EXPECT_EQ("x@x.example,y@y.example", Text(host));
  EXPECT_EQ(0, GetHostComposeStats(w).recipientChanges);

  // The sizes the hook took at opening; the host's own layout has not moved
  // its field since.
  const RECT hostAtOpen = WindowRect(host);
  const RECT composeAtOpen = WindowRect(w);
  const int sizesBefore = GetHostComposeStats(w).sizeMessages;
  for (SIZE size : {SIZE{760, 480}, SIZE{520, 300}, SIZE{120, 200}}) {
    ::SetWindowPos(w, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    Pump(30);
    RECT client = {0, 0, 0, 0};
    ::GetClientRect(w, &client);
    int expected = (hostAtOpen.right - hostAtOpen.left) + 7 +
                   (client.right - (composeAtOpen.right - composeAtOpen.left));
    if (expected < 0) expected = 0;
    RECT r = RectInParent(field);
    EXPECT_EQ(60, r.left) << size.cx;
    EXPECT_EQ(4, r.top) << size.cx;
    EXPECT_EQ(expected, r.right - r.left) << "window width " << size.cx;
    EXPECT_EQ(hostAtOpen.bottom - hostAtOpen.top, r.bottom - r.top) << size.cx;
  }
  // The host saw every WM_SIZE too.
  EXPECT_EQ(sizesBefore + 3, GetHostComposeStats(w).sizeMessages);

  // Minimised, the window reports a zero size: the field shrinks to nothing
  // rather than to a negative width, and comes back with the window.
  ::SendMessageA(w, WM_SIZE, SIZE_MINIMIZED, 0);
  RECT r = RectInParent(field);
  EXPECT_EQ(0, r.right - r.left);
  RECT client = {0, 0, 0, 0};
  ::GetClientRect(w, &client);
  ::SendMessageA(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  r = RectInParent(field);
  EXPECT_EQ((hostAtOpen.right - hostAtOpen.left) + 7 +
                (client.right - (composeAtOpen.right - composeAtOpen.left)),
            r.right - r.left);
}

TEST_F(ComposeTest, TwoWindowsThenOutgoingRestoresEach) {
  HWND a = Open("a@a.example");
  HWND b = Open("b@b.example");
  ASSERT_EQ(2u, ComposeSlots.size());
  EXPECT_EQ(a, ComposeSlots[0].composeWnd);
  EXPECT_EQ(b, ComposeSlots[1].composeWnd);
  HWND fieldA = Field(a), listA = List(a);
  HWND fieldB = Field(b);

  // The host sends the first; the slot goes, the second stays.
  EXPECT_EQ("a@a.example", HostSendMail(a));
  EXPECT_FALSE(::IsWindow(fieldA));
  EXPECT_FALSE(::IsWindow(listA));
  ASSERT_EQ(1u, ComposeSlots.size());
  EXPECT_EQ(b, ComposeSlots[0].composeWnd);
  EXPECT_EQ(fieldB, Field(b));

  // The second still completes and mirrors.
  ::SetForegroundWindow(b);
  ::SetFocus(fieldB);
  ::SendMessageA(fieldB, EM_SETSEL, 0, -1);
  Pump(30);
  Type("br");
  EXPECT_EQ("br", Text(fieldB));
  EXPECT_EQ("br", Text(HostRecipientField(b)));
  EXPECT_TRUE(Visible(List(b)));
  SendKey(VK_DOWN);
  EXPECT_EQ(Matches(kAddresses, "br").at(0), Text(fieldB));
  EXPECT_EQ(Text(fieldB), Text(HostRecipientField(b)));

  // Outgoing alone: the host's procedure is back, the field and its list
  // are gone, the host's field works as before (its changes reach the host).
  HWND listB = List(b);
  EXPECT_EQ(0, Outgoing(b));
  EXPECT_EQ(HostComposeProc(), CurrentProc(b));
  EXPECT_TRUE(ComposeSlots.empty());
  EXPECT_FALSE(::IsWindow(fieldB));
  EXPECT_FALSE(::IsWindow(listB));
  const int before = GetHostComposeStats(b).recipientChanges;
  HostReply(b, "c@c.example");
  EXPECT_EQ(before + 1, GetHostComposeStats(b).recipientChanges);

  // Outgoing without a slot changes nothing.
  EXPECT_EQ(0, Outgoing(b));
  EXPECT_EQ(0, Outgoing(nullptr));
  EXPECT_EQ(HostComposeProc(), CurrentProc(b));
}

// Unloading with windows open: each gets its host field back, shown, with
// what the user had in ours (even where the two fell out of step) and the
// focus where ours had it.
TEST_F(ComposeTest, ShutDownGivesEveryWindowItsHostFieldBack) {
  HWND a = Open("a@a.example");
  HWND b = Open("b@b.example");
  HWND fieldA = Field(a), fieldB = Field(b);
  ::SetWindowTextA(fieldA, "a@a.example,new@n.example");
  WriteHostField(HostRecipientField(b), "stale");
  ::SetForegroundWindow(b);
  ::SetFocus(fieldB);
  Pump(30);
  UnhookAllComposeWindows();
  EXPECT_TRUE(ComposeSlots.empty());
  EXPECT_EQ(HostComposeProc(), CurrentProc(a));
  EXPECT_EQ(HostComposeProc(), CurrentProc(b));
  EXPECT_FALSE(::IsWindow(fieldA));
  EXPECT_FALSE(::IsWindow(fieldB));
  EXPECT_TRUE(::IsWindowVisible(HostRecipientField(a)));
  EXPECT_TRUE(::IsWindowVisible(HostRecipientField(b)));
  EXPECT_EQ(HostRecipientField(b), ::GetFocus());
  EXPECT_EQ("a@a.example,new@n.example", HostSendMail(a));
  EXPECT_EQ("b@b.example", HostSendMail(b));
}

namespace {
// Another plug-in's subclass of a compose window: counts what reaches it
// and, when it leaves, puts back the procedure it found, as plug-ins do.
struct OtherPlugin {
  static WNDPROC prev;
  static int messages;
  static bool sawNcDestroy;
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    ++messages;
    if (msg == WM_NCDESTROY) sawNcDestroy = true;
    return ::CallWindowProcA(prev, hwnd, msg, wp, lp);
  }
};
WNDPROC OtherPlugin::prev = nullptr;
int OtherPlugin::messages = 0;
bool OtherPlugin::sawNcDestroy = false;
}  // namespace

// Hooking and unhooking in every order with another subclass around: after
// each step the host's own procedure still gets every message, the other
// plug-in gets them while it is hooked, and at the end the host's procedure
// is back in place. A window closed without sending takes both along, the
// other plug-in seeing its WM_NCDESTROY.
TEST_F(ComposeTest, AnotherSubclassKeepsTheChainWholeInEveryOrder) {
  // W/w: our hook in / out (OpenCompose / Outgoing); T/t: theirs; c: close.
  // A window left whole serves the next order (each costs seconds to close).
  HWND w = nullptr;
  for (const char* order : {"WTwt", "WTtw", "TWwt", "WTc", "TWc"}) {
    SCOPED_TRACE(order);
    if (!::IsWindow(w)) {
      PluginCallbacks callbacks = Plugin();
      callbacks.onOpenCompose = nullptr;
      w = OpenHostComposeWindow(callbacks, "a@a.example");
      opened_.push_back(w);
    }
    OtherPlugin::messages = 0;
    OtherPlugin::sawNcDestroy = false;
    bool ours = false, theirs = false;
    for (const char* step = order; *step; ++step) {
      switch (*step) {
        case 'W': OpenCompose(w); ours = true; break;
        case 'w': Outgoing(w); ours = false; break;
        case 'T':
          OtherPlugin::prev = reinterpret_cast<WNDPROC>(
              ::SetWindowLongA(w, GWL_WNDPROC, reinterpret_cast<LONG>(&OtherPlugin::Proc)));
          theirs = true;
          break;
        case 't':
          ::SetWindowLongA(w, GWL_WNDPROC, reinterpret_cast<LONG>(OtherPlugin::prev));
          theirs = false;
          break;
        case 'c': ::DestroyWindow(w); break;
      }
      if (*step == 'c') break;
      const int hostSizes = GetHostComposeStats(w).sizeMessages;
      const int theirMessages = OtherPlugin::messages;
      ::SendMessageA(w, WM_SIZE, 0, MAKELPARAM(500, 300));
      EXPECT_EQ(hostSizes + 1, GetHostComposeStats(w).sizeMessages) << "after " << *step;
      EXPECT_EQ(theirs, OtherPlugin::messages > theirMessages) << "after " << *step;
      EXPECT_EQ(ours, FindComposeSlot(w) != nullptr) << "after " << *step;
    }
    if (::IsWindow(w)) {
      EXPECT_EQ(HostComposeProc(), CurrentProc(w));
      EXPECT_EQ("a@a.example", Text(HostRecipientField(w)));
    } else {
      EXPECT_TRUE(OtherPlugin::sawNcDestroy);
    }
    EXPECT_TRUE(ComposeSlots.empty());
  }
}

TEST_F(ComposeTest, ClosedWithoutOutgoingLeavesNoSlot) {
  HWND a = Open("a@a.example");
  HWND b = Open("b@b.example");
  HWND fieldA = Field(a), listA = List(a);
  ::DestroyWindow(a);
  EXPECT_FALSE(::IsWindow(fieldA));
  EXPECT_FALSE(::IsWindow(listA));
  ASSERT_EQ(1u, ComposeSlots.size());
  EXPECT_EQ(b, ComposeSlots[0].composeWnd);
  EXPECT_EQ(0, KeyDispatch(a, 'A'));
  EXPECT_EQ(0, Outgoing(a));

  // The host closes the window from inside the field's own change report:
  // nothing may touch the slot, the field or the host field afterwards.
  HWND container = HostAddressContainer(b);
  HWND fieldB = Field(b), listB = List(b);
  g_containerProc = reinterpret_cast<WNDPROC>(::SetWindowLongA(
      container, GWL_WNDPROC, reinterpret_cast<LONG>(&ClosingContainerProc)));
  g_closeOnNotify = b;
  ::SetForegroundWindow(b);
  ::SetFocus(fieldB);
  Pump(30);
  Type("b");
  EXPECT_FALSE(::IsWindow(b));
  EXPECT_FALSE(::IsWindow(fieldB));
  EXPECT_FALSE(::IsWindow(listB));
  EXPECT_TRUE(ComposeSlots.empty());
}

TEST_F(ComposeTest, OtherLayoutsAreNotHooked) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ::DefWindowProcA;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "VantrelTestOtherLayout";
  ::RegisterClassA(&wc);

  auto make = [&](int children, int inFourth) {
    HWND top = ::CreateWindowExA(0, wc.lpszClassName, "other", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                 nullptr, nullptr, wc.hInstance, nullptr);
    opened_.push_back(top);
    HWND fourth = nullptr;
    for (int i = 0; i < children; ++i) {
      HWND c = ::CreateWindowExA(0, wc.lpszClassName, nullptr, WS_CHILD | WS_VISIBLE, 0, i * 20,
                                 200, 20, top, nullptr, wc.hInstance, nullptr);
      if (i == 3) fourth = c;
    }
    for (int i = 0; fourth && i < inFourth; ++i)
      ::CreateWindowExA(0, "Edit", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, fourth, nullptr,
                        wc.hInstance, nullptr);
    return top;
  };

  // No container (three children), and a container with one child only.
  for (HWND w : {make(3, 0), make(4, 1), make(0, 0)}) {
    WNDPROC before = CurrentProc(w);
    EXPECT_EQ(0, OpenCompose(w));
    EXPECT_TRUE(ComposeSlots.empty());
    EXPECT_EQ(before, CurrentProc(w));
    EXPECT_EQ(0, KeyDispatch(w, 'A'));
    EXPECT_EQ(0, Outgoing(w));
  }
  EXPECT_EQ(0, OpenCompose(nullptr));

  // A message for a window that has no slot is handled by default.
  HWND plain = opened_.back();
  ::CallWindowProcA(&ComposeWndProc, plain, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("renamed"));
  EXPECT_EQ("renamed", Text(plain));
}

TEST_F(ComposeTest, TenKilobytesOfRecipientsBothWays) {
  auto many = [](const char* domain) {
    std::string s;
    for (int i = 0; s.size() < 10 * 1024; ++i)
      s += (i ? "," : "") + std::string("user") + std::to_string(i) + "@" + domain;
    return s;
  };
  const std::string opening = many("first.example");
  const std::string reply = many("reply.example");
  ASSERT_GT(opening.size(), 10000u);

  HWND w = Open(opening.c_str());
  HWND field = Field(w);
  ASSERT_NE(nullptr, field);
  EXPECT_EQ(opening.size(), Text(field).size());
  EXPECT_EQ(opening, Text(field));

  HostReply(w, reply.c_str());
  Pump(30);
  EXPECT_EQ(reply.size(), Text(field).size());
  EXPECT_EQ(reply, Text(field));

  // Typed at the end: the whole text reaches the host field.
  ::SetFocus(field);
  ::SendMessageA(field, EM_SETSEL, reply.size(), reply.size());
  Pump(30);
  Type(",z");
  const std::string typed = reply + ",z";
  EXPECT_EQ(typed.size(), Text(HostRecipientField(w)).size());
  EXPECT_EQ(typed, Text(field));
  EXPECT_EQ(typed, Text(HostRecipientField(w)));
  EXPECT_EQ(typed, HostSendMail(w));
}

// The name mode through the hook: a compose window opened while it is on
// gets the name index; typing a name after ", " takes the address, the
// blank kept, and the hidden host field holds exactly that.
TEST_F(ComposeTest, NameModeFieldTakesTheAddressForANameAfterTheSeparator) {
  AddressList.SetMatchNames(true);
  const struct {
    const char* address;
    const char* display;
    const char16_t* name;
  } cards[] = {{"x7@east.example", "Ann Lee", u"Ann Lee"},
               {"bob@east.example", "Bob Stone", u"Bob Stone"}};
  std::vector<std::string> items;
  NameIndexBuilder rows;
  for (const auto& card : cards) {
    items.push_back(card.address);
    NamedAddress row;
    row.address = card.address;
    row.display_name = card.display;
    row.names.push_back(card.name);
    rows.Add(row, UpperAnsi(row.address));
  }
  AddressList.Replace(std::move(items), rows.Build());
  HWND w = Open(nullptr);
  AddressList.SetMatchNames(false);  // for the tests after this one
  HWND field = Field(w);
  ASSERT_NE(nullptr, field);
  ASSERT_TRUE(FindComposeSlot(w)->edit->list().NameMode());
  ::SetFocus(field);
  Pump(30);
  ::SetWindowTextA(field, "bob@east.example");
  ::SendMessageA(field, EM_SETSEL, 16, 16);
  Type(", lee");
  HWND list = List(w);
  ASSERT_TRUE(Visible(list)) << Text(field);
  SendKey(VK_DOWN);
  EXPECT_EQ("bob@east.example, x7@east.example", Text(field));
  EXPECT_EQ("bob@east.example, x7@east.example", Text(HostRecipientField(w)));
  EXPECT_EQ(std::make_pair(DWORD{18}, DWORD{33}), Selection(field)) << "the address, selected";
}
