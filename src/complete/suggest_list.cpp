#include "complete/suggest_list.h"

#include <windowsx.h>

#include <algorithm>
#include <iterator>

#include "complete/suggest_math.h"
#include "platform/ansi.h"
#include "platform/handles.h"
#include "platform/text_codec.h"

namespace vantrel {

std::shared_ptr<const SearchIndex> BuildSearchIndex(const std::vector<std::string>& entries) {
  SearchIndexBuilder builder;
  size_t bytes = 0;
  for (const std::string& e : entries) bytes += e.size();
  builder.Reserve(entries.size(), bytes);
  const AnsiUpperFolder folder;
  std::string key;
  for (const std::string& e : entries) {
    folder.Fold(e, &key);
    builder.Add(e, key);
  }
  return builder.Build();
}

void MatchToken(PrefixMatcher* matcher, const SearchIndex& index, int start_after,
                const std::string& token, std::vector<uint32_t>* out) {
  matcher->Match(index, start_after, UpperAnsi(token), out);
}

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
  const int cyv = ::GetSystemMetrics(SM_CYVSCROLL);
  if (hwnd() && !scrollBar_) {
    scrollBar_ = ::CreateWindowExA(0, "SCROLLBAR", nullptr,
                                   WS_CHILD | WS_VISIBLE | SBS_VERT | SBS_LEFTALIGN, 0, 0, cyv,
                                   100, hwnd(), nullptr, ThisModule(), nullptr);
    if (scrollBar_) {
      // What the new bar holds is where the remembered state starts.
      SCROLLINFO si = {};
      si.cbSize = sizeof si;
      si.fMask = SIF_ALL;
      if (::GetScrollInfo(scrollBar_, SB_CTL, &si)) {
        bar_.max = si.nMax;
        bar_.page = static_cast<int>(si.nPage);
        bar_.pos = si.nPos;
      }
      bar_.shown = (::GetWindowLongA(scrollBar_, GWL_STYLE) & WS_VISIBLE) != 0;
      bar_.placed = false;
    }
  }
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
  if (!scrollBar_ || deferBar_) return;
  // Without rows the bar keeps its range, page and visibility; only its
  // position follows topIndex.
  const bool rows = itemCount_ > 0;
  const int max = rows ? itemCount_ - 1 : bar_.max;
  const int page = rows ? pageRows_ : bar_.page;
  const bool shown = rows ? ScrollBarWanted(pageRows_, itemCount_) : bar_.shown;
  // Range, page and position always go together: what the bar makes of
  // them (it clamps the page to the range and the position to both) then
  // depends on these three values alone, so equal values mean an equal bar.
  if (max != bar_.max || page != bar_.page || topIndex_ != bar_.pos) {
    const bool repaint = bar_.shown && shown;
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = max;
    si.nPage = static_cast<UINT>(std::max(page, 0));
    si.nPos = topIndex_;
    ::SetScrollInfo(scrollBar_, SB_CTL, &si, repaint && now);
    bar_.max = max;
    bar_.page = page;
    bar_.pos = topIndex_;
    // Typing changes the range at nearly every keystroke, while the thumb
    // of a long list keeps its smallest size at the top: a bar whose thumb
    // and parts stay where they were would repaint the same pixels.
    if (BarLooksChanged() && repaint && !now) ::InvalidateRect(scrollBar_, nullptr, TRUE);
  }
  if (shown != bar_.shown) {
    ::ShowWindow(scrollBar_, shown ? SW_SHOWNORMAL : SW_HIDE);
    bar_.shown = shown;
  }
}

bool CSuggestList::BarLooksChanged() {
  SCROLLBARINFO sbi = {};
  sbi.cbSize = sizeof sbi;
  if (!::GetScrollBarInfo(scrollBar_, OBJID_CLIENT, &sbi)) {
    bar_.looksKnown = false;
    return true;
  }
  const bool same = bar_.looksKnown && sbi.xyThumbTop == bar_.thumbTop &&
                    sbi.xyThumbBottom == bar_.thumbBottom &&
                    std::equal(std::begin(sbi.rgstate), std::end(sbi.rgstate), bar_.states);
  bar_.looksKnown = true;
  bar_.thumbTop = sbi.xyThumbTop;
  bar_.thumbBottom = sbi.xyThumbBottom;
  std::copy(std::begin(sbi.rgstate), std::end(sbi.rgstate), bar_.states);
  return !same;
}

int CSuggestList::HitTest(POINT pt) {
  RECT cr = {0, 0, 0, 0};
  ::GetClientRect(hwnd(), &cr);
  int row = HitTestRow(pt.x, pt.y, cr.right - ScrollBarWidth(), rowHeight_, topIndex_, itemCount_,
                       static_cast<int>(matches_.size()));
  if (row >= 0) selectedIndex_ = row;
  return row;
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
  if (!hwnd() || !scrollBar_) return;
  RECT cr = {0, 0, 0, 0};
  ::GetClientRect(hwnd(), &cr);
  const int cyv = ::GetSystemMetrics(SM_CYVSCROLL);
  const RECT want = {cr.right - cyv, -1, cr.right,
                     -1 + cr.bottom - ::GetSystemMetrics(SM_CYHSCROLL) + 1};
  if (bar_.placed && ::EqualRect(&want, &bar_.rect)) return;
  ::MoveWindow(scrollBar_, want.left, want.top, want.right - want.left, want.bottom - want.top, TRUE);
  bar_.rect = want;
  bar_.placed = true;
  bar_.looksKnown = false;  // its thumb follows its length; the move repaints it
}

int CSuggestList::ScrollBarWidth() const {
  return scrollBar_ && ::IsWindowVisible(scrollBar_) ? ::GetSystemMetrics(SM_CYVSCROLL) : 0;
}

void CSuggestList::DrawRow(HDC dc, int index, int width) {
  RECT r = {2, (index - topIndex_) * rowHeight_, width, (index - topIndex_ + 1) * rowHeight_};
  ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
  if (index == selectedIndex_) {
    RECT band = {0, r.top, width, r.bottom};
    ::SetBkColor(dc, ::GetSysColor(COLOR_HIGHLIGHT));
    ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &band, "", 0, nullptr);
    ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHTTEXT));
  }
  const uint32_t row = matches_[static_cast<size_t>(index)];
  std::string_view text = match_index_->entry(row);
  constexpr UINT kFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
  ::DrawTextA(dc, text.data(), static_cast<int>(text.size()), &r, kFormat);
  if (!match_names_) return;
  std::string_view name = match_names_->display_name(row);
  if (name.empty()) return;
  // The name follows the address after a gap of two blanks' width, in the
  // grey text colour; on the highlight grey would be hard to read, so a
  // selected row keeps the highlight's text colour. An address that fills
  // the row leaves no room, and no name is drawn.
  SIZE address = {0, 0}, gap = {0, 0};
  ::GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &address);
  ::GetTextExtentPoint32A(dc, "  ", 2, &gap);
  RECT name_rect = r;
  name_rect.left = r.left + address.cx + gap.cx;
  if (name_rect.left >= name_rect.right) return;
  if (index != selectedIndex_) ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
  ::DrawTextA(dc, name.data(), static_cast<int>(name.size()), &name_rect, kFormat);
}

void CSuggestList::PaintCache::Reset() {
  if (dc && firstBitmap) ::SelectObject(dc.get(), firstBitmap);
  firstBitmap = nullptr;
  bitmap.reset();
  dc.reset();
  width = height = 0;
  for (UniquePen& pen : pens) pen.reset();
}

HDC CSuggestList::PaintCache::Prepare(HDC compatible, int w, int h) {
  if (!dc) {
    dc.reset(::CreateCompatibleDC(compatible));
    if (!dc) return nullptr;
    // The client rectangle starts at (0, 0), so the DC's window origin
    // stays where it is; the font and the transparent text are set once.
    ::SelectObject(dc.get(), ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc.get(), TRANSPARENT);
  }
  if (!bitmap || width != w || height != h) {
    UniqueBitmap fresh(::CreateCompatibleBitmap(compatible, w, h));
    if (!fresh) return nullptr;
    HGDIOBJ previous = ::SelectObject(dc.get(), fresh.get());
    if (!firstBitmap) firstBitmap = previous;
    bitmap = std::move(fresh);  // the old one is no longer selected
    width = w;
    height = h;
  }
  return dc.get();
}

void CSuggestList::PaintCache::PreparePens(const COLORREF (&colors)[3]) {
  for (int i = 0; i < 3; ++i) {
    if (pens[i] && penColors[i] == colors[i]) continue;
    pens[i].reset(::CreatePen(PS_SOLID, 1, colors[i]));
    penColors[i] = colors[i];
  }
}

void CSuggestList::Paint(HDC dc) {
  RECT cr = {0, 0, 0, 0};
  ::GetClientRect(hwnd(), &cr);
  const int cxh = ::GetSystemMetrics(SM_CXHSCROLL);
  RECT grip = {cr.right - cxh, cr.bottom - ::GetSystemMetrics(SM_CYVSCROLL), cr.right, cr.bottom};
  const int sbw = ScrollBarWidth();
  const int bw = cr.right - sbw - cr.left, bh = cr.bottom - cr.top;
  if (bw <= 0 || bh <= 0) return;

  // The memory DC and its bitmap live as long as the pop-up keeps its size.
  HDC mem = paint_.Prepare(dc, bw, bh);
  if (!mem) return;

  ::SetBkColor(mem, ::GetSysColor(COLOR_WINDOW));
  ::ExtTextOutA(mem, 0, 0, ETO_OPAQUE, &cr, "", 0, nullptr);

  // Only the rows that exist in the match list, and of those only the ones
  // that reach into the bitmap: a list of 100,000 matches paints a page.
  const int rows = RowsToDraw(topIndex_, itemCount_, static_cast<int>(matches_.size()));
  const int visible = rowHeight_ > 0 ? bh / rowHeight_ + 1 : 0;
  const int last = topIndex_ + std::min(rows, visible);
  for (int i = std::max(topIndex_, 0); i < last; ++i) DrawRow(mem, i, cr.right - cr.left - sbw);

  // The pens are kept while the system colours they are drawn in stay.
  const COLORREF colors[3] = {::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_BTNFACE),
                              ::GetSysColor(COLOR_BTNSHADOW)};
  paint_.PreparePens(colors);
  UniquePen (&pens)[3] = paint_.pens;
  HDC grip_dc = mem;
  if (sbw > 0) {
    // The bitmap stops short of the scroll bar's column; the grip below the
    // bar goes straight onto the window.
    grip_dc = dc;
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &grip, "", 0, nullptr);
  }
  {
    // 20 parallel lines in a cycle of four pens (window, face, shadow,
    // shadow), drawn one pen at a time: one call per pen instead of three
    // per line. The lines never cross, so the order does not show, and both
    // ends of every line lie outside the client area (below it and right of
    // it), so whether an end pixel is drawn does not show either.
    static const int kCycle[4] = {0, 1, 2, 2};
    POINT points[3][20];
    DWORD counts[3][10];
    int lines[3] = {0, 0, 0};
    for (int j = 0; j < 20; ++j) {
      const int pen = kCycle[j % 4];
      POINT* line = &points[pen][2 * lines[pen]];
      line[0] = POINT{grip.left + j - 1, cr.bottom};
      line[1] = POINT{grip.left + j + cxh, cr.bottom - cxh - 1};
      counts[pen][lines[pen]++] = 2;
    }
    HGDIOBJ old_pen = ::SelectObject(grip_dc, pens[0].get());
    for (int pen = 0; pen < 3; ++pen) {
      ::SelectObject(grip_dc, pens[pen].get());
      ::PolyPolyline(grip_dc, points[pen], counts[pen], static_cast<DWORD>(lines[pen]));
    }
    ::SelectObject(grip_dc, old_pen);
  }
  ::BitBlt(dc, cr.left, cr.top, bw, bh, mem, cr.left, cr.top, SRCCOPY);
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
  int row = HitTest(pt);
  if (row < 0) {
    RECT cr = {0, 0, 0, 0};
    ::GetClientRect(hwnd(), &cr);
    if (!::PtInRect(&cr, pt)) Hide();
    return r;
  }
  if (!EnsureVisible(row, itemCount_ <= 50)) InvalidateRows();
  selectedIndex_ = row;
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
  if (HitTest(pt) >= 0) InvalidateRows();
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
  if (code == SB_THUMBTRACK && scrollBar_) {
    // The message carries only 16 bits; a list of more than 65,535 rows
    // needs the bar's own 32-bit tracking position, which agrees with the
    // message in its low 16 bits.
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_TRACKPOS;
    if (::GetScrollInfo(scrollBar_, SB_CTL, &si) && (si.nTrackPos & 0xFFFF) == pos)
      pos = si.nTrackPos;
  }
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
      paint_.Reset();
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
