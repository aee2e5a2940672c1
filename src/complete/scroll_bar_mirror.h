// The pop-up's scroll bar, and a mirror of what it was last given. Under
// Wine every scroll-bar call with redraw repaints the bar at once
// (milliseconds each), so a call is made only when its value differs from
// the mirror's, and a bar whose thumb and parts would stay where they were
// is not repainted. UI thread only, like the pop-up.
#pragma once

#include <windows.h>

namespace vantrel {

class ScrollBarMirror {
 public:
  // Creates the bar as a child of `parent`, once; what the new bar holds is
  // where the mirror starts.
  void Create(HWND parent);
  HWND bar() const { return bar_; }

  // Puts the bar along the right edge of `client` (the parent's client
  // rectangle), unless it is there already.
  void Place(const RECT& client);

  // Gives the bar range 0..max, page and position, and shows or hides it,
  // where that differs from what it holds. `now`: repaint it at once;
  // otherwise it is invalidated and paints with its parent.
  void Sync(int max, int page, int pos, bool shown, bool now);

  // What the bar was last given.
  int max() const { return max_; }
  int page() const { return page_; }
  bool shown() const { return shown_; }

  // Its width while it shows, else 0.
  int VisibleWidth() const;

  // The 32-bit position of a thumb drag whose message carried `pos16` (a
  // list of more than 65,535 rows); `pos16` itself when the bar cannot tell.
  int TrackPos(int pos16) const;

 private:
  // Reads how the bar looks now; true when that differs from the last look.
  bool LooksChanged();

  HWND bar_ = nullptr;
  int max_ = 0, page_ = 0, pos_ = 0;
  bool shown_ = false;
  RECT rect_ = {0, 0, 0, 0};
  bool placed_ = false;  // rect_ is meaningful
  bool looksKnown_ = false;
  int thumbTop_ = 0, thumbBottom_ = 0;
  DWORD states_[CCHILDREN_SCROLLBAR + 1] = {};
};

}  // namespace vantrel
