#include "runtime/util/edition.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace brx::util {
namespace {

using ombrix::test::TempDir;

// Each test gets its own copy of the real stand-in library with its own
// values file, loaded for real through dlopen.
class EditionTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetEditionCacheForTesting(); }
  void TearDown() override {
    ResetEditionCacheForTesting();
    SetEditionLibraryPathForTesting("");
  }
  std::string InstallLibrary(const std::string& ini) {
    std::string lib = dir_.Sub("OBVerCustom.dll");
    std::filesystem::copy_file(ombrix::test::DistDir() + "/OBVerCustom.dll", lib);
    if (!ini.empty()) ombrix::test::WriteFile(dir_.Sub("OBVerCustom.ini"), ini);
    SetEditionLibraryPathForTesting(lib);
    return lib;
  }
  TempDir dir_;
};

TEST_F(EditionTest, ValuesComeFromTheLibrary) {
  InstallLibrary(
      "GameId=wow\nKey=OB-TEST\nKeyDesc=Test "
      "\xe7\xbf\x8e\nGlobalConfig=http://h/\nInstallHook=1\n");
  EXPECT_EQ(GetEditionKey(), L"OB-TEST");
  EXPECT_EQ(GetEditionGameId(), L"wow");
  EXPECT_EQ(GetEditionKeyDesc(), L"Test \u7fce");
  EXPECT_EQ(GetEditionVersion(), L"2.3.109.05");
  EXPECT_EQ(GetEditionGlobalConfig(), L"http://h/");
  EXPECT_TRUE(GetEditionInstallHook());
}

TEST_F(EditionTest, CacheIsKeptOnceFilled) {
  InstallLibrary("Key=FIRST\n");
  EXPECT_EQ(GetEditionKey(), L"FIRST");
  ombrix::test::WriteFile(dir_.Sub("OBVerCustom.ini"), "Key=SECOND\n");
  std::filesystem::remove(dir_.Sub("OBVerCustom.dll"));
  EXPECT_EQ(GetEditionKey(), L"FIRST");
}

TEST_F(EditionTest, AbsentLibraryGivesEmptyValuesAndIsRetried) {
  SetEditionLibraryPathForTesting(dir_.Sub("OBVerCustom.dll"));
  EXPECT_EQ(GetEditionKey(), L"");
  EXPECT_EQ(GetEditionVersion(), L"");
  EXPECT_FALSE(GetEditionInstallHook());
  // Appearing later, it is found on the next call.
  InstallLibrary("Key=LATE\n");
  EXPECT_EQ(GetEditionKey(), L"LATE");
}

TEST_F(EditionTest, EmptyKeyKeepsTryingAndOtherValuesStay) {
  InstallLibrary("Key=\nGameId=g1\n");
  EXPECT_EQ(GetEditionKey(), L"");
  EXPECT_EQ(GetEditionGameId(), L"g1");
}

TEST_F(EditionTest, NewerBuildReportsItsVersion) {
  std::string lib = dir_.Sub("OBVerCustom.dll");
  std::filesystem::copy_file(ombrix::test::BinaryDir() + "/standin/edition-next/OBVerCustom.dll",
                             lib);
  SetEditionLibraryPathForTesting(lib);
  EXPECT_EQ(GetEditionVersion(), L"2.3.110.01");
}

}  // namespace
}  // namespace brx::util
