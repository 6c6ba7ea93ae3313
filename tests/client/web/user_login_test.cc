#include <gtest/gtest.h>

#include <json/json.h>

#include <filesystem>
#include <set>

#include "client/core/user_account_record.h"
#include "client/web/ob_logic_web_other.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/user_folders.h"
#include "runtime/util/text_convert.h"
#include "tests/client/web/web_test_fixture.h"

namespace ombrix::test {
namespace {

using brx::util::Utf8ToWide;
using brx::util::WideToUtf8;

TEST(UserAccountRecordTest, LoginDataReadsNestedKeysNumbersAndFlagsOfEveryForm) {
  UserAccountRecord r;
  ASSERT_TRUE(ParseLoginReply(
      L"{\"SessionID\":\"s1\",\"CipherPassword\":\"c1\",\"BindBlogIds\":\"7,8\",\"TGNickName\":"
      L"\"tg\","
      L"\"UserAccount\":{\"UserAccountId\":\"1001\",\"Account\":\"alice\",\"NickName\":"
      L"\"\u7231\u4e3d\u4e1d\","
      L"\"BlogCount\":3,\"FollowCount\":\"4\",\"IsCertificated\":1,\"IsSetRelevanceUser\":true,"
      L"\"OnlineTimeHours\":5,\"City\":\"\u5317\u4eac\"}}",
      &r));
  EXPECT_EQ(r.SessionID, L"s1");
  EXPECT_EQ(r.CipherPassword, L"c1");
  EXPECT_EQ(r.BindBlogIds, L"7,8");
  EXPECT_EQ(r.TGNickName, L"tg");
  EXPECT_EQ(r.UserAccountId, L"1001");
  EXPECT_EQ(r.Account, L"alice");
  EXPECT_EQ(r.NickName, L"\u7231\u4e3d\u4e1d");
  EXPECT_EQ(r.BlogCount, 3);
  EXPECT_EQ(r.FollowCount, 4);
  EXPECT_EQ(r.FollowByOtherCount, 0);
  EXPECT_TRUE(r.IsCertificated);
  EXPECT_TRUE(r.IsSetRelevanceUser);  // a JSON true is not read as 0
  EXPECT_EQ(r.OnlineTimeHours, 5);
  EXPECT_EQ(r.City, L"\u5317\u4eac");
  EXPECT_EQ(r.Email, L"");

  UserAccountRecord bare;
  ASSERT_TRUE(ParseUserAccount(
      L"{\"Account\":\"bob\",\"IsCertificated\":\"0\",\"IsSetRelevanceUser\":false}", &bare));
  EXPECT_EQ(bare.Account, L"bob");
  EXPECT_FALSE(bare.IsCertificated);
  EXPECT_FALSE(bare.IsSetRelevanceUser);
  EXPECT_FALSE(ParseLoginReply(L"not json", &bare));
  EXPECT_FALSE(ParseLoginReply(L"", &bare));
  EXPECT_TRUE(ParseReplyFlag("1\n"));
  EXPECT_TRUE(ParseReplyFlag("true\n"));
  EXPECT_FALSE(ParseReplyFlag("false\n"));
  EXPECT_FALSE(ParseReplyFlag(""));
}

class UserLoginTest : public WebTestFixture {
 protected:
  void SetUp() override {
    WebTestFixture::SetUp();
    StartManager();
    host_.config = {{L"root.user.account", L"kept"},
                    {L"root.user.password", L"kept-cipher"},
                    {L"root.base.normal.autologin", L"1"}};
  }
  OBLogicWeb_User& user() { return manager_->User(); }
  const std::map<std::wstring, std::wstring> kRemembered = {{L"root.user.account", L"kept"},
                                                            {L"root.user.password", L"kept-cipher"},
                                                            {L"root.base.normal.autologin", L"1"}};
};

TEST_F(UserLoginTest, PasswordSignInFillsTheRecordRemembersAndFetchesHeadImagesAndPrompts) {
  user().UserLogin(L"demo", L"ombrix2024", {FromHandle::kClient, 0}, LoginFlags::kRememberPassword);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 1; }));
  auto e = events_.Of(0)[0];
  EXPECT_EQ(e.ok, 1);
  EXPECT_EQ(e.text, L"demo");
  EXPECT_EQ(e.kind, FromHandle::kClient);
  EXPECT_NE(e.param.find(L"\"SessionID\""), std::wstring::npos);

  auto wire = standin_.RequestsFor("UserLogin").at(0);
  EXPECT_EQ(wire.ParamKeys(), (std::vector<std::string>{
                                  "Account", "CommandName", "Interface", "Password", "PaswordType",
                                  "RequireCipher", "SerializationType", "random_ticket", "zip"}));
  EXPECT_EQ(wire.Param("Interface"), "UserAccount");
  EXPECT_EQ(wire.Param("PaswordType"), "simple");
  EXPECT_EQ(wire.Param("RequireCipher"), "true");
  EXPECT_EQ(wire.Param("Password"), "ombrix2024");

  const UserAccountRecord& r = user().record();
  ASSERT_TRUE(user().IsLoggedIn());
  EXPECT_EQ(r.logged_in_by_ticket, 0);
  EXPECT_EQ(r.SessionID.size(), 32u);
  EXPECT_EQ(r.CipherPassword.size(), 32u);
  EXPECT_EQ(r.UserAccountId, L"1001");
  EXPECT_EQ(r.Account, L"demo");
  EXPECT_EQ(r.NickName, L"\u6f14\u793a\u73a9\u5bb6");
  EXPECT_EQ(r.TGNickName, L"\u6f14\u793a\u73a9\u5bb6");
  EXPECT_EQ(r.Email, L"demo@example.invalid");
  EXPECT_EQ(r.Status, L"1");
  EXPECT_EQ(r.RegFrom, L"client");
  EXPECT_EQ(r.PrivateDomain, L"demo");
  EXPECT_FALSE(r.IsCertificated);
  EXPECT_FALSE(r.LastLoginTime.empty());
  EXPECT_EQ(user().GetUserFolder(), L"Users/demo");

  EXPECT_EQ(host_.config[L"root.user.account"], L"demo");
  EXPECT_EQ(host_.config[L"root.user.password"], r.CipherPassword);
  EXPECT_EQ(host_.config[L"root.base.normal.autologin"], L"1");
  EXPECT_TRUE(std::filesystem::is_directory(program_.Sub("Users/demo")));

  ASSERT_TRUE(standin_.WaitForRequests("GetDataPrompt"));
  auto prompt = standin_.RequestsFor("GetDataPrompt").at(0);
  EXPECT_EQ(prompt.Param("SessionId"), WideToUtf8(r.SessionID));
  EXPECT_EQ(prompt.Param("UserAccountId"), "1001");

  // Three head images, one round number, into the user's HeadImage folder.
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(10) == 3 && events_.Count(12) == 1; }));
  for (const auto& ev : events_.Of(10)) {
    EXPECT_EQ(ev.ok, 1);
    EXPECT_EQ(ev.kind, 0);
    EXPECT_EQ(WideToUtf8(ev.param).rfind(standin_.base_url() + "/head/1001_", 0), 0u);
  }
  std::string small = WideToUtf8(r.small_head_image_path);
  std::string folder = program_.Sub("Users/demo/HeadImage/head_small");
  ASSERT_EQ(small.rfind(folder, 0), 0u) << small;
  std::string round = small.substr(folder.size(), small.size() - folder.size() - 4);
  EXPECT_EQ(WideToUtf8(r.mid_head_image_path),
            program_.Sub("Users/demo/HeadImage/head_mid" + round + ".jpg"));
  EXPECT_EQ(WideToUtf8(r.HeadImageUrl),
            program_.Sub("Users/demo/HeadImage/head_big" + round + ".jpg"));
  EXPECT_NE(ReadFile(small).find("1001_small.jpg"), std::string::npos);
  EXPECT_EQ(standin_.RequestsTo("/head/1001_big.jpg").at(0).query,
            "");  // complete address, no ticket
}

TEST_F(UserLoginTest, CipherRuleAndTheStoredCipherPassword) {
  ASSERT_TRUE(SignInDemo());
  std::wstring cipher = user().record().CipherPassword;
  user().UserLogin(L"demo", cipher, {FromHandle::kClient, 0}, LoginFlags::kCipher);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 2; }));
  EXPECT_EQ(events_.Of(0)[1].ok, 1);
  auto wire = standin_.RequestsFor("UserLogin").at(1);
  EXPECT_EQ(wire.Param("PaswordType"), "cipher");
  EXPECT_EQ(wire.Param("RequireCipher"), "false");
  EXPECT_EQ(user().record().CipherPassword, L"");  // not asked for this time

  user().UserLogin(L"demo", L"", {FromHandle::kClient, 0},
                   LoginFlags::kCipher | LoginFlags::kRememberPassword);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 3; }));
  EXPECT_EQ(standin_.RequestsFor("UserLogin").at(2).Param("PaswordType"), "simple");
  EXPECT_EQ(events_.Of(0)[2].ok, 0);
}

TEST_F(UserLoginTest, TicketSignInAnswersItsRequesterAndRemembersNothing) {
  user().UserLoginByTicket(L"demo-ticket", {FromHandle::kGameClient, 42});
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(1) == 1; }));
  auto e = events_.Of(1)[0];
  EXPECT_EQ(e.ok, 1);
  EXPECT_EQ(e.kind, FromHandle::kGameClient);
  EXPECT_EQ(e.handle, 42);
  EXPECT_EQ(e.text, L"demo");
  EXPECT_EQ(user().record().logged_in_by_ticket, 1);
  EXPECT_EQ(standin_.RequestsFor("UserLoginByTicket").at(0).ParamKeys(),
            (std::vector<std::string>{"CommandName", "Interface", "SerializationType", "Ticket",
                                      "random_ticket", "zip"}));
  EXPECT_EQ(host_.config, kRemembered);
  EXPECT_TRUE(standin_.WaitForRequests("GetDataPrompt"));
  EXPECT_TRUE(std::filesystem::is_directory(program_.Sub("Users/demo")));

  // A refused ticket from another game reaches that game.
  user().UserLoginByTicket(L"stale-ticket", {FromHandle::kGameClient, 43});
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(1) == 2; }));
  e = events_.Of(1)[1];
  EXPECT_EQ(e.ok, 0);
  EXPECT_EQ(e.kind, FromHandle::kGameClient);
  EXPECT_EQ(e.handle, 43);
  EXPECT_TRUE(user().IsLoggedIn());  // the signed-in user stays
}

TEST_F(UserLoginTest, OnlyARefusalForgetsTheRememberedCredentials) {
  // Time-out, an unreadable reply, a dropped connection, a Data that holds
  // no account: the sign-in fails and nothing remembered is touched.
  user().SetLoginTimeoutForTesting(300);
  const char* faults[] = {
      "command=UserLogin&mode=timeout&hold_ms=20000", "command=UserLogin&mode=garbage",
      "command=UserLogin&mode=drop",
      "command=UserLogin&mode=raw&body=%7B%22Status%22%3A0%2C%22Data%22%3A%22x%22%7D"};
  size_t n = 0;
  for (const char* fault : faults) {
    standin_.Fault(fault);
    user().UserLogin(L"demo", L"ombrix2024", {FromHandle::kGameClient, 5},
                     LoginFlags::kRememberPassword);
    ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == n + 1; })) << fault;
    auto e = events_.Of(0)[n++];
    EXPECT_EQ(e.ok, 0) << fault;
    EXPECT_EQ(e.rejected, 0) << fault;
    EXPECT_EQ(e.text, L"未知错误") << fault;
    EXPECT_EQ(e.kind, FromHandle::kGameClient) << fault;
    EXPECT_EQ(host_.config, kRemembered) << fault;
    EXPECT_FALSE(user().IsLoggedIn()) << fault;
  }

  // A server error is an outage, even with a refusing envelope as its body.
  standin_.Fault("command=UserLogin&mode=http500");
  user().UserLogin(L"demo", L"ombrix2024", {FromHandle::kGameClient, 5},
                   LoginFlags::kRememberPassword);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == n + 1; }));
  auto outage = events_.Of(0)[n++];
  EXPECT_EQ(outage.ok, 0);
  EXPECT_EQ(outage.rejected, 0);
  EXPECT_EQ(outage.text, L"服务器内部错误");
  EXPECT_EQ(host_.config, kRemembered);

  user().UserLogin(L"demo", L"wrong", {FromHandle::kGameClient, 5}, LoginFlags::kRememberPassword);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == n + 1; }));
  auto refused = events_.Of(0)[n];
  EXPECT_EQ(refused.ok, 0);
  EXPECT_EQ(refused.rejected, 1);
  EXPECT_EQ(refused.text, L"\u5e10\u53f7\u6216\u5bc6\u7801\u9519\u8bef");
  EXPECT_EQ(refused.kind, FromHandle::kGameClient);
  EXPECT_EQ(refused.handle, 5);
  EXPECT_EQ(host_.config[L"root.user.account"], L"");
  EXPECT_EQ(host_.config[L"root.user.password"], L"");
  EXPECT_EQ(host_.config[L"root.base.normal.autologin"], L"0");
  EXPECT_EQ(standin_.RequestsFor("GetDataPrompt").size(), 0u);
}

TEST_F(UserLoginTest, AFailedSignInLeavesTheSignedInUserAsItWas) {
  ASSERT_TRUE(SignInDemo());
  UserAccountRecord before = user().record();
  events_.Clear();
  user().UserLogin(L"buddy", L"wrong", {FromHandle::kGameClient, 9}, LoginFlags::kNone);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 1; }));
  EXPECT_EQ(events_.Of(0)[0].ok, 0);
  EXPECT_TRUE(user().IsLoggedIn());
  EXPECT_EQ(user().record().SessionID, before.SessionID);
  EXPECT_EQ(user().record().Account, L"demo");
  EXPECT_EQ(events_.Count(3) + events_.Count(4), 0u);
  // Someone else's refused account leaves the signed-in user's
  // remembered credentials and auto-login alone.
  EXPECT_EQ(host_.config[L"root.user.account"], L"demo");
  EXPECT_EQ(host_.config[L"root.user.password"], before.CipherPassword);
  EXPECT_EQ(host_.config[L"root.base.normal.autologin"], L"1");
  user().GetDataPrompt();  // the session still works
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(12) == 1; }));

  // A refusal of the remembered account itself forgets it.
  user().UserLogin(L"demo", L"wrong", {FromHandle::kClient, 0}, LoginFlags::kNone);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 2; }));
  EXPECT_EQ(events_.Of(0)[1].rejected, 1);
  EXPECT_TRUE(user().IsLoggedIn());
  EXPECT_EQ(host_.config[L"root.user.account"], L"");
  EXPECT_EQ(host_.config[L"root.user.password"], L"");
  EXPECT_EQ(host_.config[L"root.base.normal.autologin"], L"0");

  // A successful second sign-in replaces the first user.
  user().UserLogin(L"buddy", L"buddy2024", {FromHandle::kClient, 0}, LoginFlags::kNone);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 3; }));
  EXPECT_EQ(user().record().Account, L"buddy");
  EXPECT_NE(user().record().SessionID, before.SessionID);
}

TEST_F(UserLoginTest, EveryFieldOfTheRecordComesThroughTheWire) {
  standin_.Control(
      "user",
      "account=carol&password=pw1&nick=Carol&BindBlogIds=7%2C8&TGNickName=CarolTG&DisplayRoleId=r9"
      "&DisplayRoleName=Hero&BlogCount=4&FollowCount=5&FollowByOtherCount=6&Mood=calm&"
      "IsCertificated=1"
      "&RegisterIP=10.0.0.1&Birthday=1990-02-03&Province=%E6%B5%99%E6%B1%9F&City=Hangzhou"
      "&IsSetRelevanceUser=1&OnlineTimeHours=12&LastOnlineTimeStatDate=2026-12-01&PrivateDomain="
      "carol-home"
      "&RegFrom=web&Email=c%40x.invalid&Status=2");
  user().UserLogin(L"carol", L"pw1", {FromHandle::kClient, 0}, LoginFlags::kNone);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 1; }));
  ASSERT_EQ(events_.Of(0)[0].ok, 1);
  const UserAccountRecord& r = user().record();
  EXPECT_EQ(r.BindBlogIds, L"7,8");
  EXPECT_EQ(r.TGNickName, L"CarolTG");
  EXPECT_EQ(r.NickName, L"Carol");
  EXPECT_EQ(r.DisplayRoleId, L"r9");
  EXPECT_EQ(r.DisplayRoleName, L"Hero");
  EXPECT_EQ(r.BlogCount, 4);
  EXPECT_EQ(r.FollowCount, 5);
  EXPECT_EQ(r.FollowByOtherCount, 6);
  EXPECT_EQ(r.Email, L"c@x.invalid");
  EXPECT_EQ(r.Mood, L"calm");
  EXPECT_TRUE(r.IsCertificated);
  EXPECT_EQ(r.RegisterIP, L"10.0.0.1");
  EXPECT_FALSE(r.RegisterTime.empty());
  EXPECT_EQ(r.LastLoginIP, L"127.0.0.1");  // the service notes the sign-in
  EXPECT_FALSE(r.LastLoginTime.empty());
  EXPECT_EQ(r.Birthday, L"1990-02-03");
  EXPECT_EQ(r.Province, L"\u6d59\u6c5f");
  EXPECT_EQ(r.City, L"Hangzhou");
  EXPECT_EQ(r.Status, L"2");
  EXPECT_EQ(r.RegFrom, L"web");
  EXPECT_TRUE(r.IsSetRelevanceUser);
  EXPECT_EQ(r.OnlineTimeHours, 12);
  EXPECT_EQ(r.LastOnlineTimeStatDate, L"2026-12-01");
  EXPECT_EQ(r.PrivateDomain, L"carol-home");
  EXPECT_EQ(r.CipherPassword, L"");  // not asked for

  // A refresh takes the account fields and keeps the sign-in's own.
  standin_.Control(
      "user",
      "account=carol&password=pw1&nick=Carol2&BindBlogIds=9&TGNickName=Other&Birthday=1991-01-01"
      "&FollowByOtherCount=8&DisplayRoleName=Mage&LastOnlineTimeStatDate=2026-12-02");
  user().GetUserAccountByAccount();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(5) == 1; }));
  EXPECT_EQ(r.NickName, L"Carol2");
  EXPECT_EQ(r.Birthday, L"1991-01-01");
  EXPECT_EQ(r.FollowByOtherCount, 8);
  EXPECT_EQ(r.DisplayRoleName, L"Mage");
  EXPECT_EQ(r.LastOnlineTimeStatDate, L"2026-12-02");
  EXPECT_EQ(r.BindBlogIds, L"7,8");
  EXPECT_EQ(r.TGNickName, L"CarolTG");
}

TEST_F(UserLoginTest, SignInDataAsATextHoldingJsonOrWithoutASession) {
  // Data as a JSON text inside the envelope's string.
  std::string inner =
      "{\"SessionID\":\"s-text\",\"TGNickName\":\"tg\",\"UserAccount\":{\"UserAccountId\":\"77\","
      "\"Account\":\"texty\",\"BlogCount\":\"3\",\"IsCertificated\":1}}";
  Json::Value envelope;
  envelope["Status"] = 0;
  envelope["Data"] = inner;
  standin_.Fault("command=UserLogin&mode=raw&body=" +
                 QueryEscape(Json::FastWriter().write(envelope)));
  user().UserLogin(L"texty", L"pw", {FromHandle::kClient, 0}, LoginFlags::kNone);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 1; }));
  EXPECT_EQ(events_.Of(0)[0].ok, 1);
  EXPECT_EQ(events_.Of(0)[0].text, L"texty");
  EXPECT_TRUE(user().IsLoggedIn());
  EXPECT_EQ(user().record().SessionID, L"s-text");
  EXPECT_EQ(user().record().UserAccountId, L"77");
  EXPECT_EQ(user().record().BlogCount, 3);
  EXPECT_TRUE(user().record().IsCertificated);
  ASSERT_TRUE(standin_.WaitForRequests("GetDataPrompt"));
  EXPECT_EQ(standin_.RequestsFor("GetDataPrompt").back().Param("SessionId"), "s-text");

  // A Data without SessionID: the sign-in "succeeds", yet nobody is signed
  // in, and the commands that need a session send nothing.
  user().UserLogout();
  standin_.Fault(
      "command=UserLogin&mode=raw&body=" +
      QueryEscape(
          "{\"Status\":0,\"Data\":{\"UserAccount\":{\"Account\":\"ghost\",\"HeadImageUrl\":\"" +
          standin_.base_url() + "/head/ghost_small.jpg\"}}}"));
  size_t prompts = standin_.RequestsFor("GetDataPrompt").size();
  user().UserLogin(L"ghost", L"pw", {FromHandle::kClient, 0}, LoginFlags::kNone);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 2; }));
  EXPECT_EQ(events_.Of(0)[1].ok, 1);
  EXPECT_EQ(events_.Of(0)[1].text, L"ghost");
  EXPECT_FALSE(user().IsLoggedIn());
  EXPECT_EQ(user().GetUserFolder(), L"Users/All Users");
  user().SearchByNickAndProfile(L"a", L"1", L"100");
  manager_->Other().GetServerDateTime();  // a marker behind anything sent
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(30) == 1; }));
  EXPECT_EQ(standin_.RequestsFor("GetDataPrompt").size(), prompts);
  EXPECT_EQ(standin_.RequestsFor("SearchByNickAndProfile").size(), 0u);
  EXPECT_EQ(standin_.RequestsTo("/head/ghost_small.jpg").size(), 0u);
}

TEST(UserFolderNameTest, PlainAccountsStayAndAnyOtherBecomesOneSafeComponent) {
  for (const wchar_t* plain : {L"demo", L"\u7231\u4e3d\u4e1d", L"a.b_c-d@mail", L"...", L"x..y"})
    EXPECT_EQ(UserFolderName(plain), plain);
  std::set<std::wstring> names;
  for (const wchar_t* account : {L"", L".", L"..", L"../..", L"a/b", L"a\\b", L"/", L"%", L"%2E",
                                 L"%2E%2E", L"a%2Fb", L"a\nb", L"demo"}) {
    std::wstring name = UserFolderName(account);
    EXPECT_FALSE(name.empty()) << WideToUtf8(account);
    EXPECT_NE(name, L".") << WideToUtf8(account);
    EXPECT_NE(name, L"..") << WideToUtf8(account);
    EXPECT_EQ(name.find_first_of(L"/\\"), std::wstring::npos) << WideToUtf8(account);
    EXPECT_TRUE(names.insert(name).second) << "shared: " << WideToUtf8(name);
  }
}

TEST_F(UserLoginTest, AnAccountNeverLeadsOutOfItsOwnFolder) {
  // What "Users/.." would name: the program folder's own "HeadImage", and
  // the store's root for the shared shots.
  std::filesystem::create_directories(program_.Sub("HeadImage"));
  WriteFile(program_.Sub("HeadImage/keep.txt"), "keep");
  host_.snapshot_dir = ProgramPath("OBSnapshot");
  std::filesystem::create_directories(program_.Sub("OBSnapshot/Users/All Users"));
  WriteFile(program_.Sub("OBSnapshot/Users/All Users/shared.jpg"), "shot");
  for (const char* account : {"..", "a/b", ""}) {
    SCOPED_TRACE(account);
    Json::Value envelope;
    envelope["Status"] = 0;
    envelope["Data"]["SessionID"] = "s-odd";
    envelope["Data"]["UserAccount"]["Account"] = account;
    envelope["Data"]["UserAccount"]["HeadImageUrl"] = standin_.base_url() + "/head/odd_small.jpg";
    standin_.Fault("command=UserLogin&mode=raw&body=" +
                   QueryEscape(Json::FastWriter().write(envelope)));
    events_.Clear();
    user().UserLogin(Utf8ToWide(account), L"pw", {FromHandle::kClient, 0}, LoginFlags::kNone);
    ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 1 && events_.Count(10) == 1; }));
    ASSERT_TRUE(user().IsLoggedIn());
    std::string folder = WideToUtf8(user().GetUserFolder());
    ASSERT_EQ(folder.rfind("Users/", 0), 0u) << folder;
    std::string name = folder.substr(6);  // one component, and a real one
    EXPECT_EQ(name.find_first_of("/\\"), std::string::npos) << name;
    EXPECT_TRUE(name != "" && name != "." && name != "..") << name;
    std::string small = WideToUtf8(user().record().small_head_image_path);
    EXPECT_EQ(small.rfind(program_.Sub("Users/" + name + "/HeadImage/head_small"), 0), 0u) << small;
    EXPECT_TRUE(PathExists(small)) << small;
    user().UserLogout();
    ASSERT_EQ(ReadFile(program_.Sub("OBSnapshot/Users/" + name + "/shared.jpg")), "shot");
    std::filesystem::rename(program_.Sub("OBSnapshot/Users/" + name + "/shared.jpg"),
                            program_.Sub("OBSnapshot/Users/All Users/shared.jpg"));
  }
  EXPECT_EQ(ReadFile(program_.Sub("HeadImage/keep.txt")), "keep");
  EXPECT_FALSE(PathExists(program_.Sub("OBSnapshot/shared.jpg")));
  EXPECT_FALSE(PathExists(program_.Sub("Users/HeadImage")));
}

}  // namespace
}  // namespace ombrix::test
