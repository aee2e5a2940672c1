// The pop-up under a completion field that shows the entries matching the
// token being typed.
//
// How this works:
//  - The search list is a shared, immutable SearchIndex (search_index.h).
//    AddSearchString appends to a pending builder (O(1) each); the builder
//    becomes the index at the next FindString, so filling 100,000 entries
//    one by one costs one sort, not 100,000. SetSearchList hands over a
//    ready index that several fields may share at no cost.
//  - The match list is a vector of entry indices into the index it was
//    built from (match_index_), which it keeps alive: emptying or replacing
//    the search list never leaves the rows pointing at freed strings.
//  - itemCount is the row count of the last FindString and may exceed the
//    match list after RemoveSearchAll (which empties the matches but leaves
//    the showing pop-up alone). Painting, hit testing and GetString only
//    ever reach rows that exist in the match list; the rows beyond are
//    drawn empty until the next FindString.
//  - The pop-up is a child of the desktop window; its timer (id 10, 200 ms)
//    hides it when the window holding the field moves or changes size.
//  - It shows under the field, or above it where the work area of the
//    field's monitor has no room below (PlacePopup in suggest_math.h). Only
//    the user's drag of the grip sets userRect: the WM_SIZE of a placement
//    that shortened the pop-up leaves it alone.
//  - Everything runs on the thread that owns the field. The animated scroll
//    and the half second after a click block that thread on purpose (the
//    user sees the row move and the chosen row highlighted).
//  - Window calls are made only when their value changes: the scroll bar
//    through its mirror (scroll_bar_mirror.h); inside FindString the bar is
//    brought up to date once, at the end, and repaints with the pop-up.
//    The pop-up is moved only when its rectangle differs from the target.
//  - The name mode (SetNameIndex): the search list is a shared NameIndex,
//    whose addresses() is the SearchIndex that the match list points into
//    (held through an aliasing pointer, so the rows keep the whole name
//    index alive). FindString asks the NameMatcher instead of the prefix
//    matcher, and each row shows the card's display name after the address
//    in the grey text colour. What a row gives the field is the address
//    alone, as in the plain mode.
//  - Ranking by use (SetUsage, name mode only): the matcher's rows go
//    through a UsageRanker, which puts the addresses the user writes to
//    most first and leaves out the ones the user deleted; the rest keep the
//    matcher's order. HideSelected takes the highlighted row's address out.
//  - Painting: suggest_paint.h, which keeps its memory DC, bitmap and pens
//    for the pop-up's life.
// The owner may destroy the field, and with it this list, inside the
// notification that a click sends; the click handler checks for that before
// touching the object again.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "complete/name_index.h"
#include "complete/search_fold.h"
#include "complete/scroll_bar_mirror.h"
#include "complete/search_index.h"
#include "complete/suggest_paint.h"
#include "complete/usage_rank.h"
#include "complete/usage_source.h"
#include "platform/handles.h"
#include "platform/window.h"

namespace vantrel {

// WM_USER + 1200: field to parent, list to field.
constexpr UINT WM_COMPLETION_NOTIFY = 0x08B0;
// wParam values of WM_COMPLETION_NOTIFY.
constexpr WPARAM kNotifyTaken = 0x0100;
constexpr WPARAM kNotifyChanged = 0x0400;

// Removes and dispatches every pending WM_PAINT of the calling thread.
void DrainPaintMessages();

class CSuggestList : public Window {
 public:
  static constexpr UINT_PTR kTimerId = 10;
  static constexpr int kControlId = 1000;

  CSuggestList() = default;
  ~CSuggestList() override;

  // Once, after the pop-up's window exists: scroll bar, owner, row height.
  void Init(HWND owner);

  // Rebuilds the matches for `token` and shows the pop-up under the owner,
  // or hides it. -1 when refused (no owner, empty token, startAfter beyond
  // the search list), 1 otherwise.
  int FindString(int startAfter, const std::string& token, bool showOnly);
  std::string GetString() const;
  std::string GetNextString(int key);
  bool SelectItem(int index);

  // The search list.
  void AddSearchString(const std::string& entry);
  void RemoveSearchAll();
  void SetSearchList(std::shared_ptr<const SearchIndex> index);
  // The name mode: matches by address, name, pinyin and reading, and shows
  // the names. Ends with RemoveSearchAll, SetSearchList or AddSearchString.
  void SetNameIndex(std::shared_ptr<const NameIndex> names);
  bool NameMode() const { return names_ != nullptr; }
  // Where the name mode's order of use comes from (null: the matcher's
  // order). Kept across changes of the search list.
  void SetUsage(UsageSource* usage) { usage_ = usage; }
  // In the name mode with a row highlighted: hides that row's address
  // through the usage source and returns true; the caller matches again.
  // Otherwise false, and nothing happens.
  bool HideSelected();
  // The token of the last matching (what the user typed, not an entry that
  // a navigation key put in its place).
  const std::string& LastToken() const { return lastToken_; }
  size_t SearchCount() const;

  // State, for the field and for tests.
  int itemCount() const { return itemCount_; }
  int topIndex() const { return topIndex_; }
  int selectedIndex() const { return selectedIndex_; }
  int pageRows() const { return pageRows_; }
  int rowHeight() const { return rowHeight_; }
  HWND scrollBar() const { return bar_.bar(); }
  RECT userRect() const { return userRect_; }
  size_t MatchCount() const { return matches_.size(); }
  std::string MatchAt(size_t i) const;
  // The display name shown beside match i ("" in the plain mode).
  std::string MatchNameAt(size_t i) const;
  // True while the rows shown are more than the matches that back them.
  bool RowsAreStale() const { return static_cast<size_t>(itemCount_) > matches_.size(); }
  // Heap bytes held by this list alone (matches and scratch), and by the
  // index it refers to (possibly shared with other fields).
  size_t OwnMemoryBytes() const;
  size_t IndexMemoryBytes() const;

  // Painting into any DC, shared by WM_PAINT and WM_PRINTCLIENT.
  void Paint(HDC dc);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wparam, LPARAM lparam) override;

 private:
  bool EnsureVisible(int index, bool animate);
  void RefreshScroll();
  // The row under a client point, or -1; changes nothing.
  int HitTest(POINT pt) const;
  void UpdateScrollInfo();
  void PositionScrollBar();
  int ScrollBarWidth() const;
  const SearchIndex* CurrentIndex();  // folds pending additions in
  void Hide();
  // Gives the scroll bar range, page and position from itemCount, pageRows
  // and topIndex, and shows or hides it, where that differs from what it
  // holds. `now`: repaint it at once; otherwise it is invalidated and paints
  // with the pop-up.
  void SyncScrollBar(bool now);
  // Invalidates the rows; the scroll bar repaints only when it changed.
  void InvalidateRows();

  void OnPaint();
  LRESULT OnNcCalcSize(WPARAM wparam, LPARAM lparam);
  void OnNcPaint();
  LRESULT OnNcHitTest(LPARAM lparam);
  LRESULT OnNcLButtonDown(WPARAM wparam, LPARAM lparam);
  LRESULT OnSize(WPARAM wparam, LPARAM lparam);
  void OnGetMinMaxInfo(MINMAXINFO* info);
  LRESULT OnShowWindow(WPARAM wparam, LPARAM lparam);
  LRESULT OnTimer(WPARAM wparam, LPARAM lparam);
  LRESULT OnLButtonDown(WPARAM wparam, LPARAM lparam);
  LRESULT OnMouseMove(WPARAM wparam, LPARAM lparam);
  LRESULT OnSetCursor(WPARAM wparam, LPARAM lparam);
  LRESULT OnVScroll(WPARAM wparam, LPARAM lparam);
  bool InGripSquare(POINT screen_pt) const;

  std::shared_ptr<const SearchIndex> search_;      // the search list
  std::unique_ptr<SearchIndexBuilder> pending_;    // entries added since
  std::shared_ptr<const SearchIndex> match_index_; // what matches_ index into
  std::vector<uint32_t> matches_;                  // the match list, sorted
  PrefixMatcher matcher_;
  std::shared_ptr<const NameIndex> names_;         // the name mode's search list
  std::shared_ptr<const NameIndex> match_names_;   // names of match_index_'s rows
  NameMatcher name_matcher_;
  UsageSource* usage_ = nullptr;
  UsageRanker ranker_;
  std::string lastToken_;
  std::u16string wide_token_;                      // scratch of the name mode
  RECT userRect_ = {0, 0, 0, 0};
  RECT parentRect_ = {0, 0, 0, 0};
  HWND owner_ = nullptr;
  UINT_PTR timerId_ = 0;
  int topIndex_ = 0;
  int itemCount_ = 0;
  int rowHeight_ = 16;
  int pageRows_ = 0;
  int selectedIndex_ = -1;
  ScrollBarMirror bar_;
  bool deferBar_ = false;  // inside FindString: the bar is synced at its end
  bool placing_ = false;   // inside FindString's own SetWindowPos
  SIZE intended_ = {0, 0}; // the size of the last placement, before the screen's edges
  SIZE placed_ = {0, 0};   // and after them
  SuggestPainter painter_;
};

}  // namespace vantrel
