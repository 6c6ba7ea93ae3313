#include "client/ui/userinfo/user_info_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/core/user_account_record.h"
#include "client/core/web_events.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/combo_ui.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;
namespace driver = uilib::test_driver;

namespace ombrix::test {
namespace {

std::wstring ComboText(CComboUI* combo) { return combo->GetText(); }

TEST(CityInfoTest, ReadsAnsiRecordsLooksUpCitiesAndBoundsTheProvinces) {
  TempDir dir;
  CComboUI province, city;
  CityInfo info;
  info.SetCombos(&province, &city);
  info.LoadCityInfo(brx::util::Utf8ToWide(dir.Sub("missing.txt")));
  info.SelectProvinceCity(L"", L"b1");
  EXPECT_EQ(province.GetCount(), 0);
  EXPECT_EQ(city.GetCount(), 0);

  // GBK bytes; line breaks are plain whitespace.
  WriteFile(dir.Sub("CityInfo.txt"),
            brx::util::WideToAnsi(L"江苏 南京 苏州\n朝阳 |\n辽宁 沈阳\n朝阳 |\n"));
  CComboUI p2, c2;
  CityInfo two;
  two.SetCombos(&p2, &c2);
  two.LoadCityInfo(brx::util::Utf8ToWide(dir.Sub("CityInfo.txt")));
  ASSERT_EQ(p2.GetCount(), 2);
  EXPECT_EQ(p2.GetItemAt(1)->GetText(), L"辽宁");
  two.SelectProvinceCity(L"", L"苏州");
  EXPECT_EQ(ComboText(&p2), L"江苏");
  EXPECT_EQ(ComboText(&c2), L"苏州");
  EXPECT_EQ(c2.GetCount(), 3);
  two.SelectProvinceCity(L"", L"朝阳");  // a name under both: the later province
  EXPECT_EQ(ComboText(&p2), L"辽宁");
  EXPECT_EQ(ComboText(&c2), L"朝阳");
  two.SelectProvinceCity(L"西藏", L"拉萨");  // unknown: the first province, its first city
  EXPECT_EQ(ComboText(&p2), L"江苏");
  EXPECT_EQ(ComboText(&c2), L"南京");
  two.SelectProvinceCity(L"", L"无此城");
  EXPECT_EQ(ComboText(&c2), L"南京");

  std::wstring many;
  for (int i = 0; i < 60; ++i)
    many += L"P" + std::to_wstring(i) + L" c" + std::to_wstring(i) + L" |\n";
  WriteFile(dir.Sub("Many.txt"), brx::util::WideToAnsi(many));
  CComboUI p3, c3;
  CityInfo sixty;
  sixty.SetCombos(&p3, &c3);
  sixty.LoadCityInfo(brx::util::Utf8ToWide(dir.Sub("Many.txt")));
  EXPECT_EQ(p3.GetCount(), CityInfo::kMaxProvinces);
  sixty.SelectProvinceCity(L"", L"c55");  // beyond the bound: not offered
  EXPECT_EQ(c3.GetCount(), 0);
  sixty.SelectProvinceCity(L"", L"c49");
  EXPECT_EQ(ComboText(&p3), L"P49");
}

TEST(CityInfoTest, TheShippedFileListsEveryProvince) {
  CComboUI province, city;
  CityInfo info;
  info.SetCombos(&province, &city);
  info.LoadCityInfo(DefaultSkin() + L"/CityInfo.txt");
  EXPECT_EQ(province.GetCount(), 36);  // "-", 34 divisions, abroad
  info.SelectProvinceCity(L"", L"深圳");
  EXPECT_EQ(ComboText(&province), L"广东");
  EXPECT_EQ(city.GetCount(), 21);
}

class RecordingUserHost : public UserInfoHost {
 public:
  const UserAccountRecord* CurrentUser() const override { return &user; }
  void UpdateUserInfo(const std::map<std::wstring, std::wstring>& fields) override {
    infos.push_back(fields);
  }
  void UpdateGameProfile(const std::wstring& json) override { profiles.push_back(json); }
  void RequestAvatarKey() override { ++key_requests; }
  void OpenAvatarEditor(const std::wstring& key, const RECT& at) override {
    editors.push_back(key + L"@" + std::to_wstring(at.left) + L"," + std::to_wstring(at.top));
  }
  UserAccountRecord user;
  std::vector<std::map<std::wstring, std::wstring>> infos;
  std::vector<std::wstring> profiles;
  std::vector<std::wstring> editors;
  int key_requests = 0;
};

std::wstring RoleJson(int n) {
  std::wstring out = L"[";
  auto role = [&](const std::wstring& id, const std::wstring& level, const std::wstring& game,
                  const std::wstring& server, const std::wstring& privacy) {
    if (out.size() > 1) out += L",";
    out += L"{\"ID\":\"" + id + L"\",\"GameName\":\"" + game + L"\",\"GameServer\":\"" + server +
           L"\",\"CharacterName\":\"name-" + id + L"\",\"CharacterLevel\":\"" + level +
           L"\",\"Privacy\":\"" + privacy + L"\"}";
  };
  role(L"r1", L"9", L"b", L"A-B-C", L"1");
  role(L"r2", L"10", L"z", L"S", L"2");
  role(L"r3", L"10", L"a", L"S", L"");
  for (int i = 3; i < n; ++i)
    role(L"f" + std::to_wstring(i), i < 100 ? L"1" : L"99", L"g", L"S", L"1");
  return out + L"]";
}

// The dialog on the default skin for the user in `host`, its requests
// recorded.
class UserInfoDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessBackend();
    context.skin_folder = DefaultSkin();
    host.user.Account = L"abcdef";
    host.user.Mood = L"心情";
  }
  void Open() {
    dialog = std::make_unique<CUserInfoDialog>(&host, &events, &context);
    ASSERT_NE(dialog->CreateDialogWindow(0), 0u);
  }
  CControlUI* C(const wchar_t* name) { return dialog->paint_manager().FindControlQuiet(name); }

  ControlContext context;
  EventChain events;
  RecordingUserHost host;
  std::unique_ptr<CUserInfoDialog> dialog;
};

TEST_F(UserInfoDialogTest, ProfileRolesNicknameRulesAndSavePayloads) {
  host.user.NickName = L"旧昵称";
  host.user.Province = L"江苏";
  host.user.City = L"苏州";
  host.user.DisplayRoleId = L"r2";
  ASSERT_NO_FATAL_FAILURE(Open());
  CUserInfoDialog& dialog = *this->dialog;
  auto& pm = dialog.paint_manager();
  auto* province = static_cast<CComboUI*>(C(L"province_combo"));
  auto* city = static_cast<CComboUI*>(C(L"city_combo"));
  const FromHandle origin{2, 0};

  payload::SEVENT_RESPONSE_GetUserAccountByAccount refreshed(origin, L"", true, L"");
  events.FireEvent(&refreshed);
  EXPECT_EQ(C(L"user_name_label")->GetText(), L"abc***");
  EXPECT_EQ(C(L"nickname_edit")->GetText(), L"旧昵称");
  EXPECT_EQ(province->GetText(), L"江苏");
  EXPECT_EQ(city->GetText(), L"苏州");  // not replaced by the province's first city
  EXPECT_FALSE(dialog.modified());

  dialog.ShowDialog(nullptr);
  EXPECT_EQ(host.key_requests, 1);
  payload::SEVENT_RESPONSE_GetGameUserProfileList list(origin, L"", true, RoleJson(120));
  events.FireEvent(&list);
  ASSERT_EQ(dialog.roles().size(), 100u);
  EXPECT_EQ(dialog.roles()[0].ID, L"r3");
  EXPECT_EQ(dialog.roles()[1].ID, L"r2");
  EXPECT_EQ(dialog.roles()[2].ID, L"r1");
  EXPECT_EQ(dialog.roles()[2].GameServer, L"AB-C");
  EXPECT_EQ(dialog.stored_display_row(), 1);
  EXPECT_EQ(C(L"role_name_label")->GetText(), L"name-r2");
  EXPECT_FALSE(C(L"noroletiplabel")->IsVisible());
  EXPECT_FALSE(dialog.modified());
  EXPECT_FALSE(C(L"set_button")->IsEnabled());
  std::filesystem::create_directories(BinaryDir() + "/test-output/settings");
  EXPECT_TRUE(HeadlessBackend::Current()->RenderWindowToPng(
      dialog.GetHWND(), BinaryDir() + "/test-output/settings/user_info.png"));

  // Nothing changed: OK hides at once and sends nothing.
  ASSERT_TRUE(driver::Click(pm, L"ok_button"));
  EXPECT_FALSE(IsWindowVisible(dialog.GetHWND()));
  EXPECT_TRUE(host.infos.empty());
  EXPECT_TRUE(host.profiles.empty());

  // Nickname bytes in the ANSI code page: 8 Chinese characters pass, 9 do
  // not, and OK then sends nothing.
  dialog.ShowDialog(nullptr);
  auto type = [&](const std::wstring& text) {
    C(L"nickname_edit")->SetText(L"");
    ASSERT_TRUE(driver::TypeInto(pm, L"nickname_edit", text));
  };
  type(L"一二三四五六七八");
  EXPECT_FALSE(C(L"nickname_edit_error_info")->IsVisible());
  EXPECT_TRUE(dialog.modified());
  type(L"一二三四五六七八九");
  EXPECT_TRUE(C(L"nickname_edit_error_info")->IsVisible());
  EXPECT_EQ(C(L"nickname_edit_error_info")->GetText(), L"昵称最多为八个汉字");
  EXPECT_FALSE(C(L"set_button")->IsEnabled());
  ASSERT_TRUE(driver::Click(pm, L"ok_button"));
  EXPECT_TRUE(host.infos.empty());
  EXPECT_TRUE(IsWindowVisible(dialog.GetHWND()));
  type(L"abcdefghijklmnopq");
  EXPECT_EQ(C(L"nickname_edit")->GetText(), L"abcdefghijklmnop");
  EXPECT_FALSE(C(L"nickname_edit_error_info")->IsVisible());

  // A new nickname, another province (its first city follows), privacy of
  // the first row; Apply sends both payloads.
  type(L"新昵称");
  province->SelectItem(province->GetCurSel() + 1);
  EXPECT_EQ(province->GetText(), L"浙江");
  EXPECT_EQ(city->GetText(), L"杭州");
  auto* row0_privacy = static_cast<CComboUI*>(
      static_cast<CContainerUI*>(C(L"game_role_list"))->FindSubControl(L"role_privacy"));
  ASSERT_NE(row0_privacy, nullptr);
  row0_privacy->SelectItem(1);
  ASSERT_TRUE(driver::Click(pm, L"set_button"));
  ASSERT_EQ(host.infos.size(), 1u);
  EXPECT_EQ(host.infos[0],
            (std::map<std::wstring, std::wstring>{{L"NickName", L"新昵称"},
                                                  {L"Province", L"浙江"},
                                                  {L"City", L"杭州"},
                                                  {L"Mood", L"心情"},
                                                  {L"DisplayRoleId", L"r2"},
                                                  {L"DisplayRoleName", L"name-r2"}}));
  ASSERT_EQ(host.profiles.size(), 1u);
  const std::string profile = brx::util::WideToUtf8(host.profiles[0]);
  EXPECT_NE(profile.find("\"r3\""), std::string::npos);
  EXPECT_NE(profile.find("\"f99\""), std::string::npos);     // every row, not only the changed one
  EXPECT_LT(profile.find("\"2\""), profile.find("\"r2\""));  // r3 now private, listed first

  // The server refuses the name; a later accepted save closes after OK.
  payload::SEVENT_RESPONSE_UpdateUserInfo refused(origin, L"{\"Status\":\"-10\"}", true);
  events.FireEvent(&refused);
  EXPECT_EQ(C(L"nickname_edit_error_info")->GetText(), L"此昵称已被注册，请另换一个");
  EXPECT_TRUE(IsWindowVisible(dialog.GetHWND()));
  type(L"另一个");
  ASSERT_TRUE(driver::Click(pm, L"ok_button"));
  EXPECT_EQ(host.infos.size(), 2u);
  EXPECT_TRUE(host.profiles.size() == 1u);
  EXPECT_TRUE(IsWindowVisible(dialog.GetHWND()));
  host.user.NickName = L"另一个";
  payload::SEVENT_RESPONSE_UpdateUserInfo accepted(origin, L"{\"Status\":\"0\"}", true);
  events.FireEvent(&accepted);
  EXPECT_FALSE(IsWindowVisible(dialog.GetHWND()));

  // The avatar editor gets the key of the user signed in now, never an
  // earlier user's.
  payload::SEVENT_RESPONSE_GetCurrentUserQtidByEncrypt key(origin, L"", true, L"key-1");
  events.FireEvent(&key);
  dialog.ShowDialog(nullptr);
  ASSERT_TRUE(driver::Click(pm, L"change_picture_button"));
  dialog.Reset();
  EXPECT_TRUE(C(L"noroletiplabel")->IsVisible());
  EXPECT_EQ(C(L"role_name_label")->GetText(), L"N/A");
  EXPECT_EQ(province->GetText(), L"-");
  dialog.ShowDialog(nullptr);
  ASSERT_TRUE(driver::Click(pm, L"change_picture_button"));
  ASSERT_EQ(host.editors.size(), 1u);
  EXPECT_EQ(host.editors[0].substr(0, 6), L"key-1@");
}

// A record without a nickname (a user who never chose one): editing only
// the mood must not send an empty nickname; the check runs on OK and
// Apply as it does while typing, and the dialog waits for a name.
TEST_F(UserInfoDialogTest, SavingChecksTheNicknameEvenWhenOnlyTheMoodWasEdited) {
  ASSERT_NO_FATAL_FAILURE(Open());
  CUserInfoDialog& dialog = *this->dialog;
  auto& pm = dialog.paint_manager();
  payload::SEVENT_RESPONSE_GetUserAccountByAccount refreshed({2, 0}, L"", true, L"");
  events.FireEvent(&refreshed);
  dialog.ShowDialog(nullptr);
  ASSERT_EQ(C(L"nickname_edit")->GetText(), L"");

  C(L"signature_edit")->SetText(L"");
  ASSERT_TRUE(driver::TypeInto(pm, L"signature_edit", L"新的心情"));
  EXPECT_TRUE(C(L"set_button")->IsEnabled());
  ASSERT_TRUE(driver::Click(pm, L"set_button"));
  EXPECT_TRUE(host.infos.empty());
  EXPECT_TRUE(C(L"nickname_edit_error_info")->IsVisible());
  EXPECT_EQ(C(L"nickname_edit_error_info")->GetText(), L"昵称不能为空");
  ASSERT_TRUE(driver::Click(pm, L"ok_button"));
  EXPECT_TRUE(host.infos.empty());
  EXPECT_TRUE(IsWindowVisible(dialog.GetHWND()));
  EXPECT_EQ(C(L"nickname_edit_error_info")->GetText(), L"昵称不能为空");
  std::filesystem::create_directories(BinaryDir() + "/test-output/settings");
  EXPECT_TRUE(HeadlessBackend::Current()->RenderWindowToPng(
      dialog.GetHWND(), BinaryDir() + "/test-output/settings/user_info_no_nickname.png"));

  // With a name the same OK sends both, and closes once it is accepted.
  ASSERT_TRUE(driver::TypeInto(pm, L"nickname_edit", L"小明"));
  EXPECT_FALSE(C(L"nickname_edit_error_info")->IsVisible());
  ASSERT_TRUE(driver::Click(pm, L"ok_button"));
  ASSERT_EQ(host.infos.size(), 1u);
  EXPECT_EQ(host.infos[0].at(L"NickName"), L"小明");
  EXPECT_EQ(host.infos[0].at(L"Mood"), L"新的心情");
  EXPECT_TRUE(IsWindowVisible(dialog.GetHWND()));
  host.user.NickName = L"小明";
  payload::SEVENT_RESPONSE_UpdateUserInfo accepted({2, 0}, L"{\"Status\":\"0\"}", true);
  events.FireEvent(&accepted);
  EXPECT_FALSE(IsWindowVisible(dialog.GetHWND()));
}

}  // namespace
}  // namespace ombrix::test
