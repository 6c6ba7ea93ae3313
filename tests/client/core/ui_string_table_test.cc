#include "client/core/ui_string_table.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

class UIStringTableTest : public ::testing::Test {
 protected:
  void TearDown() override { UIStringTable::Destroy(); }
};

// Every key by its name, with its text in each language.
struct Text {
  const char* key;
  const wchar_t* chinese;
  const wchar_t* english;
};

const Text kTexts[] = {
    {"STRING_OMBRIX", L"翎岚", L"OmBrix"},
    {"STRING_LOGIN_STATE_OFFLINE", L"未登录", L"Offline"},
    {"STRING_LOGIN_STATE_ONLINE", L"已登录", L"Online"},
    {"STRING_LOGIN_STATE_LOGIN", L"登录", L"Login"},
    {"STRING_LOGIN_STATE_LOGINING", L"登录中", L"Logining"},
    {"STRING_LOGIN_STATE_LOGINFAIL", L"登录失败", L"Login Failed"},
    {"STRING_MESSAGE_TIP", L"提示", L"Tip"},
    {"STRING_MESSAGE_WARN", L"警告", L"Warn"},
    {"STRING_MESSAGE_ERROR", L"错误", L"Error"},
    {"STRING_MESSAGE_NONEEDFONT", L"检测到您的电脑没有安装运行翎岚所需的字体",
     L"There is no fonts installed to run Ombrix"},
    {"STRING_MESSAGE_OMBRIXISRUNNING", L"你已启动翎岚,不能重复启动", L"Ombrix is running"},
    {"STRING_POSTBLOG_ME", L"我在", L"Screen shot from"},
    {"STRING_POSTBLOG_SHOTANDSHARE", L"游戏上截了这张图片,与大家一同分享",
     L",I would to like to share with you"},
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
    EXPECT_STREQ(UIStringTable::GetString(STRING_MESSAGE_OMBRIXISRUNNING),
                 L"你已启动翎岚,不能重复启动")
        << id;
    EXPECT_STREQ(UIStringTable::GetString(STRING_MESSAGE_TIP), L"提示") << id;
  }
}

TEST_F(UIStringTableTest, OtherLanguageIdsSelectTheEnglishTable) {
  // 5124 is Chinese (Macao) but not one of the ids the table knows.
  for (unsigned id : {1033u, 2057u, 1041u, 5124u, 0u}) {
    UIStringTable::Build(id);
    EXPECT_STREQ(UIStringTable::GetString(STRING_MESSAGE_OMBRIXISRUNNING), L"Ombrix is running")
        << id;
    EXPECT_STREQ(UIStringTable::GetString(STRING_OMBRIX), L"OmBrix") << id;
  }
}

TEST_F(UIStringTableTest, BothTablesHoldExactlyTheThirteenTexts) {
  UIStringTable::Build(2052);
  for (const Text& text : kTexts)
    EXPECT_STREQ(UIStringTable::GetString(text.key), text.chinese) << text.key;
  UIStringTable::Build(1033);
  for (const Text& text : kTexts)
    EXPECT_STREQ(UIStringTable::GetString(text.key), text.english) << text.key;
  // The constants callers use name the same keys.
  for (const char* key :
       {STRING_OMBRIX, STRING_LOGIN_STATE_OFFLINE, STRING_LOGIN_STATE_ONLINE,
        STRING_LOGIN_STATE_LOGIN, STRING_LOGIN_STATE_LOGINING, STRING_LOGIN_STATE_LOGINFAIL,
        STRING_MESSAGE_TIP, STRING_MESSAGE_WARN, STRING_MESSAGE_ERROR, STRING_MESSAGE_NONEEDFONT,
        STRING_MESSAGE_OMBRIXISRUNNING, STRING_POSTBLOG_ME, STRING_POSTBLOG_SHOTANDSHARE}) {
    EXPECT_NE(UIStringTable::GetString(key), nullptr) << key;
  }
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
