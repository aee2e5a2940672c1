// The include stage of the dispatcher's filter decision, with the plug-in's
// settings (FF_NAME_ONLY, "*.bab") and a double-byte code page.
#include "watch/change_filter.h"

#include <gtest/gtest.h>

using namespace vantrel;

namespace {
const LeadBytes NoLeadBytes{};
// GBK (code page 936): lead bytes 0x81..0xFE; trail bytes include 0x5C.
const LeadBytes GbkLead = [] {
  LeadBytes lead{};
  for (int b = 0x81; b <= 0xFE; ++b) lead[b] = true;
  return lead;
}();

bool Passes(int kind, const char* name, const char* new_name = nullptr,
            const LeadBytes& lead = NoLeadBytes) {
  return PassesIncludeFilter(kind, name, new_name, "*.bab", FF_NAME_ONLY, lead);
}
}  // namespace

TEST(ChangeFilter, NameAfterLastBackslashMustMatchWithCase) {
  EXPECT_TRUE(Passes(NK_ADDED, "D:\\AB\\Sub\\x.bab"));
  EXPECT_FALSE(Passes(NK_MODIFIED, "D:\\AB\\notes.txt"));
  EXPECT_FALSE(Passes(NK_REMOVED, "D:\\AB\\X.BAB"));
  // Only the name counts: a folder called "*.bab"-like does not help.
  EXPECT_FALSE(Passes(NK_MODIFIED, "D:\\x.bab\\notes.txt"));
}

TEST(ChangeFilter, RenameCountsIfEitherNameMatches) {
  EXPECT_TRUE(Passes(NK_RENAMED, "D:\\AB\\x.tmp", "D:\\AB\\x.bab"));
  EXPECT_TRUE(Passes(NK_RENAMED, "D:\\AB\\x.bab", "D:\\AB\\x.txt"));
  EXPECT_FALSE(Passes(NK_RENAMED, "D:\\AB\\x.tmp", "D:\\AB\\x.txt"));
  EXPECT_FALSE(Passes(NK_RENAMED, "D:\\AB\\x.tmp", nullptr));
  // The new name of a non-rename is never looked at.
  EXPECT_FALSE(Passes(NK_MODIFIED, "D:\\AB\\x.tmp", "D:\\AB\\x.bab"));
}

TEST(ChangeFilter, WatchNoticesAndLostChangesPassAnyFilter) {
  for (int kind : {NK_READ_ERROR, NK_WATCH_STARTED, NK_WATCH_STOPPED, NK_CHANGES_LOST}) {
    EXPECT_TRUE(Passes(kind, "D:\\AB")) << "kind " << kind;
    EXPECT_TRUE(PassesIncludeFilter(kind, "", nullptr, "nothing", FF_NAME_ONLY, NoLeadBytes));
  }
  EXPECT_FALSE(Passes(0, "x.bab"));
  EXPECT_FALSE(Passes(9, "x.bab"));
}

TEST(ChangeFilter, NoPatternPassesEverything) {
  EXPECT_TRUE(PassesIncludeFilter(NK_ADDED, "a.txt", nullptr, nullptr, FF_NAME_ONLY, NoLeadBytes));
  EXPECT_TRUE(PassesIncludeFilter(NK_ADDED, "a.txt", nullptr, "", FF_NAME_ONLY, NoLeadBytes));
}

TEST(ChangeFilter, WithoutNameOnlyTheWholePathIsTested) {
  EXPECT_EQ(0u, FilterNameOffset("D:\\AB\\x.bab", 0, NoLeadBytes));
  EXPECT_TRUE(PassesIncludeFilter(NK_ADDED, "D:\\AB\\x.bab", nullptr, "D:*", 0, NoLeadBytes));
  EXPECT_FALSE(PassesIncludeFilter(NK_ADDED, "D:\\AB\\x.bab", nullptr, "D:*", FF_NAME_ONLY,
                                   NoLeadBytes));
}

TEST(ChangeFilter, TrailByteEqualToBackslashIsNotASeparator) {
  // "\xB1\x5C" is one GBK character whose second byte is '\'.
  const char path[] = "D:\\AB\\\xB1\x5C" "a.bab";
  EXPECT_EQ(6u, FilterNameOffset(path, FF_NAME_ONLY, GbkLead));
  EXPECT_EQ(8u, FilterNameOffset(path, FF_NAME_ONLY, NoLeadBytes));
  EXPECT_TRUE(Passes(NK_ADDED, path, nullptr, GbkLead));
  EXPECT_FALSE(EndsWithBackslash("D:\\\xB1\x5C", GbkLead));
  EXPECT_TRUE(EndsWithBackslash("D:\\\xB1\x5C", NoLeadBytes));
  EXPECT_TRUE(EndsWithBackslash("D:\\AB\\", GbkLead));
  // A lead byte at the very end does not swallow the terminator.
  EXPECT_EQ(3u, FilterNameOffset("D:\\\xB1", FF_NAME_ONLY, GbkLead));
  EXPECT_EQ(0u, FilterNameOffset("", FF_NAME_ONLY, GbkLead));
}
