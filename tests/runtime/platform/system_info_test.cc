#include "runtime/platform/system_info.h"

#include <gtest/gtest.h>

#include <regex>

#include "tests/support/test_support.h"

namespace brx::platform {
namespace {

using ombrix::test::ScopedEnv;

TEST(SystemInfoTest, LanguageIdFromLocale) {
  EXPECT_EQ(LanguageIdFromLocale("zh_TW.UTF-8"), 1028u);
  EXPECT_EQ(LanguageIdFromLocale("zh_CN.UTF-8"), 2052u);
  EXPECT_EQ(LanguageIdFromLocale("zh_HK"), 3076u);
  EXPECT_EQ(LanguageIdFromLocale("zh_SG.GBK@x"), 4100u);
  EXPECT_EQ(LanguageIdFromLocale("en_US.UTF-8"), 1033u);
  EXPECT_EQ(LanguageIdFromLocale("C"), 1033u);
}

TEST(SystemInfoTest, LanguageVariablesInPriorityOrder) {
  ScopedEnv all("LC_ALL", std::nullopt);
  ScopedEnv messages("LC_MESSAGES", "zh_TW.UTF-8");
  ScopedEnv lang("LANG", "zh_CN.UTF-8");
  EXPECT_EQ(SystemLanguageId(), 1028u);
  ScopedEnv all2("LC_ALL", "en_GB.UTF-8");
  EXPECT_EQ(SystemLanguageId(), 1033u);
}

TEST(SystemInfoTest, FontCheckCanBeForced) {
  {
    ScopedEnv f("OMBRIX_FONT_CHECK", "absent");
    EXPECT_FALSE(HasChineseFont());
  }
  ScopedEnv f("OMBRIX_FONT_CHECK", "present");
  EXPECT_TRUE(HasChineseFont());
}

TEST(SystemInfoTest, AdapterAddressFormat) {
  std::string address;
  if (!QueryAdapterAddress(&address)) {
    EXPECT_TRUE(address.empty());
    GTEST_SKIP() << "no network adapter besides loopback";
  }
  EXPECT_TRUE(std::regex_match(address, std::regex("([0-9A-F]{2}-){5}[0-9A-F]{2}"))) << address;
}

}  // namespace
}  // namespace brx::platform
