// The completion field and its pop-up list with real windows under Wine:
// typing through SendInput, clicks through the real mouse path, the timer,
// the size grip and the painted pixels read back from the screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "complete/completion_edit.h"
#include "complete/name_index.h"
#include "platform/ansi.h"
#include "screenshot.h"

using namespace vantrel;

namespace {

// What the compose window does for its field: hand the field's own
// notifications back to it, and (here) record what the field reports.
struct Notice {
  WPARAM wparam;
  LPARAM lparam;
  bool list_visible;
  int selected;
  std::string text;
};
std::vector<Notice> g_notices;
CCompletionEdit* g_field = nullptr;
bool g_delete_on_taken = false;

LRESULT CALLBACK ComposeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && g_field && reinterpret_cast<HWND>(lp) == g_field->hwnd()) {
    ::SendMessageA(g_field->hwnd(), WM_COMMAND, wp, lp);
    return 0;
  }
  if (msg == WM_COMPLETION_NOTIFY) {
    Notice n = {wp, lp, false, -2, std::string()};
    if (g_field) {
      n.list_visible = ::IsWindowVisible(g_field->list().hwnd()) != FALSE;
      n.selected = g_field->list().selectedIndex();
      char buf[256] = {};
      ::GetWindowTextA(g_field->hwnd(), buf, sizeof buf);
      n.text = buf;
    }
    g_notices.push_back(n);
    if (wp == kNotifyTaken && g_delete_on_taken && g_field) {
      CCompletionEdit* doomed = g_field;
      g_field = nullptr;
      delete doomed;
    }
    return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

void Pump(DWORD ms) {
  DWORD end = ::GetTickCount() + ms;
  do {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::Sleep(5);
  } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

template <typename Pred>
bool PumpUntil(Pred pred, DWORD ms = 2000) {
  DWORD end = ::GetTickCount() + ms;
  while (!pred()) {
    if (static_cast<LONG>(end - ::GetTickCount()) <= 0) return false;
    Pump(10);
  }
  return true;
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

void Click(POINT screen, bool right = false) {
  ::SetCursorPos(screen.x, screen.y);
  Pump(30);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  ::SendInput(2, in, sizeof(INPUT));
}

std::string Text(HWND hwnd) {
  char buf[512] = {};
  ::GetWindowTextA(hwnd, buf, sizeof buf);
  return buf;
}

RECT WindowRect(HWND hwnd) {
  RECT r = {0, 0, 0, 0};
  ::GetWindowRect(hwnd, &r);
  return r;
}

struct Capture {
  int w = 0, h = 0;
  std::vector<COLORREF> px;
  COLORREF at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

// Reads the pop-up's pixels back from the screen.
Capture Grab(HWND hwnd) {
  RECT r;
  ::GetWindowRect(hwnd, &r);
  Capture c;
  c.w = r.right - r.left;
  c.h = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC mem = ::CreateCompatibleDC(screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = c.w;
  bi.bmiHeader.biHeight = -c.h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(mem, bmp);
  ::BitBlt(mem, 0, 0, c.w, c.h, screen, r.left, r.top, SRCCOPY);
  ::GdiFlush();
  const DWORD* p = static_cast<const DWORD*>(bits);
  for (int i = 0; i < c.w * c.h; ++i) {
    DWORD v = p[i];  // 0x00RRGGBB
    c.px.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
  }
  ::SelectObject(mem, old);
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
  return c;
}

// Counts the pixels of one row band (window coordinates) in each colour.
struct Band {
  int highlight = 0, window = 0, other = 0;
};
Band Row(const Capture& c, int top, int height, int right) {
  Band b;
  for (int y = top; y < top + height && y < c.h; ++y)
    for (int x = 1; x < right; ++x) {
      COLORREF v = c.at(x, y);
      if (v == ::GetSysColor(COLOR_HIGHLIGHT)) ++b.highlight;
      else if (v == ::GetSysColor(COLOR_WINDOW)) ++b.window;
      else ++b.other;
    }
  return b;
}

// Pixels that differ between two captures of the same window.
int Differences(const Capture& a, const Capture& b) {
  if (a.w != b.w || a.h != b.h) return -1;
  int n = 0;
  for (size_t i = 0; i < a.px.size(); ++i) n += a.px[i] != b.px[i];
  return n;
}

// A compose-like top-level window holding one completion field, set up the
// way the compose hook sets it up.
class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ComposeProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "VantrelTestCompose";
    ::RegisterClassA(&wc);
    parent_ = ::CreateWindowExA(0, "VantrelTestCompose", "compose", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                100, 100, 420, 300, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, parent_);
    field_ = new CCompletionEdit;
    g_field = field_;
    g_notices.clear();
    g_delete_on_taken = false;
    ASSERT_NE(nullptr, field_->CreateSubclassed(WS_EX_CLIENTEDGE, "Edit", nullptr,
                                                WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 60, 4, 300,
                                                24, parent_, 0));
    field_->Init();
    field_->SetSeparator(",");
    field_->SetMode(CCompletionEdit::CM_SEPARATED);
    ::SetForegroundWindow(parent_);
    ::SetFocus(field_->hwnd());
    Pump(100);
  }
  void TearDown() override {
    delete g_field;
    g_field = nullptr;
    ::DestroyWindow(parent_);
    Pump(20);
  }
  void Add(const std::vector<std::string>& entries) {
    for (const auto& e : entries) field_->AddSearchString(e);
  }
  HWND list() { return field_->list().hwnd(); }
  bool ListShown() { return ::IsWindowVisible(list()) != FALSE; }
  // The screen point in the middle of a row of the pop-up.
  POINT RowPoint(int row) {
    POINT pt = {40, row * field_->list().rowHeight() + field_->list().rowHeight() / 2};
    ::ClientToScreen(list(), &pt);
    return pt;
  }
  // What the user sees of a showing pop-up and what its scroll bar holds,
  // against the rules rather than against the code: the field's width and
  // up to 8 rows, or the user's grip size (unless the screen had no room for
  // that height); the page is the whole rows of the window's height, the bar
  // holds range 0..n-1, that page (the bar keeps it within the range) and
  // topIndex, shows when a page cannot hold every row and runs down the
  // right edge above the grip square; the rows with entries are drawn, and
  // what is on the screen is exactly what a full repaint of the pop-up and
  // its bar draws.
  void ExpectShownState(const char* where, bool room_for_height = true) {
    SCOPED_TRACE(where);
    ASSERT_TRUE(ListShown());
    const CSuggestList& l = field_->list();
    const int n = l.itemCount(), row = l.rowHeight();
    RECT wr = WindowRect(list()), cr = {0, 0, 0, 0};
    ::GetClientRect(list(), &cr);
    RECT user = l.userRect(), f = WindowRect(field_->hwnd());
    const bool dragged = !::IsRectEmpty(&user);
    EXPECT_EQ(dragged ? user.right - user.left : f.right - f.left, wr.right - wr.left);
    if (room_for_height) {
      EXPECT_EQ(dragged ? user.bottom - user.top
                        : std::min(n, 8) * row + 2 * ::GetSystemMetrics(SM_CYBORDER),
                wr.bottom - wr.top);
    }
    const int page = (wr.bottom - wr.top) / row;
    EXPECT_EQ(page, l.pageRows());
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(::GetScrollInfo(l.scrollBar(), SB_CTL, &si));
    EXPECT_EQ(0, si.nMin);
    EXPECT_EQ(n - 1, si.nMax);
    EXPECT_EQ(static_cast<UINT>(std::min(page, n)), si.nPage);
    EXPECT_EQ(l.topIndex(), si.nPos);
    EXPECT_LE(l.topIndex(), std::max(n - page, 0));
    EXPECT_EQ(page <= n - 1, ::IsWindowVisible(l.scrollBar()) != FALSE);
    RECT sb = WindowRect(l.scrollBar());
    ::MapWindowPoints(nullptr, list(), reinterpret_cast<POINT*>(&sb), 2);
    const int cyv = ::GetSystemMetrics(SM_CYVSCROLL), cyh = ::GetSystemMetrics(SM_CYHSCROLL);
    EXPECT_EQ(cr.right - cyv, sb.left);
    EXPECT_EQ(-1, sb.top);
    EXPECT_EQ(cr.right, sb.right);
    EXPECT_EQ(std::max<LONG>(cr.bottom - cyh, -1), sb.bottom) << "no negative height";

    ::UpdateWindow(list());
    Pump(30);
    Capture shown = Grab(list());
    const int by = ::GetSystemMetrics(SM_CYBORDER);
    const int drawn = std::min(n - l.topIndex(), page);
    for (int i = 0; i < page && by + (i + 1) * row <= shown.h - by; ++i) {
      Band b = Row(shown, by + i * row, row, shown.w / 2);
      if (i < drawn) EXPECT_GT(b.other, 10) << "text in row " << i;
      else EXPECT_EQ(0, b.other) << "nothing in row " << i << " below the last entry";
    }
    ::RedrawWindow(list(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(30);
    EXPECT_EQ(0, Differences(shown, Grab(list()))) << "pixels a full repaint changes";
  }
  // Drags the pop-up's size grip with the real mouse by (dx, dy); (0, 0)
  // presses and releases it without moving.
  void DragGrip(int dx, int dy) {
    RECT r = WindowRect(list());
    POINT grip = {r.right - 3, r.bottom - 3};
    ::SetCursorPos(grip.x, grip.y);
    Pump(30);
    // The system's sizing loop runs inside the dispatch of the button-down
    // and waits for the rest of the drag, so the hand on the mouse is
    // another thread, as the user's is: it presses, moves twice and
    // releases, with pauses, while this thread sits in the loop. SendInput
    // needs no window of its own, and the thread is joined before the test
    // goes on.
    std::thread hand([grip, dx, dy] {
      auto send = [](DWORD flags, int x, int y) {
        INPUT in = {};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flags;
        in.mi.dx = x * 65536 / ::GetSystemMetrics(SM_CXSCREEN) + 1;
        in.mi.dy = y * 65536 / ::GetSystemMetrics(SM_CYSCREEN) + 1;
        ::SendInput(1, &in, sizeof(INPUT));
        ::Sleep(150);
      };
      send(MOUSEEVENTF_LEFTDOWN, 0, 0);
      if (dx || dy) {
        send(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, grip.x + dx / 2, grip.y + dy / 2);
        send(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, grip.x + dx, grip.y + dy);
      }
      send(MOUSEEVENTF_LEFTUP, 0, 0);
    });
    Pump(1000);
    hand.join();
    Pump(100);
  }
  DWORD Selection() {
    DWORD s = 0, e = 0;
    ::SendMessageA(field_->hwnd(), EM_GETSEL, reinterpret_cast<WPARAM>(&s),
                   reinterpret_cast<LPARAM>(&e));
    return MAKELONG(s, e);
  }

  HWND parent_ = nullptr;
  CCompletionEdit* field_ = nullptr;
};

BOOL CALLBACK CountLists(HWND hwnd, LPARAM lp) {
  char cls[64] = {};
  ::GetClassNameA(hwnd, cls, sizeof cls);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (pid == ::GetCurrentProcessId() && lstrcmpA(cls, CCompletionEdit::kListClassName) == 0)
    ++*reinterpret_cast<int*>(lp);
  return TRUE;
}

}  // namespace

TEST_F(FieldTest, InitCreatesOneHiddenListOfThePrivateClass) {
  ASSERT_NE(nullptr, list());
  EXPECT_EQ(1, field_->controlType());
  EXPECT_EQ(2, field_->mode());
  EXPECT_EQ(0x0843u, static_cast<unsigned>(::GetClassLongA(list(), GCL_STYLE)));
  EXPECT_EQ(static_cast<DWORD>(COLOR_MENU + 1), ::GetClassLongA(list(), GCL_HBRBACKGROUND));
  EXPECT_EQ(0u, ::GetClassLongA(list(), GCL_HCURSOR));
  EXPECT_EQ(0x44840000u, static_cast<unsigned>(::GetWindowLongA(list(), GWL_STYLE)) & 0xFFFF0000u);
  EXPECT_TRUE(::GetWindowLongA(list(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_EQ(1000, ::GetDlgCtrlID(list()));
  EXPECT_FALSE(ListShown());

  // The row height is that of "Hg" in the default GUI font.
  HDC dc = ::GetDC(list());
  HGDIOBJ old = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  SIZE size = {};
  ::GetTextExtentPoint32A(dc, "Hg", 2, &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(list(), dc);
  EXPECT_EQ(size.cy, field_->list().rowHeight());

  int count = 0;
  ::EnumWindows(CountLists, reinterpret_cast<LPARAM>(&count));
  HWND first = list();
  field_->Init();
  field_->SetMode(2);
  int again = 0;
  ::EnumWindows(CountLists, reinterpret_cast<LPARAM>(&again));
  EXPECT_EQ(first, list());
  EXPECT_EQ(count, again) << "a second Init must not create another list window";

  // A field without a window is not attached and ignores its search list.
  CCompletionEdit loose;
  loose.AddSearchString("x");
  loose.SetMode(2);
  EXPECT_EQ(-1, loose.controlType());
  EXPECT_EQ(0u, loose.list().SearchCount());
}

TEST_F(FieldTest, TypingShowsSortedMatchesUnderTheField) {
  Add({"Bob", "alice", "Alfred", "carol"});
  Type("al");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); })) << "text: " << Text(field_->hwnd());
  EXPECT_EQ("al", Text(field_->hwnd()));
  EXPECT_EQ(field_->hwnd(), ::GetFocus()) << "the pop-up must not take the focus";
  ASSERT_EQ(2u, field_->list().MatchCount());
  EXPECT_EQ("Alfred", field_->list().MatchAt(0));
  EXPECT_EQ("alice", field_->list().MatchAt(1));

  RECT f = WindowRect(field_->hwnd()), l = WindowRect(list());
  EXPECT_EQ(f.left, l.left);
  EXPECT_EQ(f.bottom, l.top);
  EXPECT_EQ(f.right - f.left, l.right - l.left);
  EXPECT_EQ(2 * field_->list().rowHeight() + 2 * ::GetSystemMetrics(SM_CYBORDER), l.bottom - l.top);
  EXPECT_FALSE(::IsWindowVisible(field_->list().scrollBar()));
  ExpectShownState("two matches");

  // Every change was reported to the parent with the field's identifier.
  int changes = 0;
  for (const Notice& n : g_notices)
    if (n.wparam == kNotifyChanged && n.lparam == 0) ++changes;
  EXPECT_EQ(2, changes);

  Type("x");  // "alx" matches nothing
  EXPECT_TRUE(PumpUntil([&] { return !ListShown(); }));
  EXPECT_EQ(0, field_->list().itemCount());
}

namespace {
// A byte position of the field's text in the control's own unit: an ANSI
// edit control on Windows counts bytes, Wine's counts characters (it keeps
// UTF-16, one unit per character of these code pages).
DWORD Units(HWND edit, const std::string& text_before) {
  if (static_cast<size_t>(::SendMessageA(edit, EM_LINELENGTH, 0, 0)) == Text(edit).size())
    return static_cast<DWORD>(text_before.size());
  return static_cast<DWORD>(::MultiByteToWideChar(
      CP_ACP, 0, text_before.data(), static_cast<int>(text_before.size()), nullptr, 0));
}

std::vector<std::string> Matches(const CSuggestList& list) {
  std::vector<std::string> out;
  for (size_t i = 0; i < list.MatchCount(); ++i) out.push_back(list.MatchAt(i));
  return out;
}
}  // namespace

// Letters of the code page fold for matching, a double-byte character only
// as a whole (its second byte may be an ASCII letter), and the matches sort
// by their bytes with only A-Z folded. Each row holds in one code page.
TEST_F(FieldTest, CodePageLettersMatchAndSortByBytes) {
  const struct {
    unsigned code_page;
    std::vector<std::string> entries;
    const char* token;
    std::vector<std::string> matches;
  } rows[] = {
      // e-acute: 0xC9 sorts before 0xE9.
      {1252, {"\xE9lise", "eve", "\xC9mile"}, "\xE9", {"\xC9mile", "\xE9lise"}},
      // Trail bytes that are ASCII letters stand alone in code page 1252.
      {1252, {"\x81\x61z@x", "\x81\x41y@x"}, "\x81\x41", {"\x81\x41y@x", "\x81\x61z@x"}},
      // 张: after it 'a', 'B' (as 'b'), 三 (C8 FD), 伟 (CE B0); not 李, nor
      // a character with the same first byte.
      {936,
       {"\xD5\xC5\xCE\xB0@x", "\xC0\xEE\xCB\xC4@x", "\xD5\xC5" "B@x", "\xD5\xC6@x",
        "\xD5\xC5\xC8\xFD@x", "\xD5\xC5" "a@x", "zhang@x"},
       "\xD5\xC5",
       {"\xD5\xC5" "a@x", "\xD5\xC5" "B@x", "\xD5\xC5\xC8\xFD@x", "\xD5\xC5\xCE\xB0@x"}},
      {936, {"\x81\x61z@x", "\x81\x41y@x", "\x81\x41Z@x"}, "\x81\x41",
       {"\x81\x41y@x", "\x81\x41Z@x"}},
      // Full-width A matches full-width a.
      {936, {"\xA3\xE1\xA3\xE2@x", "\xA3\xE3@x", "\xA3\xC1z@x"}, "\xA3\xC1",
       {"\xA3\xC1z@x", "\xA3\xE1\xA3\xE2@x"}},
      // あ: after it 'A' (as 'a'), 'b', い (82 A2), 山 (8E 52).
      {932,
       {"\x82\xA0\x8E\x52@x", "\x82\xA2@x", "\x82\xA0" "b@x", "\x82\xA1@x", "\x82\xA0\x82\xA2@x",
        "\x82\xA0" "A@x"},
       "\x82\xA0",
       {"\x82\xA0" "A@x", "\x82\xA0" "b@x", "\x82\xA0\x82\xA2@x", "\x82\xA0\x8E\x52@x"}},
      {932, {"\x81\x61z@x", "\x81\x41y@x", "\x81\x41Z@x"}, "\x81\x41",
       {"\x81\x41y@x", "\x81\x41Z@x"}},
      {932, {"\x82\x81\x82\x82@x", "\x82\x83@x", "\x82\x60z@x"}, "\x82\x60",
       {"\x82\x60z@x", "\x82\x81\x82\x82@x"}},
  };
  int ran = 0;
  for (const auto& row : rows) {
    if (row.code_page != ::GetACP()) continue;
    ++ran;
    // Entries added one by one (each upper-cased whole), then as a shared
    // index (folded through the code-page table, as the compose hook gives
    // them).
    for (bool shared : {false, true}) {
      field_->RemoveSearchAll();
      if (shared) field_->SetSearchList(BuildSearchIndex(row.entries));
      else Add(row.entries);
      // Set as the host sets a reply's recipients: the change handling runs
      // as for typing, and the token is the whole first one.
      ::SetWindowTextA(field_->hwnd(), row.token);
      EXPECT_EQ(row.matches, Matches(field_->list()))
          << "token " << ::testing::PrintToString(row.token) << (shared ? ", shared index" : "");
      EXPECT_TRUE(ListShown());
    }
  }
  EXPECT_GT(ran, 0) << "no rows for code page " << ::GetACP();
}

// The caret and the selection in a field that holds double-byte characters:
// the token is cut at the caret whatever unit the control counts in, and a
// taken entry is selected exactly, with wide-character recipients on both
// sides.
TEST_F(FieldTest, TypingAfterWideCharactersCompletesTheTokenAtTheCaret) {
  const char* wide = ::GetACP() == 936 ? "\xD5\xC5" : ::GetACP() == 932 ? "\x82\xA0" : "\xE9";
  Add({"lisa@x", "Bob", "lin@y", "lu@z", "amy"});
  for (int n = 1; n <= 5; ++n) {
    std::string before;
    for (int i = 0; i < n; ++i) before += wide;
    before += ",";
    const std::string after = std::string(",") + wide + wide;
    ::SetWindowTextA(field_->hwnd(), (before + after).c_str());
    const DWORD at = Units(field_->hwnd(), before);
    ::SendMessageA(field_->hwnd(), EM_SETSEL, at, at);
    Type("l");
    ASSERT_TRUE(PumpUntil([&] { return ListShown(); })) << n << " wide: " << Text(field_->hwnd());
    EXPECT_EQ(std::vector<std::string>({"lin@y", "lisa@x", "lu@z"}), Matches(field_->list())) << n;
    Type("i");
    EXPECT_EQ(before + "li" + after, Text(field_->hwnd())) << n;
    ASSERT_EQ(std::vector<std::string>({"lin@y", "lisa@x"}), Matches(field_->list())) << n;

    SendKey(VK_DOWN);
    EXPECT_EQ(before + "lin@y" + after, Text(field_->hwnd())) << n;
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(at, Units(field_->hwnd(), before + "lin@y"))),
              Selection())
        << n << " wide: the inserted entry is selected";
    SendKey(VK_DOWN);  // the same token again, now the next entry
    EXPECT_EQ(before + "lisa@x" + after, Text(field_->hwnd())) << n;
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(at, Units(field_->hwnd(), before + "lisa@x"))),
              Selection())
        << n;
    SendKey(VK_ESCAPE);
  }
}

TEST_F(FieldTest, ScrollBarShowsFromNineMatches) {
  std::vector<std::string> many;
  for (int i = 0; i < 20; ++i) many.push_back("m" + std::to_string(100 + i));
  Add(many);
  Add({"n1", "n2", "n3", "n4", "n5", "n6", "n7", "n8", "o1", "o2", "o3", "o4", "o5", "o6", "o7",
       "o8", "o9"});
  const int row = field_->list().rowHeight(), border = 2 * ::GetSystemMetrics(SM_CYBORDER);

  Type("n");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  RECT l = WindowRect(list());
  EXPECT_EQ(8 * row + border, l.bottom - l.top);
  EXPECT_FALSE(::IsWindowVisible(field_->list().scrollBar())) << "8 matches fit";
  ExpectShownState("n: 8 matches");

  SendKey(VK_BACK);
  Type("o");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  l = WindowRect(list());
  EXPECT_EQ(9, field_->list().itemCount());
  EXPECT_EQ(8 * row + border, l.bottom - l.top);
  EXPECT_TRUE(::IsWindowVisible(field_->list().scrollBar())) << "9 matches need it";
  ExpectShownState("o: 9 matches");

  // While it shows, the pop-up shrinks to one row, and later the thumb
  // changes its size: 20, 10, another 10 and 20 rows.
  Type("9");
  ASSERT_TRUE(PumpUntil([&] { return ListShown() && field_->list().itemCount() == 1; }));
  ExpectShownState("o9: 1 match");
  SendKey(VK_BACK);
  SendKey(VK_BACK);
  Type("m");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  EXPECT_EQ(20, field_->list().itemCount());
  EXPECT_EQ(8, field_->list().pageRows());
  EXPECT_TRUE(::IsWindowVisible(field_->list().scrollBar()));
  ExpectShownState("m: 20 matches");
  Type("11");
  ASSERT_TRUE(PumpUntil([&] { return field_->list().itemCount() == 10; }));
  ExpectShownState("m11: 10 matches");
  SendKey(VK_BACK);
  Type("0");
  ASSERT_TRUE(PumpUntil([&] { return field_->list().itemCount() == 10; }));
  ExpectShownState("m10: 10 other matches, the same count");
  SendKey(VK_BACK);
  SendKey(VK_BACK);
  ASSERT_TRUE(PumpUntil([&] { return field_->list().itemCount() == 20; }));

  // The scroll bar's codes move the first row.
  HWND sb = field_->list().scrollBar();
  ::SendMessageA(list(), WM_VSCROLL, SB_PAGEDOWN, reinterpret_cast<LPARAM>(sb));
  EXPECT_EQ(8, field_->list().topIndex());
  ::SendMessageA(list(), WM_VSCROLL, SB_PAGEDOWN, reinterpret_cast<LPARAM>(sb));
  EXPECT_EQ(12, field_->list().topIndex());
  EXPECT_EQ(12, ::GetScrollPos(sb, SB_CTL));
  ExpectShownState("paged to the end");
  ::SendMessageA(list(), WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 7), reinterpret_cast<LPARAM>(sb));
  EXPECT_EQ(7, field_->list().topIndex());
  ::SendMessageA(list(), WM_VSCROLL, SB_LINEUP, reinterpret_cast<LPARAM>(sb));
  EXPECT_EQ(6, field_->list().topIndex());
  ExpectShownState("scrolled to 6");

  // Typing while scrolled: 20 matches become 10, and the first row moves up
  // to keep the last page full.
  Type("11");
  ASSERT_TRUE(PumpUntil([&] { return field_->list().itemCount() == 10; }));
  EXPECT_EQ(2, field_->list().topIndex());
  ExpectShownState("m11 while scrolled");
  SendKey(VK_BACK);
  SendKey(VK_BACK);
  ASSERT_TRUE(PumpUntil([&] { return field_->list().itemCount() == 20; }));

  // End jumps the selection to the last row and scrolls it into view
  // (animated: 20 rows), then Up from the top wraps.
  SendKey(VK_END);
  EXPECT_EQ(19, field_->list().selectedIndex());
  EXPECT_EQ(12, field_->list().topIndex());
  EXPECT_EQ("m119", Text(field_->hwnd()));
  ExpectShownState("End");
  SendKey(VK_HOME);
  EXPECT_EQ(0, field_->list().topIndex());
  SendKey(VK_UP);
  EXPECT_EQ(19, field_->list().selectedIndex());
  ExpectShownState("Up from the first row");
}

TEST_F(FieldTest, NavigationKeysReplaceTheTokenAndSelectTheEntry) {
  Add({"Bob", "alice", "Alfred", "carol", "BONNIE"});
  ::SetWindowTextA(field_->hwnd(), "ann,al,zed");
  ::SendMessageA(field_->hwnd(), EM_SETSEL, 6, 6);  // caret after "al"
  Type("i");  // "ann,ali|,zed": the token is "ali"
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); })) << Text(field_->hwnd());
  ASSERT_EQ(1u, field_->list().MatchCount());
  SendKey(VK_BACK);  // "ann,al|,zed"
  ASSERT_TRUE(PumpUntil([&] { return field_->list().MatchCount() == 2; }));

  g_notices.clear();
  SendKey(VK_DOWN);
  EXPECT_EQ("ann,Alfred,zed", Text(field_->hwnd()));
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(4, 10)), Selection()) << "the inserted entry is selected";
  EXPECT_TRUE(ListShown());
  bool taken = false;
  for (const Notice& n : g_notices) taken |= n.wparam == kNotifyTaken && n.lparam == 0;
  EXPECT_TRUE(taken);
  EXPECT_TRUE(::SendMessageA(field_->hwnd(), EM_GETMODIFY, 0, 0));

  SendKey(VK_DOWN);  // the same token, now "Alfred", gives way to the next
  EXPECT_EQ("ann,alice,zed", Text(field_->hwnd()));
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(4, 9)), Selection());
  SendKey(VK_DOWN);  // wraps
  EXPECT_EQ("ann,Alfred,zed", Text(field_->hwnd()));

  // Escape hides and is consumed; a navigation key then goes to the control.
  SendKey(VK_ESCAPE);
  EXPECT_FALSE(ListShown());
  SendKey(VK_HOME);
  EXPECT_EQ("ann,Alfred,zed", Text(field_->hwnd()));
  EXPECT_EQ(0u, Selection()) << "Home moved the caret to the start";
  EXPECT_FALSE(field_->HandleKey(VK_DOWN, false));
  EXPECT_TRUE(field_->HandleKey(VK_RETURN, true)) << "consumed even with the list hidden";
  EXPECT_FALSE(field_->HandleKey('A', false));
}

TEST_F(FieldTest, EmptyTokenOrBlankHidesTheList) {
  Add({"Bob", " bob"});
  Type("b");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  Type(",");
  EXPECT_TRUE(PumpUntil([&] { return !ListShown(); })) << "empty token after the separator";
  EXPECT_EQ(1, field_->list().itemCount()) << "a refused match leaves the rows alone";
  SendKey(VK_SPACE);
  Type("b");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); })) << "the blank belongs to the token";
  EXPECT_EQ(" bob", field_->list().MatchAt(0));
}

TEST_F(FieldTest, ClickTakesTheRowShowsItHighlightedThenHides) {
  Add({"Bob", "alice", "Alfred", "carol"});
  Type("al");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  g_notices.clear();
  Click(RowPoint(1));
  DWORD start = ::GetTickCount();
  ASSERT_TRUE(PumpUntil([&] { return !ListShown(); }, 3000));
  DWORD took = ::GetTickCount() - start;
  EXPECT_EQ("alice", Text(field_->hwnd()));
  const Notice* taken = nullptr;
  for (const Notice& n : g_notices)
    if (n.wparam == kNotifyTaken) taken = &n;
  ASSERT_NE(nullptr, taken);
  EXPECT_TRUE(taken->list_visible) << "the pop-up still shows while the field takes the row";
  EXPECT_EQ(1, taken->selected);
  EXPECT_GE(took + 60, 450u) << "the row stays for half a second, took " << took;
  EXPECT_EQ(field_->hwnd(), ::GetFocus());

  // A right click hides.
  SendKey(VK_BACK);
  Type("b");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  Click(RowPoint(0), true);
  EXPECT_TRUE(PumpUntil([&] { return !ListShown(); }));
}

TEST_F(FieldTest, ListClosesWhenTheWindowHoldingTheFieldMoves) {
  Add({"Bob", "bobby"});
  Type("b");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  Pump(450);
  EXPECT_TRUE(ListShown()) << "ticks without a move keep it";
  RECT r = WindowRect(parent_);
  ::MoveWindow(parent_, r.left + 30, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  DWORD start = ::GetTickCount();
  EXPECT_TRUE(PumpUntil([&] { return !ListShown(); }, 1000));
  EXPECT_LE(::GetTickCount() - start, 450u);

  // WM_ACTIVATEAPP and Escape sent to the pop-up hide it as well.
  SendKey(VK_BACK);
  Type("b");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  ::SendMessageA(list(), WM_ACTIVATEAPP, TRUE, 0);
  EXPECT_FALSE(ListShown());
  EXPECT_EQ(-1, field_->list().selectedIndex());
}

TEST_F(FieldTest, TheGripKeepsTheUsersSizeAtLaterShowings) {
  Add({"Bob", "bobby", "bo"});
  Type("b");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  RECT before = WindowRect(list());
  EXPECT_EQ(HTBOTTOMRIGHT,
            ::SendMessageA(list(), WM_NCHITTEST, 0, MAKELPARAM(before.right - 2, before.bottom - 2)));
  EXPECT_EQ(HTCLIENT, ::SendMessageA(list(), WM_NCHITTEST, 0, MAKELPARAM(before.left + 3, before.top + 3)));

  // Drag the grip with the real mouse: 60 pixels wider, 50 taller.
  DragGrip(60, 50);
  RECT user = field_->list().userRect();
  ASSERT_FALSE(::IsRectEmpty(&user)) << "the drag did not start at the grip";
  RECT after = WindowRect(list());
  EXPECT_EQ(before.right - before.left + 60, after.right - after.left);
  EXPECT_EQ(before.bottom - before.top + 50, after.bottom - after.top);
  EXPECT_EQ(after.right - after.left, user.right - user.left);
  ExpectShownState("after the drag");

  // Hidden and shown again, for another token with another row count.
  SendKey(VK_ESCAPE);
  ASSERT_FALSE(ListShown());
  Type("o");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  RECT again = WindowRect(list());
  EXPECT_EQ(after.right - after.left, again.right - again.left);
  EXPECT_EQ(after.bottom - after.top, again.bottom - again.top);
  RECT f = WindowRect(field_->hwnd());
  EXPECT_EQ(f.left, again.left);
  EXPECT_EQ(f.bottom, again.top);
  ExpectShownState("shown again at the user's size");

  // The pop-up cannot be made narrower than its field.
  MINMAXINFO mmi = {};
  ::SendMessageA(list(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  EXPECT_EQ(f.right - f.left, mmi.ptMinTrackSize.x);
  const int limit = 2 * ::GetSystemMetrics(SM_CYHSCROLL) + ::GetSystemMetrics(SM_CYFRAME) +
                    ::GetSystemMetrics(SM_CXHTHUMB);
  const int content = 3 * field_->list().rowHeight() + 2 * ::GetSystemMetrics(SM_CYBORDER);
  EXPECT_EQ(content < limit ? content : limit, mmi.ptMinTrackSize.y);
}


// Saves the whole screen as a 24-bit BMP into the folder that the
// environment variable VANTREL_SCREENSHOTS names, for a person to look at;
// does nothing without it.
void SaveScreen(const char* name) {
  char dir[MAX_PATH] = {};
  if (!::GetEnvironmentVariableA("VANTREL_SCREENSHOTS", dir, sizeof dir)) return;
  const RECT screen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  standin::SaveScreenRect(screen, std::string(dir) + "\\" + name + ".bmp");
}

TEST_F(FieldTest, ThePopUpStaysOnTheMonitor) {
  std::vector<std::string> entries;
  for (int i = 0; i < 12; ++i) entries.push_back("t" + std::to_string(10 + i));
  for (int i = 0; i < 100; ++i) entries.push_back("s" + std::to_string(1000 + i));
  Add(entries);
  MONITORINFO mi = {};
  mi.cbSize = sizeof mi;
  ASSERT_TRUE(::GetMonitorInfoA(::MonitorFromWindow(field_->hwnd(), MONITOR_DEFAULTTONEAREST), &mi));
  const RECT work = mi.rcWork;
  const int row = field_->list().rowHeight(), frame = 2 * ::GetSystemMetrics(SM_CYBORDER);
  const int eight = 8 * row + frame;
  // Moves the compose window so that the field's top-left corner lands at
  // (x, y), then types the token afresh.
  auto show_at = [&](int x, int y, const char* token) {
    SendKey(VK_ESCAPE);
    RECT p = WindowRect(parent_), f = WindowRect(field_->hwnd());
    ::SetWindowPos(parent_, nullptr, x - (f.left - p.left), y - (f.top - p.top), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Pump(50);
    ::SetWindowTextA(field_->hwnd(), "");
    Type(token);
    return PumpUntil([&] { return ListShown(); });
  };

  // Room below: under the field, as always.
  ASSERT_TRUE(show_at(200, 200, "t"));
  RECT f = WindowRect(field_->hwnd()), l = WindowRect(list());
  EXPECT_EQ(f.left, l.left);
  EXPECT_EQ(f.bottom, l.top);
  EXPECT_EQ(eight, l.bottom - l.top);
  ExpectShownState("room below");
  SaveScreen("popup-room-below");

  // Near the bottom edge: above the field, its bottom at the field's top;
  // keys and clicks work there as below.
  ASSERT_TRUE(show_at(200, work.bottom - 24 - 30, "t"));
  f = WindowRect(field_->hwnd());
  l = WindowRect(list());
  EXPECT_EQ(f.left, l.left);
  EXPECT_EQ(f.top, l.bottom);
  EXPECT_EQ(eight, l.bottom - l.top);
  EXPECT_EQ(f.right - f.left, l.right - l.left);
  ExpectShownState("near the bottom edge");
  SendKey(VK_DOWN);
  EXPECT_EQ("t10", Text(field_->hwnd()));
  SaveScreen("popup-bottom-edge");
  Click(RowPoint(2));
  ASSERT_TRUE(PumpUntil([&] { return !ListShown(); }, 3000));
  EXPECT_EQ("t12", Text(field_->hwnd()));

  // Near the right edge (the field runs off it): moved left into the work
  // area, the field's width kept, still under the field.
  ASSERT_TRUE(show_at(work.right - 150, 300, "t"));
  f = WindowRect(field_->hwnd());
  l = WindowRect(list());
  EXPECT_EQ(work.right, l.right);
  EXPECT_EQ(f.right - f.left, l.right - l.left);
  EXPECT_EQ(f.bottom, l.top);
  ExpectShownState("near the right edge");
  SaveScreen("popup-right-edge");

  // The bottom right corner: above and moved left.
  ASSERT_TRUE(show_at(work.right - 150, work.bottom - 40, "t"));
  f = WindowRect(field_->hwnd());
  l = WindowRect(list());
  EXPECT_EQ(work.right, l.right);
  EXPECT_EQ(f.top, l.bottom);
  ExpectShownState("bottom right corner");
  SaveScreen("popup-bottom-right");

  // A grip size too tall for either side: the side with more room, in
  // whole rows, the page and scroll bar following the shorter height; the
  // user's size stays for later showings with room.
  ASSERT_TRUE(show_at(200, work.top + 100, "s"));
  l = WindowRect(list());
  DragGrip(0, work.bottom - 10 - l.bottom);
  const RECT user = field_->list().userRect();
  const int tall = user.bottom - user.top;
  ASSERT_GT(tall, (work.bottom - work.top) / 2 + 40) << "the drag made it " << tall;
  ExpectShownState("dragged tall");

  ASSERT_TRUE(show_at(200, (work.top + work.bottom) / 2 - 40, "s"));
  f = WindowRect(field_->hwnd());
  l = WindowRect(list());
  const int below = work.bottom - f.bottom, above = f.top - work.top;
  ASSERT_LT(below, tall);
  ASSERT_LT(above, tall);
  const int room = std::max(below, above);
  EXPECT_EQ((room - frame) / row * row + frame, l.bottom - l.top);
  if (below >= above) EXPECT_EQ(f.bottom, l.top);
  else EXPECT_EQ(f.top, l.bottom);
  EXPECT_GE(l.top, work.top);
  EXPECT_LE(l.bottom, work.bottom);
  EXPECT_EQ(tall, field_->list().userRect().bottom - field_->list().userRect().top)
      << "a shortened showing is not the user's size";
  EXPECT_EQ((l.bottom - l.top) / row, field_->list().pageRows());
  EXPECT_TRUE(::IsWindowVisible(field_->list().scrollBar()));
  ExpectShownState("shortened", false);
  SendKey(VK_END);
  EXPECT_EQ(99, field_->list().selectedIndex());
  EXPECT_EQ(100 - field_->list().pageRows(), field_->list().topIndex());
  ExpectShownState("shortened, at the end", false);
  SaveScreen("popup-shortened");
  DragGrip(0, 0);  // pressed and let go without a drag
  EXPECT_EQ(tall, field_->list().userRect().bottom - field_->list().userRect().top);

  ASSERT_TRUE(show_at(200, work.top + 100, "s"));
  f = WindowRect(field_->hwnd());
  l = WindowRect(list());
  EXPECT_EQ(f.bottom, l.top);
  EXPECT_EQ(tall, l.bottom - l.top) << "room again: the user's size";
  ExpectShownState("room again");
}

TEST_F(FieldTest, PaintedRowsAndTheSelectedRowOnScreen) {
  Add({"alpha", "alpine", "alto"});
  Type("al");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  EXPECT_TRUE(field_->list().SelectItem(1));
  ::UpdateWindow(list());
  Pump(100);
  Capture c = Grab(list());
  const int row = field_->list().rowHeight(), by = ::GetSystemMetrics(SM_CYBORDER);
  const int text_right = c.w / 2;  // away from the grip in the corner
  Band r0 = Row(c, by, row, text_right), r1 = Row(c, by + row, row, text_right),
       r2 = Row(c, by + 2 * row, row, text_right);
  EXPECT_EQ(0, r0.highlight);
  EXPECT_GT(r0.other, 10) << "text pixels in row 0";
  EXPECT_GT(r0.window, r0.other) << "row 0 on the window colour";
  EXPECT_GT(r1.highlight, (row * (text_right - 1)) / 2) << "row 1 highlighted";
  EXPECT_GT(r1.other, 10) << "text pixels in the highlighted row";
  EXPECT_EQ(0, r2.highlight);
  EXPECT_GT(r2.other, 10);
  EXPECT_EQ(::GetSysColor(COLOR_WINDOWTEXT), c.at(0, 0)) << "the one-pixel frame";
  EXPECT_EQ(::GetSysColor(COLOR_WINDOWTEXT), c.at(c.w - 1, c.h - 1));
}

// Pixels of one colour inside a rectangle of a capture (window coordinates).
int CountColour(const Capture& c, RECT r, COLORREF colour) {
  int n = 0;
  for (int y = std::max<LONG>(r.top, 0); y < r.bottom && y < c.h; ++y)
    for (int x = std::max<LONG>(r.left, 0); x < r.right && x < c.w; ++x) n += c.at(x, y) == colour;
  return n;
}

TEST_F(FieldTest, PaintingFollowsTheSystemColours) {
  std::vector<std::string> entries = {"alpha", "alpine", "alto"};
  for (int i = 0; i < 20; ++i) entries.push_back("m" + std::to_string(100 + i));
  Add(entries);
  const int ids[4] = {COLOR_WINDOW, COLOR_BTNFACE, COLOR_BTNSHADOW, COLOR_HIGHLIGHT};
  COLORREF old_colours[4], new_colours[4] = {RGB(255, 255, 200), RGB(0, 150, 0), RGB(200, 0, 0),
                                             RGB(0, 0, 160)};
  for (int i = 0; i < 4; ++i) old_colours[i] = ::GetSysColor(ids[i]);
  // The grip square in window coordinates (the frame is one border wide).
  auto grip = [&] {
    RECT cr = {0, 0, 0, 0};
    ::GetClientRect(list(), &cr);
    const int bx = ::GetSystemMetrics(SM_CXBORDER), by = ::GetSystemMetrics(SM_CYBORDER);
    return RECT{bx + cr.right - ::GetSystemMetrics(SM_CXHSCROLL),
                by + cr.bottom - ::GetSystemMetrics(SM_CYVSCROLL), bx + cr.right, by + cr.bottom};
  };
  // Without the scroll bar the grip is drawn into the pop-up's bitmap, with
  // it straight onto the window: both are painted once in the old colours,
  // then again after the colours change.
  for (const char* token : {"al", "m"}) {
    SCOPED_TRACE(token);
    ::SetSysColors(4, ids, old_colours);
    Pump(50);
    SendKey(VK_ESCAPE);
    ::SetWindowTextA(field_->hwnd(), "");
    Type(token);
    ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
    field_->list().SelectItem(1);
    ::UpdateWindow(list());
    Pump(50);
    Capture before = Grab(list());
    ASSERT_GT(CountColour(before, grip(), old_colours[2]), 0) << "the grip's shadow lines";

    ::SetSysColors(4, ids, new_colours);
    Pump(100);
    ::UpdateWindow(list());
    Capture after = Grab(list());
    const int row = field_->list().rowHeight(), by = ::GetSystemMetrics(SM_CYBORDER);
    RECT row0 = {1, by, after.w / 2, by + row}, row1 = {1, by + row, after.w / 2, by + 2 * row};
    EXPECT_GT(CountColour(after, row0, new_colours[0]), 0) << "the rows' background";
    EXPECT_EQ(0, CountColour(after, row0, old_colours[0]));
    EXPECT_GT(CountColour(after, row1, new_colours[3]), 0) << "the selected row";
    EXPECT_EQ(0, CountColour(after, row1, old_colours[3]));
    EXPECT_GT(CountColour(after, grip(), new_colours[2]), 0) << "the grip's shadow lines";
    EXPECT_EQ(0, CountColour(after, grip(), old_colours[2]));
    EXPECT_GT(CountColour(after, grip(), new_colours[1]), 0) << "the grip's face lines";
    ExpectShownState("new colours");
  }
  ::SetSysColors(4, ids, old_colours);
  Pump(50);
}

TEST_F(FieldTest, EmptyingTheSearchListUnderAShowingListIsSafe) {
  std::vector<std::string> entries;
  for (int i = 0; i < 20; ++i) entries.push_back("al" + std::to_string(100 + i));
  Add(entries);
  Type("al");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  SendKey(VK_END);
  ASSERT_EQ(19, field_->list().selectedIndex());
  const std::string typed = Text(field_->hwnd());

  field_->RemoveSearchAll();
  EXPECT_TRUE(ListShown()) << "the rebuild does not hide a showing list";
  EXPECT_EQ(20, field_->list().itemCount());
  EXPECT_EQ(0u, field_->list().MatchCount());
  EXPECT_EQ("", field_->list().GetString());

  // A repaint: no row is left to draw.
  ::RedrawWindow(list(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  Pump(50);
  Capture c = Grab(list());
  Band all = Row(c, 1, c.h - 2, c.w / 2);
  EXPECT_EQ(0, all.highlight);
  EXPECT_EQ(0, all.other) << "blank rows until the next match";

  // A click on a row that has no entry behind it takes nothing.
  g_notices.clear();
  Click(RowPoint(1));
  Pump(100);
  EXPECT_TRUE(ListShown());
  EXPECT_EQ(typed, Text(field_->hwnd()));
  for (const Notice& n : g_notices) EXPECT_NE(kNotifyTaken, n.wparam);
  EXPECT_EQ("", field_->list().GetNextString(VK_DOWN)) << "nothing behind the rows";

  // A navigation key with nothing in the search list: the token stays and
  // the list closes; the key goes on to the control.
  SendKey(VK_DOWN);
  EXPECT_EQ(typed, Text(field_->hwnd()));
  EXPECT_FALSE(ListShown());

  // Emptied and refilled (the address-book rebuild), then a key: the list
  // matches the token against what it holds now.
  Add(entries);
  ::SetWindowTextA(field_->hwnd(), "al");
  ::SendMessageA(field_->hwnd(), EM_SETSEL, 2, 2);
  Type("1");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  field_->RemoveSearchAll();
  Add({"al1-new", "AL1-other"});
  SendKey(VK_DOWN);
  EXPECT_TRUE(ListShown());
  EXPECT_EQ(2, field_->list().itemCount());
  EXPECT_EQ("al1-new", Text(field_->hwnd()));
}

TEST_F(FieldTest, SharedSearchListServesManyFields) {
  std::vector<std::string> entries = {"Bob", "alice", "Alfred"};
  auto index = BuildSearchIndex(entries);
  field_->SetSearchList(index);
  CCompletionEdit second;
  ASSERT_NE(nullptr, second.CreateSubclassed(0, "Edit", nullptr, WS_CHILD | WS_VISIBLE, 60, 40, 200,
                                             24, parent_, 7));
  second.Init();
  second.SetSeparator(",");
  second.SetMode(2);
  second.SetSearchList(index);
  EXPECT_EQ(3u, field_->list().SearchCount());
  EXPECT_EQ(3u, second.list().SearchCount());
  Type("a");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  EXPECT_EQ("Alfred", field_->list().MatchAt(0));
  // Appending to one field copies for that field only.
  second.AddSearchString("amy");
  EXPECT_EQ(4u, second.list().SearchCount());
  EXPECT_EQ(3u, field_->list().SearchCount());
  EXPECT_EQ(3u, index->size());
}

TEST_F(FieldTest, ParentDestroyingTheFieldInsideTheNotificationIsSafe) {
  Add({"Bob", "bobby"});
  Type("b");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  HWND edit = field_->hwnd(), popup = list();
  g_delete_on_taken = true;
  Click(RowPoint(0));
  Pump(800);
  EXPECT_EQ(nullptr, g_field);
  EXPECT_FALSE(::IsWindow(edit));
  EXPECT_FALSE(::IsWindow(popup));
  field_ = nullptr;
}

TEST_F(FieldTest, DestroyingTheFieldDestroysBothWindows) {
  Add({"Bob"});
  Type("b");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  HWND edit = field_->hwnd(), popup = list(), sb = field_->list().scrollBar();
  delete field_;
  g_field = nullptr;
  field_ = nullptr;
  EXPECT_FALSE(::IsWindow(edit));
  EXPECT_FALSE(::IsWindow(popup));
  EXPECT_FALSE(::IsWindow(sb));
}

// A reply to all can fill the field past the 65,535th character: the token
// at the caret is still the one matched, and taking an entry replaces that
// token alone.
TEST_F(FieldTest, ATokenPastTheSixtyFourThousandthCharacterIsCompleted) {
  Add({"bob@x", "zz@x.org"});
  std::string before;
  while (before.size() < 70000) before += "zz@x.org,";
  ::SetWindowTextA(field_->hwnd(), before.c_str());
  const DWORD at = static_cast<DWORD>(before.size());  // one unit per byte: ASCII
  ::SendMessageA(field_->hwnd(), EM_SETSEL, at, at);
  Type("b");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  EXPECT_EQ(std::vector<std::string>({"bob@x"}), Matches(field_->list()));
  SendKey(VK_DOWN);
  std::string text(static_cast<size_t>(::GetWindowTextLengthA(field_->hwnd())) + 1, '\0');
  text.resize(static_cast<size_t>(
      ::GetWindowTextA(field_->hwnd(), &text[0], static_cast<int>(text.size()))));
  EXPECT_TRUE(text == before + "bob@x") << text.size() << " bytes, ending "
                                        << text.substr(text.size() > 20 ? text.size() - 20 : 0);
}

// The name mode at the field: a shared name index of a few cards.
std::shared_ptr<const NameIndex> NameRows() {
  struct Card {
    const char* address;
    const char* display;
    std::u16string name;
  };
  const Card cards[] = {{"bob@example.org", "Bob Stone", u"Bob Stone"},
                        {"x7@example.org", "Ann Lee", u"Ann Lee"},
                        {"ann.b@example.org", "", u""}};
  NameIndexBuilder builder;
  for (const Card& card : cards) {
    NamedAddress row;
    row.address = card.address;
    row.display_name = card.display;
    if (!card.name.empty()) row.names.push_back(card.name);
    builder.Add(row, UpperAnsi(row.address));
  }
  return builder.Build();
}

// Pixels of one colour in a row band of the pop-up as it paints itself
// into a memory DC (WM_PRINTCLIENT), from x = left on.
int PrintedColour(HWND popup, int row, int row_height, int left, COLORREF colour) {
  RECT cr = {0, 0, 0, 0};
  ::GetClientRect(popup, &cr);
  HDC screen = ::GetDC(nullptr);
  HDC mem = ::CreateCompatibleDC(screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = cr.right;
  bi.bmiHeader.biHeight = -cr.bottom;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(mem, bmp);
  ::SendMessageA(popup, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
  ::GdiFlush();
  const DWORD* p = static_cast<const DWORD*>(bits);
  const DWORD want = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  int n = 0;
  // Left of the grip square's column, which holds other colours.
  const int right = cr.right - ::GetSystemMetrics(SM_CXHSCROLL);
  for (int y = row * row_height; y < (row + 1) * row_height && y < cr.bottom; ++y)
    for (int x = left; x < right; ++x) n += (p[y * cr.right + x] & 0xFFFFFF) == want;
  ::SelectObject(mem, old);
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
  return n;
}

// The mouse away from where the pop-up shows: a row under it would be
// selected by the pop-up's mouse tracking.
void MouseAway() {
  ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1, ::GetSystemMetrics(SM_CYSCREEN) - 1);
  Pump(30);
}

TEST_F(FieldTest, NameModeSkipsLeadingBlanksAndTakesTheAddressOnly) {
  MouseAway();
  field_->SetNameIndex(NameRows());
  ASSERT_TRUE(field_->list().NameMode());
  // After ", " a new recipient starts: the blank is not part of the match,
  // and the replacement keeps it. Rows come by address and by name, sorted
  // by address.
  ::SetWindowTextA(field_->hwnd(), "bob@example.org,");
  ::SendMessageA(field_->hwnd(), EM_SETSEL, 16, 16);
  SendKey(VK_SPACE);
  Type("ann");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); })) << Text(field_->hwnd());
  ASSERT_EQ(2u, field_->list().MatchCount());
  EXPECT_EQ("ann.b@example.org", field_->list().MatchAt(0));
  EXPECT_EQ("", field_->list().MatchNameAt(0));
  EXPECT_EQ("x7@example.org", field_->list().MatchAt(1));
  EXPECT_EQ("Ann Lee", field_->list().MatchNameAt(1));
  SendKey(VK_DOWN);
  SendKey(VK_DOWN);
  EXPECT_EQ("bob@example.org, x7@example.org", Text(field_->hwnd()));
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(17, 31)), Selection()) << "the address alone, selected";
  // Only blanks: nothing to match, the list hides.
  SendKey(VK_ESCAPE);
  ::SetWindowTextA(field_->hwnd(), "bob@example.org,  ");
  ::SendMessageA(field_->hwnd(), EM_SETSEL, 18, 18);
  Type("b");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); })) << Text(field_->hwnd());
  EXPECT_EQ("bob@example.org", field_->list().MatchAt(0));
  SendKey(VK_BACK);
  EXPECT_TRUE(PumpUntil([&] { return !ListShown(); })) << "blanks alone match nothing";

  // Adding entries by hand ends the name mode: blanks count again.
  field_->AddSearchString(" lee");
  EXPECT_FALSE(field_->list().NameMode());
  ::SetWindowTextA(field_->hwnd(), "");
  SendKey(VK_SPACE);
  Type("lee");
  ASSERT_TRUE(PumpUntil([&] { return ListShown(); }));
  ASSERT_EQ(1u, field_->list().MatchCount());
  EXPECT_EQ(" lee", field_->list().MatchAt(0));
  EXPECT_EQ("", field_->list().MatchNameAt(0));
}

TEST_F(FieldTest, NameModePaintsTheNameInGreyAfterTheAddress) {
  // A grey of its own, so no other pixel of the pop-up can be taken for it.
  const int ids[1] = {COLOR_GRAYTEXT};
  const COLORREF old_grey = ::GetSysColor(COLOR_GRAYTEXT), grey = RGB(0, 128, 96);
  MouseAway();
  ::SetSysColors(1, ids, &grey);
  Pump(50);
  const int row = field_->list().rowHeight();
  auto shown = [&](const char* token) {
    SendKey(VK_ESCAPE);
    ::SetWindowTextA(field_->hwnd(), "");
    Type(token);
    return PumpUntil([&] { return ListShown(); });
  };
  // "lee" finds Ann Lee by her surname: address x7@example.org, the name
  // after it in grey; none of the address's pixels are grey.
  field_->SetNameIndex(NameRows());
  ASSERT_TRUE(shown("lee"));
  ASSERT_EQ(1u, field_->list().MatchCount());
  EXPECT_GT(PrintedColour(list(), 0, row, 0, grey), 10) << "the name in grey";
  EXPECT_GT(PrintedColour(list(), 0, row, 0, ::GetSysColor(COLOR_WINDOWTEXT)), 10) << "the address";
  // Selected, the name takes the highlight's text colour and stays readable.
  field_->list().SelectItem(0);
  EXPECT_EQ(0, PrintedColour(list(), 0, row, 0, grey));
  EXPECT_GT(PrintedColour(list(), 0, row, 0, ::GetSysColor(COLOR_HIGHLIGHTTEXT)), 20)
      << "address and name on the highlight";
  // The plain mode with the same address draws no grey at all.
  field_->RemoveSearchAll();
  Add({"x7@example.org"});
  ASSERT_TRUE(shown("x7"));
  EXPECT_EQ(0, PrintedColour(list(), 0, row, 0, grey));
  EXPECT_GT(PrintedColour(list(), 0, row, 0, ::GetSysColor(COLOR_WINDOWTEXT)), 10);
  ::SetSysColors(1, ids, &old_grey);
  Pump(50);
}
