// Linked into every Wine test program. A program started for another code
// page (tests/run_in_code_page.sh) fails at once when Wine did not give it
// that system code page and user locale: its cases guarded by GetACP()
// would otherwise pass in code page 1252 and prove nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

unsigned UserCodePage() {
  char cp[8] = {};
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, cp, sizeof cp);
  return static_cast<unsigned>(std::strtoul(cp, nullptr, 10));
}

class CodePageCheck : public ::testing::Environment {
 public:
  void SetUp() override {
    if (const char* want = std::getenv("VANTREL_EXPECT_ACP")) {
      ASSERT_EQ(std::to_string(::GetACP()), want) << "system ANSI code page";
    }
    if (const char* want = std::getenv("VANTREL_EXPECT_USER_ACP")) {
      ASSERT_EQ(std::to_string(UserCodePage()), want) << "the user locale's ANSI code page";
    }
  }
};

const ::testing::Environment* const kRegistered =
    ::testing::AddGlobalTestEnvironment(new CodePageCheck);

}  // namespace
