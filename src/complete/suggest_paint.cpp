#include "complete/suggest_paint.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "complete/suggest_math.h"

namespace vantrel {

void SuggestPainter::DrawRow(HDC dc, const SuggestRows& rows, int index, int width) {
  const int top = rows.top, height = rows.rowHeight;
  RECT r = {2, (index - top) * height, width, (index - top + 1) * height};
  ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
  if (index == rows.selected) {
    RECT band = {0, r.top, width, r.bottom};
    ::SetBkColor(dc, ::GetSysColor(COLOR_HIGHLIGHT));
    ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &band, "", 0, nullptr);
    ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHTTEXT));
  }
  const uint32_t row = (*rows.matches)[static_cast<size_t>(index)];
  std::string_view text = rows.index->entry(row);
  constexpr UINT kFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
  ::DrawTextA(dc, text.data(), static_cast<int>(text.size()), &r, kFormat);
  if (!rows.names) return;
  std::string_view name = rows.names->display_name(row);
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
  if (index != rows.selected) ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
  ::DrawTextA(dc, name.data(), static_cast<int>(name.size()), &name_rect, kFormat);
}

void SuggestPainter::Reset() {
  if (dc_ && firstBitmap_) ::SelectObject(dc_.get(), firstBitmap_);
  firstBitmap_ = nullptr;
  bitmap_.reset();
  dc_.reset();
  width_ = height_ = 0;
  for (UniquePen& pen : pens_) pen.reset();
}

HDC SuggestPainter::Prepare(HDC compatible, int w, int h) {
  if (!dc_) {
    dc_.reset(::CreateCompatibleDC(compatible));
    if (!dc_) return nullptr;
    // The client rectangle starts at (0, 0), so the DC's window origin
    // stays where it is; the font and the transparent text are set once.
    ::SelectObject(dc_.get(), ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc_.get(), TRANSPARENT);
  }
  if (!bitmap_ || width_ != w || height_ != h) {
    UniqueBitmap fresh(::CreateCompatibleBitmap(compatible, w, h));
    if (!fresh) return nullptr;
    HGDIOBJ previous = ::SelectObject(dc_.get(), fresh.get());
    if (!firstBitmap_) firstBitmap_ = previous;
    bitmap_ = std::move(fresh);  // the old one is no longer selected
    width_ = w;
    height_ = h;
  }
  return dc_.get();
}

void SuggestPainter::PreparePens(const COLORREF (&colors)[3]) {
  for (int i = 0; i < 3; ++i) {
    if (pens_[i] && penColors_[i] == colors[i]) continue;
    pens_[i].reset(::CreatePen(PS_SOLID, 1, colors[i]));
    penColors_[i] = colors[i];
  }
}

void SuggestPainter::Paint(HDC dc, const SuggestRows& v) {
  const RECT cr = v.client;
  const int cxh = ::GetSystemMetrics(SM_CXHSCROLL);
  RECT grip = {cr.right - cxh, cr.bottom - ::GetSystemMetrics(SM_CYVSCROLL), cr.right, cr.bottom};
  const int sbw = v.scrollBarWidth;
  const int bw = cr.right - sbw - cr.left, bh = cr.bottom - cr.top;
  if (bw <= 0 || bh <= 0) return;

  // The memory DC and its bitmap live as long as the pop-up keeps its size.
  HDC mem = Prepare(dc, bw, bh);
  if (!mem) return;

  ::SetBkColor(mem, ::GetSysColor(COLOR_WINDOW));
  ::ExtTextOutA(mem, 0, 0, ETO_OPAQUE, &cr, "", 0, nullptr);

  // Only the rows that exist in the match list, and of those only the ones
  // that reach into the bitmap: a list of 100,000 matches paints a page.
  const int rows = RowsToDraw(v.top, v.itemCount, static_cast<int>(v.matches->size()));
  const int visible = v.rowHeight > 0 ? bh / v.rowHeight + 1 : 0;
  const int last = v.top + std::min(rows, visible);
  for (int i = std::max(v.top, 0); i < last; ++i) DrawRow(mem, v, i, cr.right - cr.left - sbw);

  // The pens are kept while the system colours they are drawn in stay.
  const COLORREF colors[3] = {::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_BTNFACE),
                              ::GetSysColor(COLOR_BTNSHADOW)};
  PreparePens(colors);
  UniquePen (&pens)[3] = pens_;
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

}  // namespace vantrel
