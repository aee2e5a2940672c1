#include "complete/scroll_bar_mirror.h"

#include <algorithm>
#include <iterator>

#include "platform/window.h"

namespace vantrel {

void ScrollBarMirror::Create(HWND parent) {
  if (!parent || bar_) return;
  const int cyv = ::GetSystemMetrics(SM_CYVSCROLL);
  bar_ = ::CreateWindowExA(0, "SCROLLBAR", nullptr, WS_CHILD | WS_VISIBLE | SBS_VERT | SBS_LEFTALIGN,
                           0, 0, cyv, 100, parent, nullptr, ThisModule(), nullptr);
  if (!bar_) return;
  SCROLLINFO si = {};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  if (::GetScrollInfo(bar_, SB_CTL, &si)) {
    max_ = si.nMax;
    page_ = static_cast<int>(si.nPage);
    pos_ = si.nPos;
  }
  shown_ = (::GetWindowLongA(bar_, GWL_STYLE) & WS_VISIBLE) != 0;
  placed_ = false;
}

void ScrollBarMirror::Place(const RECT& cr) {
  if (!bar_) return;
  const int cyv = ::GetSystemMetrics(SM_CYVSCROLL);
  const RECT want = {cr.right - cyv, -1, cr.right,
                     -1 + cr.bottom - ::GetSystemMetrics(SM_CYHSCROLL) + 1};
  if (placed_ && ::EqualRect(&want, &rect_)) return;
  ::MoveWindow(bar_, want.left, want.top, want.right - want.left, want.bottom - want.top, TRUE);
  rect_ = want;
  placed_ = true;
  looksKnown_ = false;  // its thumb follows its length; the move repaints it
}

void ScrollBarMirror::Sync(int max, int page, int pos, bool shown, bool now) {
  if (!bar_) return;
  // Range, page and position always go together: what the bar makes of
  // them (it clamps the page to the range and the position to both) then
  // depends on these three values alone, so equal values mean an equal bar.
  if (max != max_ || page != page_ || pos != pos_) {
    const bool repaint = shown_ && shown;
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = max;
    si.nPage = static_cast<UINT>(std::max(page, 0));
    si.nPos = pos;
    ::SetScrollInfo(bar_, SB_CTL, &si, repaint && now);
    max_ = max;
    page_ = page;
    pos_ = pos;
    // Typing changes the range at nearly every keystroke, while the thumb
    // of a long list keeps its smallest size at the top: a bar whose thumb
    // and parts stay where they were would repaint the same pixels.
    if (LooksChanged() && repaint && !now) ::InvalidateRect(bar_, nullptr, TRUE);
  }
  if (shown != shown_) {
    ::ShowWindow(bar_, shown ? SW_SHOWNORMAL : SW_HIDE);
    shown_ = shown;
  }
}

bool ScrollBarMirror::LooksChanged() {
  SCROLLBARINFO sbi = {};
  sbi.cbSize = sizeof sbi;
  if (!::GetScrollBarInfo(bar_, OBJID_CLIENT, &sbi)) {
    looksKnown_ = false;
    return true;
  }
  const bool same = looksKnown_ && sbi.xyThumbTop == thumbTop_ &&
                    sbi.xyThumbBottom == thumbBottom_ &&
                    std::equal(std::begin(sbi.rgstate), std::end(sbi.rgstate), states_);
  looksKnown_ = true;
  thumbTop_ = sbi.xyThumbTop;
  thumbBottom_ = sbi.xyThumbBottom;
  std::copy(std::begin(sbi.rgstate), std::end(sbi.rgstate), states_);
  return !same;
}

int ScrollBarMirror::VisibleWidth() const {
  return bar_ && ::IsWindowVisible(bar_) ? ::GetSystemMetrics(SM_CYVSCROLL) : 0;
}

int ScrollBarMirror::TrackPos(int pos16) const {
  if (!bar_) return pos16;
  // The message carries only 16 bits; the bar's own tracking position
  // agrees with it in its low 16 bits.
  SCROLLINFO si = {};
  si.cbSize = sizeof si;
  si.fMask = SIF_TRACKPOS;
  if (::GetScrollInfo(bar_, SB_CTL, &si) && (si.nTrackPos & 0xFFFF) == pos16) return si.nTrackPos;
  return pos16;
}

}  // namespace vantrel
