// An "Edit" window with address completion: the token around the caret is
// matched against the search list and the matches show in a pop-up list
// under the field; navigation keys and clicks put the chosen entry in place
// of the token.
//
// How this works:
//  - The owner creates the field's "Edit" window through the object
//    (CreateSubclassed), then calls Init, which creates the pop-up list
//    window once. The field sees its own EN_CHANGE and EN_KILLFOCUS only when
//    its parent sends the WM_COMMAND back to the field's window; the field's
//    parent (the compose window) does that.
//  - busy guards the re-entry that setting the field's own text causes: the
//    control's EN_CHANGE comes back through the parent into OnTextChanged
//    before SetWindowText returns; with busy set, no matching runs.
//  - Every notification the field sends may end with the receiver destroying
//    the field; after each one the field checks that its window (and so the
//    object) still exists before it goes on.
//  - The search list lives in the list (suggest_list.h); SetSearchList hands
//    many fields one shared index at no cost per field.
//  - Positions: text_ and the token routines count bytes; the control counts
//    caret and selection in its own unit, bytes or characters (text_units.h).
//    The field learns the unit from the control's length the first time its
//    text holds a double-byte character, and converts every caret it reads
//    and every selection it sets.
// Everything runs on the thread that owns the field's window; nothing locks.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "complete/suggest_list.h"
#include "complete/text_units.h"
#include "complete/token.h"
#include "platform/window.h"

namespace vantrel {

class CCompletionEdit : public Window {
 public:
  static constexpr int CM_SEPARATED = 2;

  CCompletionEdit() = default;
  ~CCompletionEdit() override;

  // The field's window must exist. Creates the list window on the first call.
  void Init();
  void SetSeparator(const std::string& separators);
  void SetMode(int mode);
  void AddSearchString(const std::string& entry);
  void RemoveSearchAll();
  // Replaces the search list by a ready index, which other fields may share;
  // the same as RemoveSearchAll followed by adding every entry of the index.
  void SetSearchList(std::shared_ptr<const SearchIndex> index);
  // The name mode: the search list is a shared name index, blanks at the
  // token's start are skipped for matching and kept by the replacement.
  void SetNameIndex(std::shared_ptr<const NameIndex> names);
  // Where the name mode's order of use comes from; null for none.
  void SetUsage(UsageSource* usage) { list_.SetUsage(usage); }

  // True when the key was consumed. In the name mode Delete (with or
  // without Shift) on a highlighted row hides its address; with no row
  // highlighted it is the control's own Delete.
  bool HandleKey(int key, bool fromList);

  int FindTokenStart(int pos) const;
  int FindTokenEnd(int pos) const;
  // The caret as a byte index into text(), which must hold the control's
  // current text.
  int CaretIndex();

  CSuggestList& list() { return list_; }
  const CSuggestList& list() const { return list_; }
  int mode() const { return mode_; }
  int controlType() const { return controlType_; }
  const std::string& text() const { return text_; }

  // The registered class of the pop-up list.
  static const char kListClassName[];

 protected:
  LRESULT WndProc(UINT msg, WPARAM wparam, LPARAM lparam) override;

 private:
  void OnTextChanged();
  void OnFocusLost();
  LRESULT OnListNotify(WPARAM wparam, LPARAM lparam);
  void ReplaceToken(int key, bool fromList);
  bool DeleteSuggestion();
  std::string ReadText() const;
  // The token at the caret, as matched: in the name mode without its
  // leading blanks (after ", " the user is typing a new recipient).
  TokenBounds MatchedToken();
  std::string TokenAtCaret();
  bool ListVisible() const;
  // The control's unit for positions in `text` (the control's own text);
  // bytes while the text cannot tell them apart.
  PositionUnit Unit(const std::string& text);
  void SelectBytes(const std::string& text, int start, int end);

  CSuggestList list_;
  std::string text_;
  std::string separators_;
  SeparatorSet separatorSet_;
  int mode_ = 1;
  bool busy_ = false;
  int controlType_ = -1;
  bool listInitialized_ = false;
  PositionUnit unit_ = PositionUnit::kUnknown;  // learnt once, kept for the control's life
};

}  // namespace vantrel
