// Painting the pop-up's rows and its size grip, double-buffered. The memory
// DC, its bitmap and the grip's pens are kept for the pop-up's life: the
// bitmap is made again when the size changes, the pens when the system
// colours do. UI thread only, like the pop-up.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "complete/name_index.h"
#include "complete/search_index.h"
#include "platform/handles.h"

namespace vantrel {

// What a paint shows.
struct SuggestRows {
  RECT client;              // the pop-up's client rectangle
  int scrollBarWidth;       // 0 while the bar is hidden
  int top;                  // the first row shown
  int itemCount;            // rows of the last matching (may exceed matches)
  int selected;             // the highlighted row, or -1
  int rowHeight;
  const std::vector<uint32_t>* matches;  // entry indices into `index`
  const SearchIndex* index;
  const NameIndex* names;   // the names beside the addresses, or null
};

class SuggestPainter {
 public:
  SuggestPainter() = default;
  SuggestPainter(const SuggestPainter&) = delete;
  SuggestPainter& operator=(const SuggestPainter&) = delete;
  ~SuggestPainter() { Reset(); }

  // Paints into any DC (WM_PAINT's and WM_PRINTCLIENT's).
  void Paint(HDC dc, const SuggestRows& rows);
  // Lets the kept objects go (the pop-up's window is going).
  void Reset();

 private:
  // The memory DC, holding a bitmap of w x h, or null when GDI refuses.
  HDC Prepare(HDC compatible, int w, int h);
  // The three grip pens in these colours, made again when one differs.
  void PreparePens(const COLORREF (&colors)[3]);
  void DrawRow(HDC dc, const SuggestRows& rows, int index, int width);

  UniqueCreatedDC dc_;
  UniqueBitmap bitmap_;
  HGDIOBJ firstBitmap_ = nullptr;  // the DC's own, selected back before deleting
  int width_ = 0, height_ = 0;
  UniquePen pens_[3];
  COLORREF penColors_[3] = {0, 0, 0};
};

}  // namespace vantrel
