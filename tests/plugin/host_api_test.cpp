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
  ASSERT_EQ(54u, l.asked.size());
  for (int i = 0; i < kMandatoryHostFunctionCount; ++i) EXPECT_EQ(MandatoryHostFunction(i), l.asked[i]);
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
