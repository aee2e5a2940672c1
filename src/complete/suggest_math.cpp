#include "complete/suggest_math.h"

#include <algorithm>

namespace vantrel {
namespace {
unsigned char FoldC(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
}  // namespace

int CompareNoCaseC(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = FoldC(static_cast<unsigned char>(a[i]));
    int cb = FoldC(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int NextSelection(int key, int s, int n, int p) {
  switch (key) {
    case kKeyPrior:
      s = std::max(s - p, 0);
      break;
    case kKeyNext:
      s = s + p >= n - 1 ? n - 1 : s + p;
      break;
    case kKeyEnd:
      s = n - 1;
      break;
    case kKeyHome:
      s = 0;
      break;
    case kKeyUp:
      s = s - 1;
      break;
    case kKeyDown:
      s = s + 1;
      break;
    default:
      break;
  }
  if (s < 0) s = n - 1;
  if (s >= n) s = 0;
  return s;
}

ScrollTarget EnsureVisibleTarget(int index, int top, int page_rows, int item_count) {
  const int t = top, p = page_rows, n = item_count;
  if (index == t || (index > t && index < t + p)) return {false, t};
  if (index >= t + p) {
    // Step down while the row is below the page and a full page remains;
    // the top never moves up here.
    int target = std::min({index, n - p, index - p + 1});
    return {true, std::max(t, target)};
  }
  // Above the page: step up to the row, but never above row 0.
  if (t <= 0) return {true, t};
  return {true, std::max(index, 0)};
}

int ScrollTopForCode(int code, int track_pos, int top, int page_rows, int item_count) {
  const int last_top = std::max(item_count - page_rows, 0);
  switch (code) {
    case 0:  // SB_LINEUP
      return std::max(top - 1, 0);
    case 1:  // SB_LINEDOWN
      return std::max(std::min(top + 1, item_count - page_rows), 0);
    case 2:  // SB_PAGEUP
      return std::max(top - page_rows, 0);
    case 3:  // SB_PAGEDOWN
      return std::max(std::min(top + page_rows, item_count - page_rows), 0);
    case 5:  // SB_THUMBTRACK
      return std::min(std::max(track_pos, 0), last_top);
    default:
      return top;
  }
}

int ClampTopToPage(int top, int page_rows, int item_count) {
  if (top + page_rows > item_count) return std::max(item_count - page_rows, 0);
  return top;
}

int HitTestRow(int x, int y, int width, int row_height, int top, int item_count,
               int rows_that_exist) {
  if (row_height <= 0 || x < 2 || x >= width || y < 0) return -1;
  int end = std::min(item_count, rows_that_exist);
  if (top < 0 || top >= end) return -1;
  long long row = static_cast<long long>(top) + y / row_height;
  return row < end ? static_cast<int>(row) : -1;
}

int RowsToDraw(int top, int item_count, int rows_that_exist) {
  return std::max(std::min(item_count, rows_that_exist) - std::max(top, 0), 0);
}

int RowForString(int selected, int rows_that_exist) {
  if (rows_that_exist <= 0) return -1;
  return (selected < 0 || selected >= rows_that_exist) ? 0 : selected;
}

int PageRowsFor(int window_height, int row_height) {
  if (row_height <= 0) return 0;
  return window_height / row_height;
}

int PopupHeight(int item_count, int row_height, int cy_border) {
  return std::min(item_count, 8) * row_height + 2 * cy_border;
}

ScreenRect PlacePopup(const ScreenRect& field, int width, int height, const ScreenRect& work,
                      int row_height, int frame) {
  // The field's edges, taken inside the work area: a field whose bottom lies
  // above the work area (or whose top lies below it) leaves the pop-up at
  // the work area's edge rather than off the screen.
  const int below_top = std::min(std::max(field.bottom, work.top), work.bottom);
  const int above_bottom = std::max(std::min(field.top, work.bottom), work.top);
  const int room_below = work.bottom - below_top, room_above = above_bottom - work.top;
  height = std::max(height, 0);
  bool below = true;
  if (height > room_below) {
    if (height <= room_above) {
      below = false;
    } else {
      below = room_below >= room_above;
      const int room = below ? room_below : room_above;
      int rows = row_height > 0 ? (room - frame) / row_height : 0;
      rows = std::max(rows, 1);
      height = std::min(height, rows * std::max(row_height, 0) + frame);
    }
  }
  ScreenRect r;
  r.top = below ? below_top : above_bottom - height;
  r.bottom = r.top + height;
  width = std::max(std::min(width, work.right - work.left), 0);
  r.left = field.left;
  if (r.left + width > work.right) r.left = work.right - width;
  if (r.left < work.left) r.left = work.left;
  r.right = r.left + width;
  return r;
}

bool ScrollBarWanted(int page_rows, int item_count) { return page_rows <= item_count - 1; }

int MinTrackHeight(int item_count, int row_height, int page_rows, int cy_hscroll, int cy_frame,
                   int cx_hthumb, int cy_border) {
  const int limit = 2 * cy_hscroll + cy_frame + cx_hthumb;
  const long long content = static_cast<long long>(item_count) * row_height + 2 * cy_border;
  if (page_rows > item_count - 1 && content < limit) return static_cast<int>(content);
  return limit;
}

}  // namespace vantrel
