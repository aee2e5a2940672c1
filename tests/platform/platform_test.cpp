// The window layer and the owners, against the real Win32 calls under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/ansi.h"
#include "platform/handles.h"
#include "platform/settings.h"
#include "platform/window.h"

using namespace vantrel;

TEST(Handles, ResetKeepsLastErrorAndRejectsBothNullValues) {
  UniqueHandle ev(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(ev.valid());
  ::SetLastError(1234);
  ev.reset();
  EXPECT_EQ(1234u, ::GetLastError());
  EXPECT_FALSE(UniqueHandle(INVALID_HANDLE_VALUE).valid());
  EXPECT_FALSE(UniqueHandle(nullptr).valid());

  UniqueHandle a(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  HANDLE raw = a.get();
  UniqueHandle b(std::move(a));
  EXPECT_FALSE(a.valid());
  EXPECT_EQ(raw, b.get());
  HANDLE taken = b.release();
  EXPECT_FALSE(b.valid());
  EXPECT_TRUE(::CloseHandle(taken));  // release() really gave up ownership
}

namespace {
class CountingEdit : public Window {
 public:
  int chars = 0;
  bool swallow_x = false;
  bool saw_ncdestroy = false;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_CHAR) {
      ++chars;
      if (swallow_x && wp == 'x') return 0;
    }
    if (msg == WM_NCDESTROY) saw_ncdestroy = true;
    return DefaultProc(msg, wp, lp);
  }
};
}  // namespace

TEST(Window, SubclassedEditForwardsUnhandledMessagesAndDetachesOnDestroy) {
  CountingEdit edit;
  HWND hwnd = edit.CreateSubclassed(0, "Edit", "", WS_POPUP, 0, 0, 100, 20, nullptr, 0);
  ASSERT_NE(nullptr, hwnd);
  EXPECT_EQ(&edit, Window::FromHandle(hwnd));
  ::SendMessageA(hwnd, WM_CHAR, 'a', 0);
  edit.swallow_x = true;
  ::SendMessageA(hwnd, WM_CHAR, 'x', 0);
  char text[16] = {};
  ::GetWindowTextA(hwnd, text, sizeof text);
  EXPECT_STREQ("a", text) << "the edit's own procedure must see what the object passes on";
  EXPECT_EQ(2, edit.chars);
  edit.DestroyWindow();
  EXPECT_TRUE(edit.saw_ncdestroy);
  EXPECT_EQ(nullptr, edit.hwnd());
  EXPECT_FALSE(::IsWindow(hwnd));
}

// The user-interface thread finds its objects without the property; every
// other thread, and every window beyond the copies it keeps, by the
// property. Either way each handle leads to its own object, messages reach
// it, and a detached object is found no more, whichever thread let it go.
TEST(Window, ObjectsAreFoundOnTheirThreadsBeyondTheCopiesKeptAndNotAfterDetaching) {
  CountingEdit first;  // claims the copies for this thread if nothing did yet
  ASSERT_NE(nullptr, first.CreateSubclassed(0, "Edit", "", WS_POPUP, 0, 0, 100, 20, nullptr, 0));
  std::vector<std::unique_ptr<CountingEdit>> edits;
  for (int i = 0; i < 40; ++i) {  // more than the 32 copies
    edits.push_back(std::make_unique<CountingEdit>());
    ASSERT_NE(nullptr,
              edits.back()->CreateSubclassed(0, "Edit", "", WS_POPUP, 0, 0, 100, 20, nullptr, 0));
  }
  for (int i = 0; i < 40; ++i) {
    HWND hwnd = edits[static_cast<size_t>(i)]->hwnd();
    EXPECT_EQ(edits[static_cast<size_t>(i)].get(), Window::FromHandle(hwnd)) << i;
    ::SendMessageA(hwnd, WM_CHAR, 'a', 0);
    EXPECT_EQ(1, edits[static_cast<size_t>(i)]->chars) << i;
  }
  // Destroyed in another order than made: a freed copy is used again, and
  // never answers for the window that had it.
  std::vector<HWND> gone;
  for (int i = 0; i < 40; i += 3) {
    gone.push_back(edits[static_cast<size_t>(i)]->hwnd());
    edits[static_cast<size_t>(i)]->DestroyWindow();
  }
  for (HWND hwnd : gone) EXPECT_EQ(nullptr, Window::FromHandle(hwnd));
  CountingEdit again;
  ASSERT_NE(nullptr, again.CreateSubclassed(0, "Edit", "", WS_POPUP, 0, 0, 100, 20, nullptr, 0));
  EXPECT_EQ(&again, Window::FromHandle(again.hwnd()));

  // Another thread's own window, found there through its property.
  Window* seen_there = nullptr;
  Window* made_there = nullptr;
  int chars_there = 0;
  Window* seen_after = reinterpret_cast<Window*>(1);
  std::thread other([&] {
    CountingEdit edit;
    HWND hwnd = edit.CreateSubclassed(0, "Edit", "", WS_POPUP, 0, 0, 100, 20, nullptr, 0);
    made_there = &edit;
    seen_there = Window::FromHandle(hwnd);
    ::SendMessageA(hwnd, WM_CHAR, 'b', 0);
    chars_there = edit.chars;
    edit.DestroyWindow();
    seen_after = Window::FromHandle(hwnd);
  });
  other.join();
  EXPECT_EQ(made_there, seen_there);
  EXPECT_EQ(1, chars_there);
  EXPECT_EQ(nullptr, seen_after);

  // An object of this thread deleted on another: its window (which only
  // this thread may destroy) leads to no object here any more, and its
  // messages still reach the edit's own procedure.
  auto orphan = std::make_unique<CountingEdit>();
  HWND orphaned = orphan->CreateSubclassed(0, "Edit", "", WS_POPUP, 0, 0, 100, 20, nullptr, 0);
  ASSERT_EQ(orphan.get(), Window::FromHandle(orphaned));
  std::thread deleter([&] { orphan.reset(); });
  deleter.join();
  EXPECT_EQ(nullptr, Window::FromHandle(orphaned));
  ::SetWindowTextA(orphaned, "kept");
  char text[16] = {};
  ::GetWindowTextA(orphaned, text, sizeof text);
  EXPECT_STREQ("kept", text);
  ::DestroyWindow(orphaned);
}

TEST(Window, ObjectClassWindowIsBoundFromNcCreateAndDestroyedWithObject) {
  ASSERT_TRUE(Window::RegisterObjectClass("VantrelTestClass", 0, nullptr, nullptr));
  ASSERT_TRUE(Window::RegisterObjectClass("VantrelTestClass", 0, nullptr, nullptr));
  HWND hwnd;
  {
    Window w;
    hwnd = w.Create(0, "VantrelTestClass", "t", WS_POPUP, 0, 0, 10, 10, nullptr, 0);
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(&w, Window::FromHandle(hwnd));
  }
  EXPECT_FALSE(::IsWindow(hwnd)) << "the object's destructor destroys its window";
  // A module that is unloaded takes its classes along.
  Window::UnregisterObjectClasses();
  WNDCLASSA wc = {};
  EXPECT_FALSE(::GetClassInfoA(ThisModule(), "VantrelTestClass", &wc));
}

TEST(Settings, MissingValueGivesDefaultAndWrittenValueReadsBack) {
  ::RegDeleteKeyA(HKEY_CURRENT_USER, "software\\VantrelPlatformTest\\Setup");
  SettingsStore store("", "VantrelPlatformTest");
  EXPECT_EQ(1, store.GetInt("Setup", "AutoParse", 1));
  EXPECT_TRUE(store.SetInt("Setup", "AutoParse", 0));
  EXPECT_EQ(0, store.GetInt("Setup", "AutoParse", 1));
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, "software\\VantrelPlatformTest\\Setup",
                                           0, KEY_READ, &key));
  DWORD type = 0, value = 7, size = sizeof value;
  EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExA(key, "AutoParse", nullptr, &type,
                                              reinterpret_cast<BYTE*>(&value), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(0u, value);
  ::RegCloseKey(key);
  ::RegDeleteKeyA(HKEY_CURRENT_USER, "software\\VantrelPlatformTest\\Setup");
}

namespace {
// The case mapping as the documentation of the ANSI functions describes it:
// through UTF-16 with the system's code page (CP_ACP), whatever the user's
// locale. The reference for everything below.
std::string ThroughUtf16(const std::string& s, DWORD flag) {
  if (s.empty()) return s;
  const int n = static_cast<int>(s.size());
  const int wn = ::MultiByteToWideChar(CP_ACP, 0, s.data(), n, nullptr, 0);
  std::wstring w(static_cast<size_t>(wn), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, s.data(), n, &w[0], wn);
  std::wstring m(static_cast<size_t>(wn) * 2, L'\0');
  const int mn = ::LCMapStringW(LOCALE_USER_DEFAULT, flag, w.data(), wn, &m[0], wn * 2);
  const int bn = ::WideCharToMultiByte(CP_ACP, 0, m.data(), mn, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bn), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, m.data(), mn, &out[0], bn, nullptr, nullptr);
  return out;
}

// Every mapping of the plug-in against the reference.
::testing::AssertionResult MapsLikeTheSystemCodePage(const vantrel::AnsiUpperFolder& folder,
                                                     const std::string& s) {
  std::string folded;
  folder.Fold(s, &folded);
  const std::string upper = ThroughUtf16(s, LCMAP_UPPERCASE);
  const std::string lower = ThroughUtf16(s, LCMAP_LOWERCASE);
  if (UpperAnsi(s) == upper && folded == upper && LowerAnsi(s) == lower)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << ::testing::PrintToString(s) << " in code page " << ::GetACP() << ": upper "
         << ::testing::PrintToString(UpperAnsi(s)) << ", folded "
         << ::testing::PrintToString(folded)
         << ", want " << ::testing::PrintToString(upper) << "; lower "
         << ::testing::PrintToString(LowerAnsi(s)) << ", want " << ::testing::PrintToString(lower);
}
}  // namespace

// Known letters of each code page. A double-byte character stays whole: its
// second byte may be an ASCII letter, which must not fold on its own.
TEST(Ansi, CaseMappingFoldsCodePageLetters) {
  EXPECT_EQ("abc\\d.bab", LowerAnsi("ABC\\D.BAB"));
  EXPECT_EQ("ANN@X.ORG", UpperAnsi("ann@x.org"));
  const struct {
    unsigned code_page;
    std::string lower, upper;
  } cases[] = {
      {1252, "\xe9t\xe9", "\xc9T\xc9"},                        // e-acute
      {936, "\xa3\xe1\xa3\xe2z", "\xa3\xc1\xa3\xc2Z"},         // full-width a, b
      {936, "\x81\x61\x81\x41\xcd\xa8", "\x81\x61\x81\x41\xcd\xa8"},
      {932, "\x82\x81\x82\x82z", "\x82\x60\x82\x61Z"},         // full-width a, b
      {932, "\x81\x61\x81\x41\x83\x58", "\x81\x61\x81\x41\x83\x58"},
  };
  int ran = 0;
  for (const auto& c : cases) {
    if (c.code_page != ::GetACP()) continue;
    ++ran;
    EXPECT_EQ(c.upper, UpperAnsi(c.lower)) << ::testing::PrintToString(c.lower);
    EXPECT_EQ(c.lower, LowerAnsi(c.upper)) << ::testing::PrintToString(c.upper);
  }
  EXPECT_GT(ran, 0) << "no case for code page " << ::GetACP();
}

// Every single byte, every double-byte character of the code page and
// random byte strings (odd sequences included) map as through UTF-16 with
// the system's code page; the table folder gives the same bytes as the
// whole-string mapping. With the user's locale in another code page, a
// mapping that read the bytes in the locale's code page would differ.
TEST(Ansi, TableFolderAndMappingsReadTheSystemCodePage) {
  const vantrel::AnsiUpperFolder folder;
  for (int b = 1; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    ASSERT_TRUE(MapsLikeTheSystemCodePage(folder, one));
    if (!::IsDBCSLeadByte(static_cast<BYTE>(b))) continue;
    for (int t = 0x40; t < 0xFF; ++t) {
      const char pair[] = {static_cast<char>(b), static_cast<char>(t), 'a', 0};
      ASSERT_TRUE(MapsLikeTheSystemCodePage(folder, pair));
    }
  }
  unsigned seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::string s;
    const int length = static_cast<int>((seed = seed * 1103515245 + 12345) >> 16) % 24;
    for (int i = 0; i < length; ++i) {
      seed = seed * 1103515245 + 12345;
      s += static_cast<char>(1 + (seed >> 16) % 255);
    }
    ASSERT_TRUE(MapsLikeTheSystemCodePage(folder, s)) << "round " << round;
  }
  std::string folded = "x";
  folder.Fold("", &folded);
  EXPECT_EQ(folded, "");
}
