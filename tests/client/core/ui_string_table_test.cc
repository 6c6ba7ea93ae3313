#include "client/core/ui_string_table.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

class UIStringTableTest : public ::testing::Test {
 protected:
  void TearDown() override { UIStringTable::Destroy(); }
};

const char* const kKeys[] = {
    STRING_OMBRIX,          STRING_LOGIN_STATE_OFFLINE,     STRING_LOGIN_STATE_ONLINE,
    STRING_LOGIN_STATE_LOGIN, STRING_LOGIN_STATE_LOGINING,  STRING_LOGIN_STATE_LOGINFAIL,
    STRING_MESSAGE_TIP,     STRING_MESSAGE_WARN,            STRING_MESSAGE_ERROR,
    STRING_MESSAGE_NONEEDFONT, STRING_MESSAGE_OMBRIXISRUNNING, STRING_POSTBLOG_ME,
    STRING_POSTBLOG_SHOTANDSHARE,
};

TEST_F(UIStringTableTest, LookupsBeforeBuildAndOfUnknownKeysGiveNull) {
  EXPECT_EQ(UIStringTable::GetString(STRING_OMBRIX), nullptr);
  UIStringTable::Build(1033);
  EXPECT_EQ(UIStringTable::GetString("STRING_NO_SUCH_TEXT"), nullptr);
  EXPECT_EQ(UIStringTable::GetString(nullptr), nullptr);
  UIStringTable::Destroy();
  EXPECT_EQ(UIStringTable::GetString(STRING_OMBRIX), nullptr);
}

TEST_F(UIStringTableTest, ChineseLanguageIdsSelectTheChineseTable) {
  for (unsigned id : {1028u, 2052u, 3076u, 4100u}) {
    UIStringTable::Build(id);
    EXPECT_STREQ(UIStringTable::GetString(STRING_MESSAGE_OMBRIXISRUNNING), L"你已启动翎岚,不能重复启动") << id;
    EXPECT_STREQ(UIStringTable::GetString(STRING_MESSAGE_TIP), L"提示") << id;
  }
}

TEST_F(UIStringTableTest, OtherLanguageIdsSelectTheEnglishTable) {
  // 5124 is Chinese (Macao) but not one of the ids the table knows.
  for (unsigned id : {1033u, 2057u, 1041u, 5124u, 0u}) {
    UIStringTable::Build(id);
    EXPECT_STREQ(UIStringTable::GetString(STRING_MESSAGE_OMBRIXISRUNNING), L"Ombrix is running") << id;
    EXPECT_STREQ(UIStringTable::GetString(STRING_OMBRIX), L"OmBrix") << id;
  }
}

TEST_F(UIStringTableTest, BothTablesHoldAllThirteenTexts) {
  UIStringTable::Build(2052);
  for (const char* key : kKeys) EXPECT_NE(UIStringTable::GetString(key), nullptr) << key;
  EXPECT_STREQ(UIStringTable::GetString(STRING_MESSAGE_NONEEDFONT), L"检测到您的电脑没有安装运行翎岚所需的字体");
  EXPECT_STREQ(UIStringTable::GetString(STRING_POSTBLOG_SHOTANDSHARE), L"游戏上截了这张图片,与大家一同分享");
  UIStringTable::Build(1033);
  for (const char* key : kKeys) EXPECT_NE(UIStringTable::GetString(key), nullptr) << key;
  EXPECT_STREQ(UIStringTable::GetString(STRING_LOGIN_STATE_LOGINFAIL), L"Login Failed");
  EXPECT_STREQ(UIStringTable::GetString(STRING_POSTBLOG_SHOTANDSHARE), L",I would to like to share with you");
}

TEST_F(UIStringTableTest, BuildWithoutIdFollowsTheLocaleEnvironment) {
  ombrix::test::ScopedEnv all("LC_ALL", std::nullopt);
  ombrix::test::ScopedEnv messages("LC_MESSAGES", std::nullopt);
  {
    ombrix::test::ScopedEnv lang("LANG", "zh_HK.UTF-8");
    UIStringTable::Build();
    EXPECT_STREQ(UIStringTable::GetString(STRING_MESSAGE_ERROR), L"错误");
  }
  {
    ombrix::test::ScopedEnv lang("LANG", "en_US.UTF-8");
    UIStringTable::Build();
    EXPECT_STREQ(UIStringTable::GetString(STRING_MESSAGE_ERROR), L"Error");
  }
}

}  // namespace
