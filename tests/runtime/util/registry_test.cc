#include "runtime/util/registry.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace brx::util {
namespace {

using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;
using platform::Hive;

TEST(SplitRegistryPathTest, RootMustStandAtTheStart) {
  Hive hive;
  std::wstring sub;
  EXPECT_TRUE(SplitRegistryPath(L"HKEY_CURRENT_USER\\SOFTWARE\\Dorsk", &hive, &sub));
  EXPECT_EQ(hive, Hive::kCurrentUser);
  EXPECT_EQ(sub, L"SOFTWARE\\Dorsk");
  EXPECT_TRUE(SplitRegistryPath(L"HKEY_USERS\\x", &hive, &sub));
  EXPECT_EQ(hive, Hive::kUsers);
  EXPECT_EQ(sub, L"x");
  // Short paths and roots elsewhere in the text are refused, not misread.
  EXPECT_FALSE(SplitRegistryPath(L"HKEY_USERS", &hive, &sub));
  EXPECT_FALSE(SplitRegistryPath(L"HKEY_U", &hive, &sub));
  EXPECT_FALSE(SplitRegistryPath(L"SOFTWARE\\HKEY_LOCAL_MACHINE\\x", &hive, &sub));
  EXPECT_TRUE(sub.empty());
}

class RegistryHelpersTest : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedEnv registry_{"OMBRIX_REGISTRY_DIR", dir_.Sub("registry")};
  ScopedEnv config_{"XDG_CONFIG_HOME", dir_.Sub("config")};
};

TEST_F(RegistryHelpersTest, WideValuesRoundTrip) {
  const std::wstring key = L"HKEY_CURRENT_USER\\SOFTWARE\\Dorsk\\Ombrix\\OB-DEMO";
  EXPECT_TRUE(WriteRegistryString(key, L"\u7fce\u5c9a", L"KeyDesc"));
  EXPECT_TRUE(WriteRegistryString(key, L"", L"Empty"));
  WriteRegistryDword(1, key, L"LaunchingWithGame");
  std::wstring s;
  uint32_t d = 0;
  EXPECT_TRUE(ReadRegistryString(key, L"KeyDesc", &s));
  EXPECT_EQ(s, L"\u7fce\u5c9a");
  EXPECT_TRUE(ReadRegistryString(key, L"Empty", &s));
  EXPECT_EQ(s, L"");
  EXPECT_TRUE(ReadLaunchingWithGame(key, &d));
  EXPECT_EQ(d, 1u);
  EXPECT_FALSE(ReadLaunchingWithGame(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Dorsk\\Ombrix\\OB-DEMO", &d));
}

TEST_F(RegistryHelpersTest, UnknownRootTouchesNothing) {
  EXPECT_FALSE(WriteRegistryString(L"HKEY_NOWHERE\\SOFTWARE", L"v", L"n"));
  WriteRegistryDword(1, L"NOWHERE", L"n");
  EXPECT_FALSE(ombrix::test::PathExists(platform::registry::HiveFilePath(Hive::kCurrentUser)));
  EXPECT_FALSE(ombrix::test::PathExists(platform::registry::HiveFilePath(Hive::kLocalMachine)));
}

TEST_F(RegistryHelpersTest, AutoStartValue) {
  std::wstring v;
  EXPECT_FALSE(ReadAutoStartValue(&v));
  EXPECT_FALSE(DeleteAutoStartValue());
  ASSERT_TRUE(WriteRegistryString(kAutoStartKey, L"/opt/ombrix/Ombrix.exe", L"Ombrix"));
  EXPECT_TRUE(ReadAutoStartValue(&v));
  EXPECT_EQ(v, L"/opt/ombrix/Ombrix.exe");
  EXPECT_TRUE(ombrix::test::PathExists(dir_.Sub("config/autostart/Ombrix.desktop")));
  EXPECT_TRUE(DeleteAutoStartValue());
  EXPECT_FALSE(ReadAutoStartValue(&v));
  EXPECT_FALSE(ombrix::test::PathExists(dir_.Sub("config/autostart/Ombrix.desktop")));
}

}  // namespace
}  // namespace brx::util
