// Host binding: lookup order, the mandatory set and the version gate, with a
// table standing in for the host executable's exports.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "plugin/host_api.h"

using namespace vantrel;

namespace {
const char* g_version = "2.00.06";
int g_version_calls = 0;
const char* VersionFn() { ++g_version_calls; return g_version; }

class TableLookup : public HostLookup {
 public:
  std::set<std::string> missing;
  mutable std::vector<std::string> asked;
  void* HostModule() const override { return const_cast<TableLookup*>(this); }
  void* Find(void*, const char* name) const override {
    asked.push_back(name);
    if (missing.count(name)) return nullptr;
    if (std::strcmp(name, "BKA_GetVersion") == 0) return reinterpret_cast<void*>(&VersionFn);
    return const_cast<char*>(name);
  }
  int Length(const char* s) const override { return static_cast<int>(std::strlen(s)); }
  int Compare(const char* a, const char* b) const override { return std::strcmp(a, b); }
};

int BindAt(const char* version, std::set<std::string> missing, CHostApi* api = nullptr) {
  CHostApi local;
  g_version = version;
  TableLookup l;
  l.missing = std::move(missing);
  return (api ? api : &local)->BindWith(l);
}
}  // namespace

TEST(HostApi, VersionGateDemandsSetStatusFrom2_00_06AndForLongStrings) {
  EXPECT_EQ(1, BindAt("2.00.05", {"BKA_SetStatus"}));
  EXPECT_EQ(1, BindAt("1.99.99", {"BKA_SetStatus"}));
  EXPECT_EQ(1, BindAt("10.0.0", {"BKA_SetStatus"})) << "compared by characters";
  EXPECT_EQ(0, BindAt("2.00.06", {"BKA_SetStatus"}));
  EXPECT_EQ(0, BindAt("2.01.00", {"BKA_SetStatus"}));
  EXPECT_EQ(0, BindAt("1.00.00a", {"BKA_SetStatus"})) << "8 characters is never older";
  EXPECT_EQ(1, BindAt("2.00.06", {"BKA_NextUnread"}));
}

TEST(HostApi, MissingConnectFailsAfterAllLookupsWithoutAskingTheVersion) {
  g_version_calls = 0;
  g_version = "2.00.05";
  TableLookup l;
  l.missing = {"BKA_Connect"};
  CHostApi api;
  EXPECT_EQ(0, api.BindWith(l));
  EXPECT_FALSE(api.bound());
  EXPECT_EQ(0, g_version_calls);
  // The host's own order, every mandatory name once; BKA_SetStatus and
  // BKA_NextUnread are not among them.
  const std::vector<std::string> order = {
      "BKA_GetVersion", "BKA_Command", "BKA_GetWindowHandles", "BKA_RegisterCommand",
      "BKA_RegisterUICallback", "BKA_GetDataFolder", "BKA_GetTempFolder", "BKA_GetTempFileName",
      "BKA_GetCurrentMailBox", "BKA_SetCurrentMailBox", "BKA_GetCurrentFolder",
      "BKA_SetCurrentFolder", "BKA_GetFolderDisplayName", "BKA_SetMessageText",
      "BKA_GetCurrentMail", "BKA_SetCurrentMail", "BKA_GetNextMail", "BKA_SetSel",
      "BKA_AppendMessage", "BKA_MoveSelectedMessages", "BKA_GetStatus", "BKA_ComposeMail",
      "BKA_GetCharSet", "BKA_GetSource", "BKA_SetSource", "BKA_GetHeader", "BKA_GetText",
      "BKA_SetText", "BKA_GetSpecifiedHeader", "BKA_SetSpecifiedHeader", "BKA_CompGetCharSet",
      "BKA_CompGetSource", "BKA_CompSetSource", "BKA_CompGetHeader",
      "BKA_CompGetSpecifiedHeader", "BKA_CompSetSpecifiedHeader", "BKA_CompGetText",
      "BKA_CompSetText", "BKA_CompAttachFile", "BKA_Alloc", "BKA_ReAlloc", "BKA_Free",
      "BKA_ISO_2022_JP", "BKA_ISO_2022_KR", "BKA_HZ_GB2312", "BKA_ISO_8859_2", "BKA_EUC_JP",
      "BKA_UTF_7", "BKA_UTF_8", "BKA_B64Convert", "BKA_QPConvert", "BKA_MIMEHeader",
      "BKA_SerializeRcpts", "BKA_Connect"};
  ASSERT_EQ(54u, order.size());
  EXPECT_EQ(order, l.asked);
}

TEST(HostApi, SecondBindOfBoundRecordLooksNothingUp) {
  CHostApi api;
  ASSERT_EQ(1, BindAt("2.60.00", {}, &api));
  g_version_calls = 0;
  TableLookup l;
  EXPECT_EQ(1, api.BindWith(l));
  EXPECT_TRUE(l.asked.empty());
  EXPECT_EQ(0, g_version_calls);
}
