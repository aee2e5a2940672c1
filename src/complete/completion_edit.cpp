#include "complete/completion_edit.h"

#include <array>
#include <cstring>

namespace vantrel {
namespace {

// The lead bytes of the system's ANSI code page, for reading a separator
// string that holds double-byte characters.
std::array<bool, 256> AnsiLeadBytes() {
  std::array<bool, 256> lead{};
  for (int b = 0; b < 256; ++b) lead[b] = ::IsDBCSLeadByte(static_cast<BYTE>(b)) != FALSE;
  return lead;
}

bool IsNavigationKey(int key) {
  switch (key) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_UP:
    case VK_DOWN:
      return true;
    default:
      return false;
  }
}

}  // namespace

const char CCompletionEdit::kListClassName[] = "VantrelSuggestList";

CCompletionEdit::~CCompletionEdit() {
  // The field first (its loss of focus may still hide the list), then the
  // list; the list's object goes with this one.
  DestroyWindow();
  list_.DestroyWindow();
}

void CCompletionEdit::Init() {
  if (!hwnd()) return;
  if (!list_.hwnd()) {
    Window::RegisterObjectClass(kListClassName, CS_VREDRAW | CS_HREDRAW | CS_CLASSDC | CS_SAVEBITS,
                                reinterpret_cast<HBRUSH>(COLOR_MENU + 1), nullptr);
    RECT r = {0, 0, 0, 0};
    ::GetWindowRect(hwnd(), &r);
    list_.Create(WS_EX_TOOLWINDOW, kListClassName, nullptr,
                 WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER | WS_THICKFRAME, r.left, r.top + 20, 200,
                 180, ::GetDesktopWindow(), CSuggestList::kControlId);
  }
  char cls[32] = {};
  ::GetClassNameA(hwnd(), cls, sizeof cls);
  if (std::strcmp(cls, "Edit") == 0) controlType_ = 1;
  if (controlType_ != -1 && !listInitialized_) {
    list_.Init(hwnd());
    listInitialized_ = true;
  }
}

void CCompletionEdit::SetSeparator(const std::string& separators) {
  static const std::array<bool, 256> lead = AnsiLeadBytes();
  separators_ = separators;
  separatorSet_ = SeparatorSet(separators_, lead);
}

void CCompletionEdit::SetMode(int mode) {
  if (controlType_ == -1) Init();
  mode_ = mode;
}

void CCompletionEdit::AddSearchString(const std::string& entry) {
  if (controlType_ == -1) return;
  list_.AddSearchString(entry);
}

void CCompletionEdit::RemoveSearchAll() {
  if (controlType_ == -1) return;
  list_.RemoveSearchAll();
}

void CCompletionEdit::SetSearchList(std::shared_ptr<const SearchIndex> index) {
  if (controlType_ == -1) return;
  list_.SetSearchList(std::move(index));
}

int CCompletionEdit::FindTokenStart(int pos) const {
  return vantrel::FindTokenStart(text_, separatorSet_, pos);
}

int CCompletionEdit::FindTokenEnd(int pos) const {
  return vantrel::FindTokenEnd(text_, separatorSet_, pos);
}

int CCompletionEdit::CaretIndex() const {
  POINT pt = {0, 0};
  // Without a caret on this thread, the top-left corner: the first index.
  if (!::GetCaretPos(&pt)) pt = POINT{0, 0};
  LRESULT r = ::SendMessageA(hwnd(), EM_CHARFROMPOS, 0, MAKELPARAM(pt.x, pt.y));
  return LOWORD(r);
}

std::string CCompletionEdit::ReadText() const {
  int n = ::GetWindowTextLengthA(hwnd());
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n) + 1, '\0');
  int got = ::GetWindowTextA(hwnd(), &s[0], n + 1);
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

std::string CCompletionEdit::TokenAtCaret() {
  TokenBounds b = TokenAround(text_, separatorSet_, CaretIndex());
  return text_.substr(static_cast<size_t>(b.start), static_cast<size_t>(b.end - b.start));
}

bool CCompletionEdit::ListVisible() const {
  return list_.hwnd() && ::IsWindowVisible(list_.hwnd());
}

void CCompletionEdit::OnTextChanged() {
  if (controlType_ == -1) return;
  HWND self = hwnd();
  text_ = ReadText();
  if (!busy_) list_.FindString(-1, TokenAtCaret(), false);
  ::SendMessageA(::GetParent(self), WM_COMPLETION_NOTIFY, kNotifyChanged, ::GetDlgCtrlID(self));
}

void CCompletionEdit::OnFocusLost() {
  if (list_.hwnd()) ::ShowWindow(list_.hwnd(), SW_HIDE);
}

LRESULT CCompletionEdit::OnListNotify(WPARAM wparam, LPARAM) {
  if (wparam == kNotifyTaken) HandleKey(VK_DOWN, true);
  return 0;
}

bool CCompletionEdit::HandleKey(int key, bool fromList) {
  if (key == VK_RETURN || key == VK_ESCAPE) {
    if (list_.hwnd()) ::ShowWindow(list_.hwnd(), SW_HIDE);
    return true;
  }
  if (!IsNavigationKey(key)) return false;
  if (!ListVisible()) return false;
  if (list_.RowsAreStale()) {
    // The search list was emptied (and maybe refilled) under the showing
    // list: its rows no longer have entries behind them. Match the token
    // again, so the key works on what the list now holds rather than
    // replacing the token with nothing.
    text_ = ReadText();
    list_.FindString(-1, TokenAtCaret(), false);
    if (!ListVisible()) return false;
  }
  ReplaceToken(key, fromList);
  return true;
}

void CCompletionEdit::ReplaceToken(int key, bool fromList) {
  HWND self = hwnd();
  busy_ = true;
  text_ = ReadText();
  TokenBounds b = TokenAround(text_, separatorSet_, CaretIndex());
  std::string entry = fromList ? list_.GetString() : list_.GetNextString(key);
  list_.SelectItem(-1);
  if (list_.MatchCount() == 0) {
    // Nothing to take: the typed token stays.
    busy_ = false;
    return;
  }
  std::string replaced = text_.substr(0, static_cast<size_t>(b.start)) + entry +
                         text_.substr(static_cast<size_t>(b.end));
  const int k = static_cast<int>(list_.GetString().size());
  ::SetWindowTextA(self, replaced.c_str());
  // The change notification went through the parent, which may have
  // destroyed the field.
  if (!::IsWindow(self) || Window::FromHandle(self) != this) return;
  ::SendMessageA(::GetParent(self), WM_COMPLETION_NOTIFY, kNotifyTaken, ::GetDlgCtrlID(self));
  if (!::IsWindow(self) || Window::FromHandle(self) != this) return;
  ::SendMessageA(self, EM_SETMODIFY, 1, 0);
  ::SendMessageA(self, EM_SETSEL, static_cast<WPARAM>(b.start), b.start + k);
  ::SendMessageA(self, EM_SCROLLCARET, 0, 0);
  busy_ = false;
}

LRESULT CCompletionEdit::WndProc(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_COMMAND:
      // The field's own notifications, sent back by its parent.
      if (reinterpret_cast<HWND>(lparam) == hwnd() && hwnd()) {
        if (HIWORD(wparam) == EN_CHANGE) OnTextChanged();
        else if (HIWORD(wparam) == EN_KILLFOCUS) OnFocusLost();
        return 0;
      }
      return DefaultProc(msg, wparam, lparam);
    case WM_KEYDOWN:
      if (HandleKey(static_cast<int>(wparam), false)) return 0;
      return DefaultProc(msg, wparam, lparam);
    case WM_COMPLETION_NOTIFY:
      return OnListNotify(wparam, lparam);
    default:
      return DefaultProc(msg, wparam, lparam);
  }
}

}  // namespace vantrel
