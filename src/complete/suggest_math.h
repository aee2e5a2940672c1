// Window-free arithmetic of the suggestion list: the sort order, the
// selection by key, scrolling into view, the scroll codes, hit testing and
// the sizes. The window code in suggest_list.cpp feeds these with the values
// it reads from the system (metrics, rectangles) and applies the results.
//
// Every function that yields a row index is bounded by the number of rows
// that really exist, so a caller never reads past its match list, even when
// the row count it keeps (itemCount) is larger than the list (which happens
// when the search list is emptied under a showing pop-up).
#pragma once

#include <string_view>

namespace vantrel {

// The "C" locale's case-insensitive comparison (_stricmp): bytes compared as
// unsigned values with only A-Z folded to a-z; at the first difference or at
// the end of the shorter string. Negative, zero or positive.
int CompareNoCaseC(std::string_view a, std::string_view b);

// Virtual-key codes the list understands (plain values: no Windows header).
enum : int {
  kKeyPrior = 0x21,
  kKeyNext = 0x22,
  kKeyEnd = 0x23,
  kKeyHome = 0x24,
  kKeyUp = 0x26,
  kKeyDown = 0x28,
};

// The selection after a navigation key, wrapped: with n rows, p rows a page
// and selection s (-1 for none). Any other key leaves s as it is.
int NextSelection(int key, int s, int n, int p);

// Scrolling a row into view. `changed` tells whether the caller must refresh
// (it is false only when the row already shows); `top` is the new first row.
struct ScrollTarget {
  bool changed;
  int top;
};
ScrollTarget EnsureVisibleTarget(int index, int top, int page_rows, int item_count);

// The first row after a scroll-bar code (SB_LINEUP 0 .. SB_THUMBTRACK 5);
// never below 0 and, except for a position the bar carries, never past the
// last full page.
int ScrollTopForCode(int code, int track_pos, int top, int page_rows, int item_count);

// The first row after the page size changed: the last page is kept full.
int ClampTopToPage(int top, int page_rows, int item_count);

// The row under a point in client coordinates, or -1. Rows run from `top` and
// stop at whichever ends first, item_count or rows_that_exist; a row spans
// x in [2, width), y in [(i - top) * row_height, (i - top + 1) * row_height).
int HitTestRow(int x, int y, int width, int row_height, int top, int item_count,
               int rows_that_exist);

// Rows whose text is drawn: from top up to the smaller of the two counts.
int RowsToDraw(int top, int item_count, int rows_that_exist);

// The text of the selection: the selected row, or row 0 when nothing valid
// is selected; -1 when there is no row at all.
int RowForString(int selected, int rows_that_exist);

// Whole rows that a window height holds (never divides by zero).
int PageRowsFor(int window_height, int row_height);

// The pop-up's own height for n matches: at most 8 rows plus the frame.
int PopupHeight(int item_count, int row_height, int cy_border);

// A rectangle in screen pixels: left and top inside, right and bottom outside.
struct ScreenRect {
  int left, top, right, bottom;
};
inline bool operator==(const ScreenRect& a, const ScreenRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Where the pop-up goes, for the field's window rectangle, the pop-up's own
// width and height (the field's width and the rows' height, or the user's
// grip size) and the work area of the field's monitor. Under the field
// (left edges together, its top at the field's bottom) whenever it fits into
// the work area; else above the field, its bottom at the field's top; when
// neither fits, on the side with more room (below on a tie), shortened to
// the whole rows of `row_height` that fit there plus `frame` (the pixels of
// the top and bottom border), and never less than one row. Horizontally it
// is moved, or narrowed if it is wider, to lie inside the work area. A field
// that lies partly outside the work area counts only its part inside.
ScreenRect PlacePopup(const ScreenRect& field, int width, int height, const ScreenRect& work,
                      int row_height, int frame);

// The scroll bar shows when a page cannot hold every row.
bool ScrollBarWanted(int page_rows, int item_count);

// The minimum tracking height: the content when it all fits and is smaller
// than the grip needs, otherwise what the grip and scroll arrows need.
int MinTrackHeight(int item_count, int row_height, int page_rows, int cy_hscroll, int cy_frame,
                   int cx_hthumb, int cy_border);

}  // namespace vantrel
