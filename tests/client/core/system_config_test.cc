#include "client/core/system_config.h"

#include <sys/stat.h>
#include <tinyxml.h>

#include <gtest/gtest.h>

#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::ReadFile;
using ombrix::test::TempDir;
using ombrix::test::WriteFile;

class SystemConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { TiXmlBase::SetCondenseWhiteSpace(false); }
  std::wstring Folder() const { return brx::util::Utf8ToWide(dir_.path()); }
  std::string File() const { return dir_.Sub("sysconfig.xml"); }

  TempDir dir_;
};

TEST_F(SystemConfigTest, MissingFileGivesTheBuiltInDocument) {
  SystemConfig config(Folder());
  config.Load();
  EXPECT_TRUE(config.IsFirstRun());
  EXPECT_TRUE(config.IsShowHelp());
  EXPECT_EQ(config.GetAccount(), L"");
  EXPECT_EQ(config.GetPassword(), L"");
  EXPECT_EQ(config.GetInnerPositionX(), 4800);
  EXPECT_EQ(config.GetInnerPositionY(), 2550);
  EXPECT_FALSE(config.IsAutoLogin());
  EXPECT_TRUE(config.IsOneShotSound());  // the built-in document turns both sounds on
  EXPECT_TRUE(config.IsManyShotSound());
  EXPECT_EQ(config.GetStoreType(), L"default");
  EXPECT_EQ(config.GetStorePath(), L"");
  EXPECT_EQ(config.GetQuotaSize(), 500);
  EXPECT_EQ(config.GetConfigValue(L"root.base.normal.autorun", L""), L"1");
  EXPECT_EQ(config.GetConfigValue(L"root.base.store.quota:enable", L""), L"1");
  EXPECT_EQ(config.GetConfigValue(L"root.base.sound:enable", L""), L"0");
}

TEST_F(SystemConfigTest, BrokenFileGivesTheBuiltInDocumentAndTheNextSaveWritesItWhole) {
  WriteFile(File(), "<root><user><account>x</user>");
  SystemConfig config(Folder());
  config.Load();
  EXPECT_TRUE(config.IsOneShotSound());
  EXPECT_EQ(config.GetAccount(), L"");
  ASSERT_TRUE(config.Save());
  std::string text = ReadFile(File());
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"yes\" ?>", 0), 0u)
      << text;
  EXPECT_NE(text.find("<quota enable=\"1\">"), std::string::npos) << text;
}

TEST_F(SystemConfigTest, ReaderDefaultsApplyToEveryKeyMissingFromTheFile) {
  WriteFile(File(), "<?xml version=\"1.0\" ?>\n<root />\n");
  SystemConfig config(Folder());
  config.Load();
  EXPECT_TRUE(config.IsFirstRun());
  EXPECT_TRUE(config.IsShowHelp());
  EXPECT_EQ(config.GetInnerPositionX(), 4800);
  EXPECT_EQ(config.GetInnerPositionY(), 2550);
  EXPECT_FALSE(config.IsAutoLogin());
  EXPECT_FALSE(config.IsOneShotSound());
  EXPECT_FALSE(config.IsManyShotSound());
  EXPECT_EQ(config.GetStoreType(), L"default");
  EXPECT_EQ(config.GetQuotaSize(), 500);
}

TEST_F(SystemConfigTest, EveryKeyRoundTripsThroughTheFile) {
  {
    SystemConfig config(Folder());
    config.Load();
    config.SetConfigValue(L"root.user.firstrun", L"0");
    config.SetShowHelp(false);
    config.SetAccount(L"玩家一号");
    config.SetPassword(L"secret");
    config.SetInnerPositionX(-12);
    config.SetInnerPositionY(300);
    config.SetAutoLogin(true);
    config.SetOneShotSound(false);
    config.SetManyShotSound(false);
    config.SetStoreType(L"mydocument");
    config.SetQuotaSize(800);
    config.SetConfigValue(L"root.user.knowstatus", L"1");
    ASSERT_TRUE(config.Save());
  }
  SystemConfig config(Folder());
  config.Load();
  EXPECT_FALSE(config.IsFirstRun());
  EXPECT_FALSE(config.IsShowHelp());
  EXPECT_EQ(config.GetAccount(), L"玩家一号");
  EXPECT_EQ(config.GetPassword(), L"secret");
  EXPECT_EQ(config.GetInnerPositionX(), -12);
  EXPECT_EQ(config.GetInnerPositionY(), 300);
  EXPECT_TRUE(config.IsAutoLogin());
  EXPECT_FALSE(config.IsOneShotSound());
  EXPECT_FALSE(config.IsManyShotSound());
  EXPECT_EQ(config.GetStoreType(), L"mydocument");
  EXPECT_EQ(config.GetQuotaSize(), 800);
  EXPECT_EQ(config.GetConfigValue(L"root.user.knowstatus", L""), L"1");
  // The file is GBK, as its declaration says.
  EXPECT_NE(ReadFile(File()).find(brx::util::WideToAnsi(L"玩家一号")), std::string::npos);
}

TEST_F(SystemConfigTest, TheCustomStorePathRoundTripsThroughTheFile) {
  // Blanks, markup characters and Chinese text in a folder name.
  const std::wstring chosen = L"/data/游戏  截图 & \"<shots>\"'/";
  const std::wstring stored = L"/data/游戏  截图 & \"<shots>\"'/OBSnapshot";
  {
    SystemConfig config(Folder());
    config.Load();
    config.SetStoreType(L"custom");
    config.SetStorePath(chosen);
    ASSERT_TRUE(config.Save());
  }
  for (int round = 0; round < 2; ++round) {  // a second save keeps it as it is
    SystemConfig config(Folder());
    config.Load();
    EXPECT_EQ(config.GetStoreType(), L"custom") << round;
    EXPECT_EQ(config.GetStorePath(), stored) << round;
    EXPECT_EQ(config.GetSnapshotDirectory(), stored) << round;
    ASSERT_TRUE(config.Save());
  }
  EXPECT_NE(
      ReadFile(File()).find(brx::util::WideToAnsi(L"游戏  截图 &amp; &quot;&lt;shots&gt;&quot;")),
      std::string::npos)
      << ReadFile(File());
}

TEST_F(SystemConfigTest, FlagsAreSetOnlyByTheValueOne) {
  SystemConfig config(Folder());
  config.Load();
  config.SetConfigValue(L"root.base.normal.autologin", L"2");
  EXPECT_FALSE(config.IsAutoLogin());
  config.SetConfigValue(L"root.base.normal.autologin", L" 1");
  EXPECT_TRUE(config.IsAutoLogin());
  config.SetConfigValue(L"root.base.normal.autologin", L"yes");
  EXPECT_FALSE(config.IsAutoLogin());
}

TEST_F(SystemConfigTest, AReadOnlyFileIsStillSaved) {
  {
    SystemConfig config(Folder());
    config.Load();
    ASSERT_TRUE(config.Save());
  }
  chmod(File().c_str(), 0444);
  SystemConfig config(Folder());
  config.Load();
  config.SetAccount(L"someone");
  EXPECT_TRUE(config.Save());
  SystemConfig reread(Folder());
  reread.Load();
  EXPECT_EQ(reread.GetAccount(), L"someone");
}

TEST_F(SystemConfigTest, SaveReplacesAnOldDeclaration) {
  WriteFile(File(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" "
            "?>\n<root><user><account>a</account></user></root>\n");
  SystemConfig config(Folder());
  config.Load();
  ASSERT_TRUE(config.Save());
  std::string text = ReadFile(File());
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"yes\" ?>", 0), 0u)
      << text;
  EXPECT_EQ(text.find("UTF-8"), std::string::npos) << text;
}

TEST_F(SystemConfigTest, ChoosingACustomStoreEmptiesItsPath) {
  SystemConfig config(Folder());
  config.Load();
  config.SetStorePath(L"/data/Shots");
  EXPECT_EQ(config.GetStorePath(), L"/data/Shots/OBSnapshot");
  config.SetStoreType(L"custom");
  EXPECT_EQ(config.GetStorePath(), L"");
  config.SetStorePath(L"/data/Shots");
  config.SetStoreType(L"default");
  EXPECT_EQ(config.GetStorePath(), L"/data/Shots/OBSnapshot");
}

TEST_F(SystemConfigTest, SnapshotFolderFollowsTheStoreType) {
  const std::wstring program = Folder();
  SystemConfig config(program);
  config.Load();
  EXPECT_EQ(config.GetSnapshotDirectory(), program + L"/OBSnapshot");

  config.SetConfigValue(L"root.base.store:type", L"");
  EXPECT_EQ(config.GetSnapshotDirectory(), program + L"/OBSnapshot");

  config.SetStoreType(L"custom");  // path emptied
  EXPECT_EQ(config.GetSnapshotDirectory(), program + L"/OBSnapshot");

  config.SetConfigValue(L"root.base.store:path", L"/data/Shots/");
  EXPECT_EQ(config.GetSnapshotDirectory(), L"/data/Shots/OBSnapshot");
  config.SetConfigValue(L"root.base.store:path", L"/data/OBSnapshot");
  EXPECT_EQ(config.GetSnapshotDirectory(), L"/data/OBSnapshot");
  config.SetConfigValue(L"root.base.store:path", L"/data/obsnapshot");
  EXPECT_EQ(config.GetSnapshotDirectory(), L"/data/obsnapshot");
  config.SetConfigValue(L"root.base.store:path", L"/");  // too short to be a folder of its own
  EXPECT_EQ(config.GetSnapshotDirectory(), program + L"/OBSnapshot");
}

TEST_F(SystemConfigTest, MyDocumentStoreUsesTheDocumentsFolderWhenThereIsOne) {
  TempDir home;
  ombrix::test::ScopedEnv home_env("HOME", home.path());
  ombrix::test::ScopedEnv config_env("XDG_CONFIG_HOME", home.Sub(".config"));
  SystemConfig config(Folder());
  config.Load();
  config.SetStoreType(L"mydocument");
  EXPECT_EQ(config.GetSnapshotDirectory(), Folder() + L"/OBSnapshot");

  mkdir(home.Sub(".config").c_str(), 0700);
  mkdir(home.Sub("Dokumente").c_str(), 0700);
  WriteFile(home.Sub(".config/user-dirs.dirs"),
            "# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(config.GetSnapshotDirectory(),
            brx::util::Utf8ToWide(home.Sub("Dokumente")) + L"/OBSnapshot");
}

TEST(NormalizeSnapshotDirectoryTest, AppendsTheFolderNameOnce) {
  EXPECT_EQ(SystemConfig::NormalizeSnapshotDirectory(L"/data/Shots/"), L"/data/Shots/OBSnapshot");
  EXPECT_EQ(SystemConfig::NormalizeSnapshotDirectory(L"/data/Shots"), L"/data/Shots/OBSnapshot");
  EXPECT_EQ(SystemConfig::NormalizeSnapshotDirectory(L"/data/OBSnapshot/"), L"/data/OBSnapshot");
  EXPECT_EQ(SystemConfig::NormalizeSnapshotDirectory(L"/data/OBSNAPSHOT"), L"/data/OBSNAPSHOT");
  EXPECT_EQ(SystemConfig::NormalizeSnapshotDirectory(L"D:"), L"D:/OBSnapshot");
  EXPECT_EQ(SystemConfig::NormalizeSnapshotDirectory(L"OBSnapshot"), L"OBSnapshot/OBSnapshot");
  EXPECT_EQ(SystemConfig::NormalizeSnapshotDirectory(L"a"), L"a");
  EXPECT_EQ(SystemConfig::NormalizeSnapshotDirectory(L""), L"");
}

}  // namespace
