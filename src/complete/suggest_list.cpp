#include "complete/suggest_list.h"

#include <windowsx.h>

#include <algorithm>
#include <iterator>

#include "complete/suggest_math.h"
#include "platform/ansi.h"
#include "platform/handles.h"
#include "platform/text_codec.h"

namespace vantrel {

void DrainPaintMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

CSuggestList::~CSuggestList() {
  matches_.clear();
  match_index_.reset();
  match_names_.reset();
  names_.reset();
  pending_.reset();
  search_.reset();
  // Destroyed here rather than in the base, so that the hide and destroy
  // messages still reach this class's handlers.
  DestroyWindow();
}

void CSuggestList::Init(HWND owner) {
  bar_.Create(hwnd());
  PositionScrollBar();
  owner_ = owner;
  itemCount_ = static_cast<int>(matches_.size());
  UpdateScrollInfo();  // also puts the bar at topIndex, 0
  if (!hwnd()) return;
  ScopedWindowDC dc(hwnd());
  if (dc) {
    HGDIOBJ font = ::GetStockObject(DEFAULT_GUI_FONT);
    ScopedSelectObject select(dc.get(), font);
    SIZE size = {0, 0};
    // A failed measurement keeps the default; a zero height would leave no
    // rows to show or hit.
    if (::GetTextExtentPoint32A(dc.get(), "Hg", 2, &size) && size.cy > 0) rowHeight_ = size.cy;
  }
}

const SearchIndex* CSuggestList::CurrentIndex() {
  if (pending_) {
    search_ = pending_->Build();
    pending_.reset();
  }
  return search_.get();
}

void CSuggestList::AddSearchString(const std::string& entry) {
  // Entries added one by one (the address-book rebuild adds 100,000 in a
  // row) collect in a builder; the sort happens once, at the next match.
  // Entries added by hand have no names: the plain mode from here on,
  // starting from the name index's addresses.
  names_.reset();
  if (!pending_) pending_ = std::make_unique<SearchIndexBuilder>(std::move(search_));
  search_.reset();
  pending_->Add(entry, UpperAnsi(entry));
}

void CSuggestList::RemoveSearchAll() {
  pending_.reset();
  search_.reset();
  names_.reset();
  matches_.clear();
  match_index_.reset();
  match_names_.reset();
}

void CSuggestList::SetNameIndex(std::shared_ptr<const NameIndex> names) {
  RemoveSearchAll();
  if (!names) return;
  // The addresses live inside the name index; this pointer shares its
  // ownership, so a match list built from it keeps the names alive too.
  search_ = std::shared_ptr<const SearchIndex>(names, &names->addresses());
  names_ = std::move(names);
}

void CSuggestList::SetSearchList(std::shared_ptr<const SearchIndex> index) {
  RemoveSearchAll();
  search_ = std::move(index);
}

size_t CSuggestList::SearchCount() const {
  if (pending_) return pending_->size();
  return search_ ? search_->size() : 0;
}

std::string CSuggestList::MatchAt(size_t i) const {
  if (i >= matches_.size() || !match_index_) return std::string();
  return std::string(match_index_->entry(matches_[i]));
}

std::string CSuggestList::MatchNameAt(size_t i) const {
  if (i >= matches_.size() || !match_names_) return std::string();
  return std::string(match_names_->display_name(matches_[i]));
}

size_t CSuggestList::OwnMemoryBytes() const {
  return sizeof(*this) + matches_.capacity() * sizeof(uint32_t) + matcher_.MemoryBytes() +
         ranker_.MemoryBytes() + lastToken_.capacity();
}

size_t CSuggestList::IndexMemoryBytes() const {
  // In the name mode the addresses are part of the name index.
  size_t bytes = names_ ? names_->MemoryBytes() : search_ ? search_->MemoryBytes() : 0;
  if (match_index_ && match_index_ != search_) bytes += match_index_->MemoryBytes();
  return bytes;
}

void CSuggestList::Hide() {
  if (hwnd()) ::ShowWindow(hwnd(), SW_HIDE);
}

int CSuggestList::FindString(int startAfter, const std::string& token, bool showOnly) {
  const size_t previous = matches_.size();
  if (!showOnly) {
    lastToken_ = token;
    if (!owner_ || startAfter > static_cast<long long>(SearchCount()) || token.empty()) {
      Hide();
      return -1;
    }
    const SearchIndex* index = CurrentIndex();
    if (names_) {
      // Names, pinyin and readings are matched in UTF-16; a token that the
      // code page cannot decode still matches addresses.
      if (!SystemTextCodec().AnsiToWide(token, &wide_token_)) wide_token_.clear();
      name_matcher_.Match(*names_, UpperAnsi(token), wide_token_, &matches_);
      // The addresses the user writes to most come first, deleted ones go.
      if (usage_) ranker_.Rank(usage_->Book(), names_, names_->addresses(), &matches_);
      match_index_ = search_;
      match_names_ = names_;
    } else if (index) {
      MatchToken(&matcher_, *index, startAfter, token, &matches_);
      match_index_ = search_;
      match_names_.reset();
    } else {
      matches_.clear();
      match_index_.reset();
      match_names_.reset();
    }
  }
  itemCount_ = static_cast<int>(matches_.size());
  if (itemCount_ == 0) {
    Hide();
    return 1;
  }
  RECT owner_rect = {0, 0, 0, 0};
  ::GetWindowRect(owner_, &owner_rect);
  int width = owner_rect.right - owner_rect.left;
  int height = PopupHeight(itemCount_, rowHeight_, ::GetSystemMetrics(SM_CYBORDER));
  if (!::IsRectEmpty(&userRect_)) {
    width = userRect_.right - userRect_.left;
    height = userRect_.bottom - userRect_.top;
  }
  // Under the field, unless that runs off the work area of the field's
  // monitor (a compose window near the bottom of the screen): then above
  // it, or shortened to whole rows on the side with more room; moved in
  // from the side edges.
  ScreenRect placed = {owner_rect.left, owner_rect.bottom, owner_rect.left + width,
                       owner_rect.bottom + height};
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (::GetMonitorInfoA(::MonitorFromWindow(owner_, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& w = monitor.rcWork;
    placed = PlacePopup({owner_rect.left, owner_rect.top, owner_rect.right, owner_rect.bottom},
                        width, height, {w.left, w.top, w.right, w.bottom}, rowHeight_,
                        2 * ::GetSystemMetrics(SM_CYBORDER));
  }
  intended_ = SIZE{width, height};
  placed_ = SIZE{placed.right - placed.left, placed.bottom - placed.top};
  const RECT target = {placed.left, placed.top, placed.right, placed.bottom};
  // The scroll bar is given its state once, below, for the final size: the
  // WM_SIZE that the move may cause leaves it alone.
  deferBar_ = true;
  const bool was_shown = ::IsWindowVisible(hwnd()) != FALSE;
  RECT now = {0, 0, 0, 0};
  ::GetWindowRect(hwnd(), &now);
  const bool topmost = (::GetWindowLongA(hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  // Every showing puts the pop-up on top of the other topmost windows; while
  // it shows, a move that changes nothing is left out. Placed before it is
  // shown, so it never appears at its old place first.
  if (!was_shown || !topmost || !::EqualRect(&now, &target)) {
    // Its WM_SIZE is this placement, not the user's drag: a pop-up
    // shortened for want of room must not become the user's size.
    placing_ = true;
    ::SetWindowPos(hwnd(), HWND_TOPMOST, target.left, target.top, placed_.cx, placed_.cy, 0);
    placing_ = false;
  }
  if (!was_shown) ::ShowWindow(hwnd(), SW_SHOWNORMAL);
  InvalidateRows();
  PositionScrollBar();
  UpdateScrollInfo();
  deferBar_ = false;
  SyncScrollBar(false);
  if (static_cast<size_t>(itemCount_) != previous) selectedIndex_ = -1;
  // The matcher delivers the matches already in sorted order.
  return 1;
}

bool CSuggestList::HideSelected() {
  if (!names_ || !usage_ || match_names_ != names_ || selectedIndex_ < 0 ||
      static_cast<size_t>(selectedIndex_) >= matches_.size()) {
    return false;
  }
  usage_->Hide(MatchAt(static_cast<size_t>(selectedIndex_)));
  return true;
}

std::string CSuggestList::GetString() const {
  int row = RowForString(selectedIndex_, static_cast<int>(matches_.size()));
  return row < 0 ? std::string() : MatchAt(static_cast<size_t>(row));
}

std::string CSuggestList::GetNextString(int key) {
  selectedIndex_ = NextSelection(key, selectedIndex_, itemCount_, pageRows_);
  if (EnsureVisible(selectedIndex_, itemCount_ <= 50)) RefreshScroll();
  return GetString();
}

bool CSuggestList::SelectItem(int index) {
  if (index > itemCount_) return false;
  if (index == -1) {
    EnsureVisible(selectedIndex_, false);
    InvalidateRows();
    return false;
  }
  selectedIndex_ = index;
  // Animated only for short lists: row by row through 100,000 rows would
  // block the thread for many minutes.
  if (!EnsureVisible(index, itemCount_ <= 50)) InvalidateRows();
  return true;
}

bool CSuggestList::EnsureVisible(int index, bool animate) {
  ScrollTarget target = EnsureVisibleTarget(index, topIndex_, pageRows_, itemCount_);
  if (!target.changed) return false;
  if (animate) {
    while (topIndex_ != target.top) {
      topIndex_ += topIndex_ < target.top ? 1 : -1;
      RefreshScroll();
      ::Sleep(10);
      DrainPaintMessages();
    }
  }
  topIndex_ = target.top;
  RefreshScroll();
  return true;
}

void CSuggestList::RefreshScroll() {
  SyncScrollBar(true);
  InvalidateRows();
  DrainPaintMessages();
}

void CSuggestList::InvalidateRows() {
  // The pop-up has no WS_CLIPCHILDREN, so a plain InvalidateRect would
  // repaint the scroll bar as well; the rows never cover the bar's column,
  // and the bar repaints itself when its state changes.
  if (hwnd()) ::RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_NOCHILDREN);
}

void CSuggestList::SyncScrollBar(bool now) {
  if (deferBar_) return;
  // Without rows the bar keeps its range, page and visibility; only its
  // position follows topIndex.
  const bool rows = itemCount_ > 0;
  bar_.Sync(rows ? itemCount_ - 1 : bar_.max(), rows ? pageRows_ : bar_.page(), topIndex_,
            rows ? ScrollBarWanted(pageRows_, itemCount_) : bar_.shown(), now);
}

int CSuggestList::HitTest(POINT pt) const {
  RECT cr = {0, 0, 0, 0};
  ::GetClientRect(hwnd(), &cr);
  return HitTestRow(pt.x, pt.y, cr.right - ScrollBarWidth(), rowHeight_, topIndex_, itemCount_,
                    static_cast<int>(matches_.size()));
}

void CSuggestList::UpdateScrollInfo() {
  if (itemCount_ != 0 && hwnd()) {
    RECT wr = {0, 0, 0, 0};
    ::GetWindowRect(hwnd(), &wr);
    pageRows_ = PageRowsFor(wr.bottom - wr.top, rowHeight_);
    topIndex_ = ClampTopToPage(topIndex_, pageRows_, itemCount_);
  }
  SyncScrollBar(true);
}

void CSuggestList::PositionScrollBar() {
  // Only the bar's place; its position goes with the rest of its state in
  // the UpdateScrollInfo that always follows.
  if (!hwnd()) return;
  RECT cr = {0, 0, 0, 0};
  ::GetClientRect(hwnd(), &cr);
  bar_.Place(cr);
}

int CSuggestList::ScrollBarWidth() const { return bar_.VisibleWidth(); }

void CSuggestList::Paint(HDC dc) {
  SuggestRows rows = {};
  ::GetClientRect(hwnd(), &rows.client);
  rows.scrollBarWidth = ScrollBarWidth();
  rows.top = topIndex_;
  rows.itemCount = itemCount_;
  rows.selected = selectedIndex_;
  rows.rowHeight = rowHeight_;
  rows.matches = &matches_;
  rows.index = match_index_.get();
  rows.names = match_names_.get();
  painter_.Paint(dc, rows);
}

void CSuggestList::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd(), &ps);
  if (dc) Paint(dc);
  ::EndPaint(hwnd(), &ps);
}

LRESULT CSuggestList::OnNcCalcSize(WPARAM, LPARAM lparam) {
  // Both forms of the message start with the proposed client rectangle.
  RECT* r = reinterpret_cast<RECT*>(lparam);
  const int cx = ::GetSystemMetrics(SM_CXBORDER), cy = ::GetSystemMetrics(SM_CYBORDER);
  r->left += cx;
  r->right -= cx;
  r->top += cy;
  r->bottom -= cy;
  return 0;
}

void CSuggestList::OnNcPaint() {
  ScopedWindowDC dc(hwnd(), true);
  if (!dc) return;
  RECT wr, cr;
  ::GetWindowRect(hwnd(), &wr);
  ::GetClientRect(hwnd(), &cr);
  POINT origin = {0, 0};
  ::ClientToScreen(hwnd(), &origin);
  ::OffsetRect(&cr, origin.x - wr.left, origin.y - wr.top);
  ::ExcludeClipRect(dc.get(), cr.left, cr.top, cr.right, cr.bottom);
  RECT whole = {0, 0, wr.right - wr.left, wr.bottom - wr.top};
  ::SetBkColor(dc.get(), ::GetSysColor(COLOR_WINDOWTEXT));
  ::ExtTextOutA(dc.get(), 0, 0, ETO_OPAQUE, &whole, "", 0, nullptr);
}

bool CSuggestList::InGripSquare(POINT screen_pt) const {
  RECT wr = {0, 0, 0, 0};
  ::GetWindowRect(hwnd(), &wr);
  RECT grip = {wr.right - ::GetSystemMetrics(SM_CYVSCROLL),
               wr.bottom - ::GetSystemMetrics(SM_CXVSCROLL), wr.right, wr.bottom};
  return ::PtInRect(&grip, screen_pt) != FALSE;
}

LRESULT CSuggestList::OnNcHitTest(LPARAM lparam) {
  POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  return InGripSquare(pt) ? HTBOTTOMRIGHT : HTCLIENT;
}

LRESULT CSuggestList::OnNcLButtonDown(WPARAM wparam, LPARAM lparam) {
  POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  if (InGripSquare(pt)) {
    ::GetWindowRect(hwnd(), &userRect_);
    // Shortened or narrowed for want of room, the pop-up keeps the size it
    // was to have if the press ends without a drag; a drag's WM_SIZE then
    // takes the size the user made.
    if (userRect_.right - userRect_.left == placed_.cx &&
        userRect_.bottom - userRect_.top == placed_.cy &&
        (placed_.cx != intended_.cx || placed_.cy != intended_.cy)) {
      userRect_.right = userRect_.left + intended_.cx;
      userRect_.bottom = userRect_.top + intended_.cy;
    }
  }
  return DefaultProc(WM_NCLBUTTONDOWN, wparam, lparam);
}

LRESULT CSuggestList::OnSize(WPARAM wparam, LPARAM lparam) {
  LRESULT r = DefaultProc(WM_SIZE, wparam, lparam);
  PositionScrollBar();
  UpdateScrollInfo();
  if (!placing_ && !::IsRectEmpty(&userRect_)) ::GetWindowRect(hwnd(), &userRect_);
  return r;
}

void CSuggestList::OnGetMinMaxInfo(MINMAXINFO* info) {
  info->ptMinTrackSize.y =
      MinTrackHeight(itemCount_, rowHeight_, pageRows_, ::GetSystemMetrics(SM_CYHSCROLL),
                     ::GetSystemMetrics(SM_CYFRAME), ::GetSystemMetrics(SM_CXHTHUMB),
                     ::GetSystemMetrics(SM_CYBORDER));
  info->ptMinTrackSize.x = 4 * ::GetSystemMetrics(SM_CXHSCROLL);
  if (owner_) {
    RECT r = {0, 0, 0, 0};
    if (::GetWindowRect(owner_, &r)) info->ptMinTrackSize.x = r.right - r.left;
  }
}

LRESULT CSuggestList::OnShowWindow(WPARAM wparam, LPARAM lparam) {
  if (wparam) {
    timerId_ = ::SetTimer(hwnd(), kTimerId, 200, nullptr);
    parentRect_ = RECT{0, 0, 0, 0};
    ::GetWindowRect(::GetParent(owner_), &parentRect_);
  } else {
    if (timerId_ != 0) ::KillTimer(hwnd(), kTimerId);
    timerId_ = 0;
    selectedIndex_ = -1;
    topIndex_ = 0;
  }
  LRESULT r = DefaultProc(WM_SHOWWINDOW, wparam, lparam);
  ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
  return r;
}

LRESULT CSuggestList::OnTimer(WPARAM wparam, LPARAM lparam) {
  LRESULT r = DefaultProc(WM_TIMER, wparam, lparam);
  RECT now = {0, 0, 0, 0};
  ::GetWindowRect(::GetParent(owner_), &now);
  if (!::EqualRect(&now, &parentRect_)) Hide();
  return r;
}

LRESULT CSuggestList::OnLButtonDown(WPARAM wparam, LPARAM lparam) {
  LRESULT r = DefaultProc(WM_LBUTTONDOWN, wparam, lparam);
  POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  const int row = HitTest(pt);
  if (row < 0) {
    RECT cr = {0, 0, 0, 0};
    ::GetClientRect(hwnd(), &cr);
    if (!::PtInRect(&cr, pt)) Hide();
    return r;
  }
  selectedIndex_ = row;
  if (!EnsureVisible(row, itemCount_ <= 50)) InvalidateRows();
  HWND self = hwnd();
  ::SendMessageA(owner_, WM_COMPLETION_NOTIFY, kNotifyTaken, ::GetDlgCtrlID(self));
  // The owner may have destroyed its field, and this list with it.
  if (!::IsWindow(self) || Window::FromHandle(self) != this) return 0;
  DrainPaintMessages();
  ::Sleep(500);  // the chosen row stays on screen, highlighted
  Hide();
  return r;
}

LRESULT CSuggestList::OnMouseMove(WPARAM wparam, LPARAM lparam) {
  LRESULT r = DefaultProc(WM_MOUSEMOVE, wparam, lparam);
  POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  const int row = HitTest(pt);
  if (row >= 0) {
    selectedIndex_ = row;
    InvalidateRows();
  }
  return r;
}

LRESULT CSuggestList::OnSetCursor(WPARAM wparam, LPARAM lparam) {
  POINT cursor = {0, 0};
  ::GetCursorPos(&cursor);
  if (InGripSquare(cursor)) return DefaultProc(WM_SETCURSOR, wparam, lparam);
  ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
  return TRUE;
}

LRESULT CSuggestList::OnVScroll(WPARAM wparam, LPARAM lparam) {
  LRESULT r = DefaultProc(WM_VSCROLL, wparam, lparam);
  const int code = LOWORD(wparam);
  int pos = HIWORD(wparam);
  // A list of more than 65,535 rows needs the bar's 32-bit position.
  if (code == SB_THUMBTRACK) pos = bar_.TrackPos(pos);
  const int old_top = topIndex_;
  topIndex_ = ScrollTopForCode(code, pos, topIndex_, pageRows_, itemCount_);
  SyncScrollBar(true);
  if (topIndex_ != old_top) InvalidateRows();
  return r;
}

LRESULT CSuggestList::WndProc(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_ERASEBKGND:
      return 0;
    case WM_NCCALCSIZE:
      return OnNcCalcSize(wparam, lparam);
    case WM_NCPAINT:
      OnNcPaint();
      return 0;
    case WM_NCHITTEST:
      return OnNcHitTest(lparam);
    case WM_NCLBUTTONDOWN:
      return OnNcLButtonDown(wparam, lparam);
    case WM_SIZE:
      return OnSize(wparam, lparam);
    case WM_DESTROY:
      painter_.Reset();
      return DefaultProc(msg, wparam, lparam);
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lparam));
      return 0;
    case WM_SHOWWINDOW:
      return OnShowWindow(wparam, lparam);
    case WM_TIMER:
      return OnTimer(wparam, lparam);
    case WM_ACTIVATEAPP: {
      LRESULT r = DefaultProc(msg, wparam, lparam);
      Hide();
      return r;
    }
    case WM_KEYDOWN: {
      LRESULT r = DefaultProc(msg, wparam, lparam);
      if (wparam == VK_ESCAPE) Hide();
      return r;
    }
    case WM_LBUTTONDOWN:
      return OnLButtonDown(wparam, lparam);
    case WM_RBUTTONDOWN: {
      LRESULT r = DefaultProc(msg, wparam, lparam);
      Hide();
      return r;
    }
    case WM_MOUSEMOVE:
      return OnMouseMove(wparam, lparam);
    case WM_SETCURSOR:
      return OnSetCursor(wparam, lparam);
    case WM_VSCROLL:
      return OnVScroll(wparam, lparam);
    default:
      return DefaultProc(msg, wparam, lparam);
  }
}

}  // namespace vantrel
