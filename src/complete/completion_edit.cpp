#include "complete/completion_edit.h"

#include <array>
#include <cstring>

#include "platform/ansi.h"
#include "platform/window_text.h"

namespace vantrel {
namespace {

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
  if (std::strcmp(cls, "Edit") == 0) {
    controlType_ = 1;
    // The recipients of a large reply to all run past the control's default
    // limit of about 30,000 characters, which would refuse every typed key.
    ::SendMessageA(hwnd(), EM_LIMITTEXT, 0, 0);
  }
  if (controlType_ != -1 && !listInitialized_) {
    list_.Init(hwnd());
    listInitialized_ = true;
  }
}

void CCompletionEdit::SetSeparator(const std::string& separators) {
  separators_ = separators;
  separatorSet_ = SeparatorSet(separators_, AnsiLeadBytes());
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

void CCompletionEdit::SetNameIndex(std::shared_ptr<const NameIndex> names) {
  if (controlType_ == -1) return;
  list_.SetNameIndex(std::move(names));
}

int CCompletionEdit::FindTokenStart(int pos) const {
  return vantrel::FindTokenStart(text_, separatorSet_, pos);
}

int CCompletionEdit::FindTokenEnd(int pos) const {
  return vantrel::FindTokenEnd(text_, separatorSet_, pos);
}

int CCompletionEdit::CaretIndex() {
  // From the selection, whose positions are 32 bits wide: the character
  // index at the caret's point comes in 16 bits, so past the 65,535th
  // character it names a place far from the caret (a reply to all can fill
  // the field that far). The caret stands at the selection's end, where
  // typing and the taking of an entry leave it.
  DWORD start = 0, end = 0;
  ::SendMessageA(hwnd(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
  const int pos = static_cast<int>(end);
  if (Unit(text_) != PositionUnit::kChars) return pos;
  return ByteIndexOfChar(text_, pos, AnsiLeadBytes());
}

PositionUnit CCompletionEdit::Unit(const std::string& text) {
  if (unit_ != PositionUnit::kUnknown) return unit_;
  const LeadBytes& lead = AnsiLeadBytes();
  // Without a double-byte character both counts agree, and nothing is learnt.
  if (!HasDoubleByte(text, lead)) return PositionUnit::kBytes;
  const int length = static_cast<int>(::SendMessageA(hwnd(), EM_LINELENGTH, 0, 0));
  unit_ = UnitFromLength(length, text, lead);
  // A length that fits neither count (the control holds a character that
  // the code page has no bytes for): counted as characters, as a control
  // that keeps UTF-16 counts them; asked again with the next text.
  return unit_ == PositionUnit::kUnknown ? PositionUnit::kChars : unit_;
}

void CCompletionEdit::SelectBytes(const std::string& text, int start, int end) {
  if (Unit(text) == PositionUnit::kChars) {
    start = CharIndexOfByte(text, start, AnsiLeadBytes());
    end = CharIndexOfByte(text, end, AnsiLeadBytes());
  }
  ::SendMessageA(hwnd(), EM_SETSEL, static_cast<WPARAM>(start), end);
}

std::string CCompletionEdit::ReadText() const { return WindowText(hwnd()); }

TokenBounds CCompletionEdit::MatchedToken() {
  TokenBounds b = TokenAround(text_, separatorSet_, CaretIndex());
  if (list_.NameMode()) {
    while (b.start < b.end && (text_[static_cast<size_t>(b.start)] == ' ' ||
                               text_[static_cast<size_t>(b.start)] == '\t'))
      ++b.start;
  }
  return b;
}

std::string CCompletionEdit::TokenAtCaret() {
  TokenBounds b = MatchedToken();
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
  if (key == VK_DELETE) return ListVisible() && DeleteSuggestion();
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
  // In the name mode the blanks before the token stay in front of the entry.
  TokenBounds b = MatchedToken();
  std::string entry = fromList ? list_.GetString() : list_.GetNextString(key);
  list_.SelectItem(-1);
  if (list_.MatchCount() == 0) {
    // Nothing to take: the typed token stays.
    busy_ = false;
    return;
  }
  std::string replaced = text_.substr(0, static_cast<size_t>(b.start)) + entry +
                         text_.substr(static_cast<size_t>(b.end));
  const int rest = static_cast<int>(text_.size()) - b.end;  // bytes after the token
  const int k = static_cast<int>(list_.GetString().size());
  ::SetWindowTextA(self, replaced.c_str());
  // The change notification went through the parent, which may have
  // destroyed the field.
  if (!::IsWindow(self) || Window::FromHandle(self) != this) return;
  ::SendMessageA(::GetParent(self), WM_COMPLETION_NOTIFY, kNotifyTaken, ::GetDlgCtrlID(self));
  if (!::IsWindow(self) || Window::FromHandle(self) != this) return;
  ::SendMessageA(self, EM_SETMODIFY, 1, 0);
  if (HasDoubleByte(replaced, AnsiLeadBytes())) {
    // Selected in the text as the control now holds it, in the control's
    // unit. The control may have changed bytes that the code page has no
    // character for, so the entry is taken to run from the token's start to
    // where the unchanged rest of the text begins.
    text_ = ReadText();
    const int end = static_cast<int>(text_.size()) - rest;
    SelectBytes(text_, b.start, end > b.start ? end : b.start);
  } else {
    ::SendMessageA(self, EM_SETSEL, static_cast<WPARAM>(b.start), b.start + k);
  }
  ::SendMessageA(self, EM_SCROLLCARET, 0, 0);
  busy_ = false;
}

bool CCompletionEdit::DeleteSuggestion() {
  if (!list_.HideSelected()) return false;
  // The row goes at once: the token the user typed comes back in place of
  // the entry that a navigation key may have written there, and is matched
  // again, now without the hidden address.
  HWND self = hwnd();
  const std::string typed = list_.LastToken();
  text_ = ReadText();
  const TokenBounds b = MatchedToken();
  if (text_.compare(static_cast<size_t>(b.start), static_cast<size_t>(b.end - b.start), typed) !=
      0) {
    busy_ = true;
    const std::string restored = text_.substr(0, static_cast<size_t>(b.start)) + typed +
                                 text_.substr(static_cast<size_t>(b.end));
    ::SetWindowTextA(self, restored.c_str());
    // The change notification went through the parent, which may have
    // destroyed the field.
    if (!::IsWindow(self) || Window::FromHandle(self) != this) return true;
    text_ = ReadText();
    const int caret = b.start + static_cast<int>(typed.size());
    SelectBytes(text_, caret, caret);
    busy_ = false;
  }
  list_.FindString(-1, typed, false);
  return true;
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
