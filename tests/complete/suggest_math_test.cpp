// Selection, scrolling, hit testing and sizes of the suggestion list.
#include <gtest/gtest.h>

#include <algorithm>

#include "complete/suggest_math.h"

using namespace vantrel;

TEST(NextSelection, NavigationKeysWrapAround) {
  const int n = 20, p = 8;
  EXPECT_EQ(0, NextSelection(kKeyDown, 19, n, p));
  EXPECT_EQ(19, NextSelection(kKeyUp, 0, n, p));
  EXPECT_EQ(19, NextSelection(kKeyUp, -1, n, p));
  EXPECT_EQ(0, NextSelection(kKeyDown, -1, n, p));
  EXPECT_EQ(0, NextSelection(kKeyPrior, 3, n, p));
  EXPECT_EQ(19, NextSelection(kKeyNext, 15, n, p));
  EXPECT_EQ(11, NextSelection(kKeyNext, 3, n, p));
  EXPECT_EQ(19, NextSelection(kKeyEnd, 4, n, p));
  EXPECT_EQ(0, NextSelection(kKeyHome, 4, n, p));
  EXPECT_EQ(7, NextSelection(0x25 /* VK_LEFT */, 7, n, p));
  EXPECT_EQ(0, NextSelection(kKeyPrior, -1, n, p)) << "Page Up from nothing stops at the top";
}

TEST(NextSelection, EmptyListNeverYieldsARow) {
  for (int key : {kKeyPrior, kKeyNext, kKeyEnd, kKeyHome, kKeyUp, kKeyDown}) {
    int s = NextSelection(key, -1, 0, 0);
    EXPECT_EQ(-1, RowForString(s, 0)) << "key " << key << " gave " << s;
  }
}

TEST(EnsureVisible, ExamplesWithTwentyRowsAndAPageOfEight) {
  const int n = 20, p = 8;
  auto r = EnsureVisibleTarget(5, 0, p, n);
  EXPECT_FALSE(r.changed);
  EXPECT_EQ(0, r.top);
  EXPECT_EQ(5, EnsureVisibleTarget(12, 0, p, n).top);
  EXPECT_EQ(12, EnsureVisibleTarget(19, 0, p, n).top);
  EXPECT_EQ(3, EnsureVisibleTarget(3, 12, p, n).top);
  EXPECT_EQ(0, EnsureVisibleTarget(-1, 12, p, n).top);
  EXPECT_TRUE(EnsureVisibleTarget(-1, 0, p, n).changed) << "above the top always refreshes";
}

TEST(EnsureVisible, MatchesTheRowByRowWalk) {
  // The walk that the animation performs, step by step; the target must be
  // where it ends, for every combination in a small grid.
  for (int n = 0; n <= 12; ++n)
    for (int p = 0; p <= 10; ++p)
      for (int t = 0; t <= 12; ++t)
        for (int index = -1; index <= 13; ++index) {
          int top = t;
          bool changed;
          if (index == t || (t < index && index < t + p)) {
            changed = false;
          } else if (index >= t + p) {
            while (top < index && top < n - p && top + p <= index) ++top;
            changed = true;
          } else {
            do {
              if (top <= 0) break;
              --top;
            } while (index < top);
            changed = true;
          }
          auto r = EnsureVisibleTarget(index, t, p, n);
          ASSERT_EQ(changed, r.changed) << n << " " << p << " " << t << " " << index;
          ASSERT_EQ(top, r.top) << n << " " << p << " " << t << " " << index;
        }
}

TEST(ScrollCodes, TwentyRowsAndAPageOfEight) {
  const int n = 20, p = 8;
  EXPECT_EQ(12, ScrollTopForCode(1, 0, 12, p, n));  // SB_LINEDOWN at the end
  EXPECT_EQ(12, ScrollTopForCode(3, 0, 10, p, n));  // SB_PAGEDOWN
  EXPECT_EQ(0, ScrollTopForCode(2, 0, 3, p, n));    // SB_PAGEUP
  EXPECT_EQ(7, ScrollTopForCode(5, 7, 0, p, n));    // SB_THUMBTRACK
  EXPECT_EQ(4, ScrollTopForCode(4, 9, 4, p, n));    // SB_THUMBPOSITION keeps
  EXPECT_EQ(4, ScrollTopForCode(8, 9, 4, p, n));    // SB_ENDSCROLL keeps
  EXPECT_EQ(0, ScrollTopForCode(0, 0, 0, p, n));    // SB_LINEUP at the top
  EXPECT_EQ(5, ScrollTopForCode(1, 0, 4, p, n));
}

TEST(ScrollCodes, NeverAboveTheFirstRowWhenEverythingFits) {
  // A page larger than the list: down codes must not give a negative top,
  // which painting would turn into reads before the first row.
  EXPECT_EQ(0, ScrollTopForCode(1, 0, 0, 8, 3));
  EXPECT_EQ(0, ScrollTopForCode(3, 0, 0, 8, 3));
  EXPECT_EQ(0, ScrollTopForCode(5, -4, 0, 8, 3));
  EXPECT_EQ(12, ScrollTopForCode(5, 99999, 0, 8, 20)) << "a thumb beyond the last page";
  EXPECT_EQ(99992, ScrollTopForCode(5, 99992, 0, 8, 100000)) << "positions past 16 bits";
}

TEST(HitTest, RowsStartTwoPixelsInAndStopAtTheScrollBar) {
  // 20 rows of 13 pixels, top 5, rows 180 pixels wide.
  EXPECT_EQ(5, HitTestRow(2, 0, 180, 13, 5, 20, 20));
  EXPECT_EQ(-1, HitTestRow(1, 0, 180, 13, 5, 20, 20)) << "the 2-pixel margin";
  EXPECT_EQ(-1, HitTestRow(180, 0, 180, 13, 5, 20, 20)) << "right edge is outside";
  EXPECT_EQ(6, HitTestRow(179, 13, 180, 13, 5, 20, 20));
  EXPECT_EQ(19, HitTestRow(50, 14 * 13 + 12, 180, 13, 5, 20, 20));
  EXPECT_EQ(-1, HitTestRow(50, 15 * 13, 180, 13, 5, 20, 20)) << "below the last row";
  EXPECT_EQ(-1, HitTestRow(50, -1, 180, 13, 5, 20, 20));
}

TEST(HitTest, StaleRowCountNeverReachesPastTheMatches) {
  // itemCount 20 kept while the match list was emptied, or shrank to 3.
  EXPECT_EQ(-1, HitTestRow(50, 0, 180, 13, 0, 20, 0));
  EXPECT_EQ(2, HitTestRow(50, 2 * 13, 180, 13, 0, 20, 3));
  EXPECT_EQ(-1, HitTestRow(50, 3 * 13, 180, 13, 0, 20, 3));
  EXPECT_EQ(-1, HitTestRow(50, 0, 180, 13, 12, 20, 3)) << "top beyond the matches";
  EXPECT_EQ(0, RowsToDraw(0, 20, 0));
  EXPECT_EQ(0, RowsToDraw(12, 20, 3));
  EXPECT_EQ(3, RowsToDraw(0, 20, 3));
  EXPECT_EQ(8, RowsToDraw(12, 20, 20));
  EXPECT_EQ(-1, HitTestRow(50, 5, 180, 0, 0, 20, 20)) << "no row height, no rows";
}

TEST(SelectedText, InvalidSelectionMeansTheFirstMatch) {
  EXPECT_EQ(-1, RowForString(3, 0));
  EXPECT_EQ(0, RowForString(-1, 5));
  EXPECT_EQ(0, RowForString(5, 5));
  EXPECT_EQ(0, RowForString(-7, 5)) << "any negative selection";
  EXPECT_EQ(4, RowForString(4, 5));
}

TEST(Sizes, HeightPageRowsAndScrollBar) {
  // cy_border 1, rows of 13 pixels.
  EXPECT_EQ(3 * 13 + 2, PopupHeight(3, 13, 1));
  EXPECT_EQ(8 * 13 + 2, PopupHeight(8, 13, 1));
  EXPECT_EQ(8 * 13 + 2, PopupHeight(20, 13, 1));
  EXPECT_EQ(3, PageRowsFor(3 * 13 + 2, 13));
  EXPECT_EQ(8, PageRowsFor(8 * 13 + 2, 13));
  EXPECT_EQ(0, PageRowsFor(50, 0));
  EXPECT_FALSE(ScrollBarWanted(3, 3));
  EXPECT_FALSE(ScrollBarWanted(8, 8));
  EXPECT_TRUE(ScrollBarWanted(8, 9)) << "9 matches need the scroll bar";
  EXPECT_EQ(12, ClampTopToPage(15, 8, 20));
  EXPECT_EQ(0, ClampTopToPage(2, 8, 3));
  EXPECT_EQ(4, ClampTopToPage(4, 8, 20));
}

TEST(Sizes, MinimumTrackingHeight) {
  // limit = 2*17 + 4 + 17 = 55 with the usual metrics.
  EXPECT_EQ(2 * 13 + 2, MinTrackHeight(2, 13, 8, 17, 4, 17, 1)) << "content fits and is small";
  EXPECT_EQ(4 * 13 + 2, MinTrackHeight(4, 13, 8, 17, 4, 17, 1)) << "54 is still under 55";
  EXPECT_EQ(55, MinTrackHeight(20, 13, 8, 17, 4, 17, 1)) << "scrolling list";
  EXPECT_EQ(55, MinTrackHeight(5, 13, 8, 17, 4, 17, 1)) << "content 67 exceeds the limit";
}

TEST(PlacePopup, StaysInsideTheWorkArea) {
  // A work area of 1280 x 1000 (a task bar below it), rows of 13 pixels and
  // a frame of 2; a field 300 wide and 24 high; the pop-up 8 rows high (106).
  const ScreenRect work = {0, 0, 1280, 1000};
  struct Case {
    const char* what;
    ScreenRect field;
    int width, height;
    ScreenRect work;
    ScreenRect want;
  } cases[] = {
      {"room below: under the field, its width", {100, 200, 400, 224}, 300, 106, work,
       {100, 224, 400, 330}},
      {"exactly fits below", {100, 870, 400, 894}, 300, 106, work, {100, 894, 400, 1000}},
      {"one pixel short below: above, bottom at the field's top", {100, 871, 400, 895}, 300, 106,
       work, {100, 765, 400, 871}},
      {"field at the bottom edge", {100, 976, 400, 1000}, 300, 106, work, {100, 870, 400, 976}},
      {"field partly under the task bar", {100, 990, 400, 1014}, 300, 106, work,
       {100, 884, 400, 990}},
      {"near the right edge: moved left, same width", {1100, 200, 1400, 224}, 300, 106, work,
       {980, 224, 1280, 330}},
      {"left of the work area: moved right", {-50, 200, 250, 224}, 300, 106, work,
       {0, 224, 300, 330}},
      {"bottom right corner: above and moved left", {1200, 960, 1500, 984}, 300, 106, work,
       {980, 854, 1280, 960}},
      {"a second monitor's work area", {1400, 300, 1700, 324}, 300, 106,
       {1280, 0, 2560, 1024}, {1400, 324, 1700, 430}},
      {"wider than the work area: narrowed to it", {-10, 200, 1300, 224}, 1310, 106, work,
       {0, 224, 1280, 330}},
      // A user's grip size that fits neither side: the larger side, whole rows.
      {"too tall either way, more room below", {100, 300, 400, 324}, 300, 800, work,
       {100, 324, 400, 324 + 51 * 13 + 2}},
      {"too tall either way, more room above", {100, 700, 400, 724}, 300, 800, work,
       {100, 700 - (53 * 13 + 2), 400, 700}},
      {"a tie goes below", {100, 488, 400, 512}, 300, 600, work,
       {100, 512, 400, 512 + 37 * 13 + 2}},
      {"less than a row of room keeps one row", {0, 0, 300, 24}, 300, 106, {0, 0, 1280, 30},
       {0, 24, 300, 39}},
      {"field above the work area: from its top edge", {100, -60, 400, -36}, 300, 106, work,
       {100, 0, 400, 106}},
      {"field below the work area: up from its bottom edge", {100, 1010, 400, 1034}, 300, 106,
       work, {100, 894, 400, 1000}},
  };
  for (const Case& c : cases) {
    ScreenRect got = PlacePopup(c.field, c.width, c.height, c.work, 13, 2);
    EXPECT_TRUE(got == c.want) << c.what << ": got " << got.left << "," << got.top << ","
                               << got.right << "," << got.bottom;
  }
}

TEST(PlacePopup, AShortenedPopUpHoldsWholeRowsAndFits) {
  // Every field position down a small work area: the pop-up never leaves it,
  // keeps its height when it fits on either side, and is otherwise a whole
  // number of rows.
  const ScreenRect work = {0, 0, 400, 300};
  for (int top = 0; top <= 276; ++top)
    for (int height : {41, 106, 160, 250}) {
      ScreenRect f = {10, top, 210, top + 24};
      ScreenRect r = PlacePopup(f, 200, height, work, 13, 2);
      ASSERT_GE(r.top, work.top) << top << " " << height;
      ASSERT_LE(r.bottom, work.bottom) << top << " " << height;
      const bool fits = height <= work.bottom - f.bottom || height <= f.top - work.top;
      if (fits) ASSERT_EQ(height, r.bottom - r.top) << top << " " << height;
      else ASSERT_EQ(0, (r.bottom - r.top - 2) % 13) << top << " " << height;
      ASSERT_TRUE(r.top == f.bottom || r.bottom == f.top) << "touches the field: " << top;
    }
}

TEST(CompareNoCaseC, OnlyAsciiLettersFold) {
  EXPECT_EQ(0, CompareNoCaseC("ABC", "abc"));
  EXPECT_LT(CompareNoCaseC("_", "a"), 0);
  EXPECT_LT(CompareNoCaseC("_", "A"), 0) << "A folds to a (0x61), above _ (0x5F)";
  EXPECT_LT(CompareNoCaseC("ab", "abc"), 0);
  EXPECT_GT(CompareNoCaseC("\xC9", "z"), 0) << "bytes compare unsigned";
  EXPECT_NE(0, CompareNoCaseC("\xC9", "\xE9")) << "no folding beyond Z";
}
