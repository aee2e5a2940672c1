// The window layer and the owners, against the real Win32 calls under Wine.
#include <gtest/gtest.h>
#include <windows.h>

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

TEST(Ansi, CaseMappingFoldsCodePageLetters) {
  EXPECT_EQ("abc\\d.bab", LowerAnsi("ABC\\D.BAB"));
  EXPECT_EQ("ANN@X.ORG", UpperAnsi("ann@x.org"));
  if (::GetACP() == 1252) {
    EXPECT_EQ("\xc9T\xc9", UpperAnsi("\xe9t\xe9"));  // e-acute folds in 1252
  }
}

// The table folder must give UpperAnsi's bytes for every string, including
// bytes whose upper case lies elsewhere in the code page and strings that
// carry double-byte characters (those go through the locale whole).
TEST(Ansi, TableFolderAgreesWithTheLocaleMapping) {
  const vantrel::AnsiUpperFolder folder;
  std::string folded;
  for (int b = 1; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    folder.Fold(one, &folded);
    ASSERT_EQ(folded, vantrel::UpperAnsi(one)) << "byte " << b << " in code page " << GetACP();
  }
  unsigned seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::string s;
    const int length = static_cast<int>((seed = seed * 1103515245 + 12345) >> 16) % 24;
    for (int i = 0; i < length; ++i) {
      seed = seed * 1103515245 + 12345;
      s += static_cast<char>(1 + (seed >> 16) % 255);
    }
    folder.Fold(s, &folded);
    ASSERT_EQ(folded, vantrel::UpperAnsi(s)) << "round " << round;
  }
  folder.Fold("", &folded);
  EXPECT_EQ(folded, "");
}
