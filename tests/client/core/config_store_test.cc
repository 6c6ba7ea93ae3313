#include "client/core/config_store.h"

#include <gtest/gtest.h>

#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;

TEST(ConfigStoreTest, AutostartNamesTheLauncherOfThisInstallation) {
  TempDir dir;
  ScopedEnv registry("OMBRIX_REGISTRY_DIR", dir.Sub("registry"));
  ScopedEnv xdg("XDG_CONFIG_HOME", dir.Sub("config"));
  const std::wstring program = brx::util::Utf8ToWide(dir.Sub("Ombrix"));
  ConfigStore store(program, L"other");
  EXPECT_EQ(store.LauncherPath(), program + L"/Ombrix.exe");
  EXPECT_FALSE(store.IsAutoStartEnabled());

  store.SetAutoStart(true);
  EXPECT_TRUE(store.IsAutoStartEnabled());
  std::wstring value;
  ASSERT_TRUE(brx::util::ReadAutoStartValue(&value));
  EXPECT_EQ(value, program + L"/Ombrix.exe");

  // Compared without regard to letter case, as the value was written by hand.
  std::wstring shouting = program + L"/OMBRIX.EXE";
  brx::util::WriteRegistryString(brx::util::kAutoStartKey, shouting, L"Ombrix");
  EXPECT_TRUE(store.IsAutoStartEnabled());
  // Another installation's launcher is not ours.
  brx::util::WriteRegistryString(brx::util::kAutoStartKey, L"/opt/elsewhere/Ombrix.exe", L"Ombrix");
  EXPECT_FALSE(store.IsAutoStartEnabled());

  store.SetAutoStart(false);
  EXPECT_FALSE(store.IsAutoStartEnabled());
  EXPECT_FALSE(brx::util::ReadAutoStartValue(&value));
}

}  // namespace
