#include <gtest/gtest.h>

#include <filesystem>

#include "client/core/web_events.h"
#include "client/web/ob_logic_web_blog.h"
#include "client/web/ob_logic_web_game.h"
#include "client/web/ob_logic_web_other.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/ob_logic_web_user.h"
#include "runtime/util/text_convert.h"
#include "tests/client/web/web_test_fixture.h"

namespace ombrix::test {
namespace {

using brx::util::Utf8ToWide;
using brx::util::WideToUtf8;

class UserSessionTest : public WebTestFixture {
 protected:
  void SetUp() override {
    WebTestFixture::SetUp();
    StartManager();
  }
  OBLogicWeb_User& user() { return manager_->User(); }
  // Signs in and waits for the sign-in's own follow-ups to settle.
  void SignIn() {
    ASSERT_TRUE(SignInDemo());
    ASSERT_TRUE(PumpUntil([&] { return events_.Count(10) == 3 && events_.Count(12) == 1; }));
    events_.Clear();
  }
};

TEST_F(UserSessionTest, HeadImageRoundsSkipEmptyEntriesNumberOnAndClearTheFolder) {
  SignIn();
  std::wstring first = user().record().small_head_image_path;
  std::string folder = program_.Sub("Users/demo/HeadImage/");
  std::string list =
      standin_.base_url() + "/head/x_small.jpg,," + standin_.base_url() + "/head/x_big.jpg";
  user().UpdateUserHeadImage(Utf8ToWide(list));
  // Reply 11, then the refresh (event 5) starts a new round: two images.
  ASSERT_TRUE(PumpUntil(
      [&] { return events_.Count(11) == 1 && events_.Count(5) == 1 && events_.Count(10) == 2; }));
  EXPECT_EQ(events_.Of(11)[0].ok, 1);
  EXPECT_EQ(standin_.RequestsFor("UpdateUserHeadImage").at(0).Param("HeadImageUrl"), list);
  EXPECT_EQ(standin_.RequestsTo("/head/x_mid.jpg").size(), 0u);
  EXPECT_EQ(
      standin_.RequestsFor("UpdateUserHeadImage").at(0).ParamKeys(),
      (std::vector<std::string>{"CommandName", "HeadImageUrl", "Interface", "SerializationType",
                                "SessionId", "UserAccountId", "random_ticket", "zip"}));
  std::string small = WideToUtf8(user().record().small_head_image_path);
  int round1 = atoi(WideToUtf8(first).substr(folder.size() + strlen("head_small")).c_str());
  int round2 = atoi(small.substr(folder.size() + strlen("head_small")).c_str());
  EXPECT_EQ(round2, round1 + 1);
  EXPECT_NE(ReadFile(small).find("x_small.jpg"), std::string::npos);
  EXPECT_FALSE(PathExists(WideToUtf8(first)));  // the older round is gone
  // The mid image was not fetched this round; its path still names the old, deleted file.
  EXPECT_FALSE(PathExists(WideToUtf8(user().record().mid_head_image_path)));

  // A failed download keeps the previous path and still reports, ok 0.
  user().UpdateUserHeadImage(Utf8ToWide(standin_.base_url() + "/missing/a.jpg"));
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(5) == 2 && events_.Count(10) == 3; }));
  EXPECT_EQ(events_.Of(10)[2].ok, 0);
  EXPECT_EQ(events_.Of(10)[2].kind, 0);
  // The previous path stays, though the new round already removed its file.
  EXPECT_EQ(WideToUtf8(user().record().small_head_image_path), small);
  EXPECT_FALSE(PathExists(small));
}

TEST_F(UserSessionTest, AccountRefreshAppliesOnlyToTheSignedInAccount) {
  SignIn();
  std::wstring session = user().record().SessionID;
  standin_.Fault("command=GetUserAccountByAccount&mode=raw&body=" +
                 std::string("%7B%22Status%22%3A0%2C%22Data%22%3A%7B%22Account%22%3A%22someone%22%"
                             "2C%22NickName%22%3A%22X%22%7D%7D"));
  user().GetUserAccountByAccount();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(5) == 1; }));
  EXPECT_EQ(events_.Of(5)[0].ok, 1);
  EXPECT_EQ(events_.Of(5)[0].kind, FromHandle::kClient);
  EXPECT_EQ(user().record().NickName, L"\u6f14\u793a\u73a9\u5bb6");

  // Nick name taken (-10): event 10 ok 0, nothing refreshed.
  user().UpdateNickName(L"\u597d\u53cb\u5c0f\u660e");
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(10) == 1; }));
  EXPECT_EQ(events_.Of(10)[0].ok, 0);
  EXPECT_EQ(events_.Of(10)[0].kind, FromHandle::kClient);
  EXPECT_EQ(standin_.RequestsFor("GetUserAccountByAccount").size(), 1u);

  // Accepted: event 10 ok 1, then the record is refreshed from the service.
  std::map<std::wstring, std::wstring> fields = {{L"NickName", L"NewNick"},
                                                 {L"City", L"\u676d\u5dde"}};
  user().UpdateUserInfo(fields);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(10) >= 2 && events_.Count(5) == 2; }));
  EXPECT_EQ(events_.Of(10)[1].ok, 1);
  EXPECT_EQ(user().record().NickName, L"NewNick");
  EXPECT_EQ(user().record().City, L"\u676d\u5dde");
  EXPECT_EQ(user().record().SessionID, session);
  EXPECT_EQ(
      standin_.RequestsFor("UpdateUserInfo").at(1).ParamKeys(),
      (std::vector<std::string>{"City", "CommandName", "Interface", "NickName", "SerializationType",
                                "SessionId", "UserAccountId", "random_ticket", "zip"}));
}

TEST_F(UserSessionTest, DataPromptEvery30000MsOnlyWhileSignedInAndCountersReset) {
  manager_->Tick();  // clocks start
  clock_.Advance(30000);
  manager_->Tick();  // signed out: no request, but the period restarts
  SignIn();
  size_t prompts = standin_.RequestsFor("GetDataPrompt").size();
  standin_.Control("prompt", "account=demo&about=2&mirror=3&message=4&fans=5");
  clock_.Advance(29999);
  manager_->Tick();
  manager_->Other().GetServerDateTime();  // a marker behind anything the tick sent
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(30) == 1; }));
  EXPECT_EQ(standin_.RequestsFor("GetDataPrompt").size(), prompts);
  clock_.Advance(1);
  manager_->Tick();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(12) == 1; }));
  EXPECT_EQ(standin_.RequestsFor("GetDataPrompt").size(), prompts + 1);
  EXPECT_EQ(user().new_about_user_count(), 2);
  EXPECT_EQ(user().new_mirror_blog_count(), 3);
  EXPECT_EQ(user().new_message_count(), 4);
  EXPECT_EQ(user().new_fans_count(), 5);

  // A prompt reply that fails changes nothing and fires nothing.
  standin_.Fault("command=GetDataPrompt&mode=garbage");
  user().GetDataPrompt();
  manager_->Other().GetServerDateTime();  // its reply comes after the prompt's
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(30) == 2; }));
  EXPECT_EQ(events_.Count(12), 1u);
  EXPECT_EQ(user().new_fans_count(), 5);
  EXPECT_EQ(user().new_about_user_count(), 2);

  events_.Clear();
  EXPECT_EQ(user().ResetFansCount(), 0);
  EXPECT_EQ(user().ResetFansCount(), 0);  // already 0: nothing fired
  user().ResetAboutUserCount();
  user().ResetMessageCount();
  user().ResetMirrorBlogCount();
  EXPECT_EQ(events_.Ids(), (std::vector<int32_t>{15, 13, 14, 16}));
  for (const auto& e : events_.All()) EXPECT_EQ(e.kind, 0);
  EXPECT_EQ(user().new_fans_count(), 0);
  EXPECT_EQ(user().new_message_count(), 0);
}

TEST_F(UserSessionTest, SignOutCancelsQueuedWorkTellsTheServiceAndFiresThreeThenFour) {
  host_.snapshot_dir = ProgramPath("OBSnapshot");
  std::filesystem::create_directories(program_.Sub("OBSnapshot/Users/All Users/other/2026-12-09"));
  WriteFile(program_.Sub("OBSnapshot/Users/All Users/other/2026-12-09/a.jpg"), "shot a");
  WriteFile(program_.Sub("OBSnapshot/Users/All Users/b.jpg"), "shot b");
  std::filesystem::create_directories(program_.Sub("OBSnapshot/Users/demo"));
  WriteFile(program_.Sub("OBSnapshot/Users/demo/b.jpg"), "older b");
  SignIn();
  std::wstring session = user().record().SessionID;
  std::vector<std::string> seen;  // the state each of events 3 and 4 finds
  chain_.Subscribe(SEVENT_RESPONSE_BeforeUserLogout, [&](const EventParameter*) {
    seen.push_back(std::string("3:") + (user().IsLoggedIn() ? "in" : "out"));
  });
  chain_.Subscribe(SEVENT_RESPONSE_UserLogout, [&](const EventParameter*) {
    seen.push_back(std::string("4:") + (user().IsLoggedIn() ? "in" : "out"));
  });

  standin_.Control("prompt", "account=demo&fans=5");
  standin_.Fault("command=GetDataPrompt&mode=slow&delay_ms=1500");
  user().GetDataPrompt();  // runs, holding the worker
  ASSERT_TRUE(standin_.WaitForRequests("GetDataPrompt", 2));
  user().SearchByNickAndProfile(L"x", L"1", L"100");  // queued behind it
  user().UserLogout();
  EXPECT_EQ(seen, (std::vector<std::string>{"3:in", "4:out"}));
  EXPECT_EQ(host_.cleared_shots, 1);
  EXPECT_FALSE(user().IsLoggedIn());
  EXPECT_EQ(user().GetUserFolder(), L"Users/All Users");
  EXPECT_EQ(user().record().TGNickName, L"演示玩家");  // kept until the next sign-in
  EXPECT_EQ(user().record().Account, L"");
  EXPECT_EQ(user().record().small_head_image_path, L"");

  ASSERT_TRUE(standin_.WaitForRequests("UserLogout"));
  auto logout = standin_.RequestsFor("UserLogout").at(0);
  EXPECT_EQ(logout.Param("SessionId"), WideToUtf8(session));
  EXPECT_EQ(logout.ParamKeys(),
            (std::vector<std::string>{"CommandName", "Interface", "SerializationType", "SessionId",
                                      "random_ticket", "zip"}));
  // The worker runs in order: had the search survived, it would come before this.
  manager_->Other().GetServerDateTime();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(30) == 1; }));
  EXPECT_EQ(standin_.RequestsFor("SearchByNickAndProfile").size(), 0u);
  EXPECT_EQ(events_.Count(6), 0u);
  // The prompt that was on its way belongs to the user who has gone.
  EXPECT_EQ(events_.Count(12), 0u);
  EXPECT_EQ(user().new_fans_count(), 0);

  // Shared shots moved into the user's folder, merged, newer replacing older.
  EXPECT_EQ(ReadFile(program_.Sub("OBSnapshot/Users/demo/other/2026-12-09/a.jpg")), "shot a");
  EXPECT_EQ(ReadFile(program_.Sub("OBSnapshot/Users/demo/b.jpg")), "shot b");
  EXPECT_FALSE(PathExists(program_.Sub("OBSnapshot/Users/All Users/b.jpg")));

  events_.Clear();
  user().UserLogout();  // signed out already: nothing at all
  EXPECT_EQ(events_.All().size(), 0u);
  EXPECT_EQ(standin_.RequestsFor("UserLogout").size(), 1u);
}

TEST_F(UserSessionTest, SignOutAnswersTheCancelledUploadsAndPostsWithAFailure) {
  SignIn();
  WriteFile(program_.Sub("shot.jpg"), "jpeg");
  const FromHandle first{FromHandle::kGameClient, 5};
  const FromHandle second{FromHandle::kGameClient, 6};
  standin_.Fault("command=GetDataPrompt&mode=timeout&hold_ms=20000");
  standin_.Fault("path=/head/hold.jpg&mode=timeout&hold_ms=20000");
  user().GetDataPrompt();  // holds the normal worker
  manager_->Game().GameDownloadFile(Utf8ToWide(standin_.base_url() + "/head/hold.jpg"),
                                    ProgramPath("hold.jpg"));
  ASSERT_TRUE(standin_.WaitForRequests("GetDataPrompt", 2));
  ASSERT_TRUE(standin_.WaitForRequests("/head/hold.jpg"));
  manager_->Blog().Upload(ProgramPath("shot.jpg"), 15000, first);
  manager_->Blog().Upload(ProgramPath("shot.jpg"), 15000, second);
  manager_->Blog().AddBlog(L"one", L"Demo", L"", L"other", first);
  manager_->Blog().AddBlog(L"two", L"Demo", L"", L"other", second);
  manager_->Other().GetServerDateTime();  // cancelled as well; nobody waits for it
  user().UserLogout();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(18) == 2 && events_.Count(19) == 2; }));
  std::vector<int32_t> ids;
  for (const auto& e : events_.All())
    if (e.id == 3 || e.id == 4 || e.id == 18 || e.id == 19) ids.push_back(e.id);
  EXPECT_EQ(ids, (std::vector<int32_t>{3, 4, 19, 19, 18, 18}));
  auto uploads = events_.Of(18);
  auto posts = events_.Of(19);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(uploads[i].ok, 0);
    EXPECT_EQ(uploads[i].text, L"未知错误");
    EXPECT_EQ(uploads[i].local_file, ProgramPath("shot.jpg"));
    EXPECT_EQ(uploads[i].handle, 5 + i);
    EXPECT_EQ(posts[i].ok, 0);
    EXPECT_EQ(posts[i].handle, 5 + i);
  }
  EXPECT_EQ(standin_.RequestsTo("/UploadFile.axd").size(), 0u);
  EXPECT_EQ(standin_.RequestsFor("AddBlog").size(), 0u);
  PumpPending();
  EXPECT_EQ(events_.Count(30), 0u);
}

TEST_F(UserSessionTest, AHeadImageOfAnEarlierSignInIsDropped) {
  standin_.Fault("path=/head/1001_small.jpg&mode=slow&delay_ms=1500");
  ASSERT_TRUE(SignInDemo());
  ASSERT_TRUE(standin_.WaitForRequests("/head/1001_small.jpg"));
  user().UserLogout();  // the mid and big images are cancelled; the small one is on its way
  standin_.Fault("path=/head/1002_small.jpg&mode=notfound");
  events_.Clear();
  user().UserLogin(L"buddy", L"buddy2024", {FromHandle::kClient, 0}, LoginFlags::kNone);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 1; }));
  ASSERT_EQ(user().record().Account, L"buddy");
  // The new user's images queue behind the old one's.
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(10) >= 3; }));
  ASSERT_TRUE(DrainWorker(WebLogicManager::kUploadWorker));
  EXPECT_EQ(events_.Count(10), 3u);
  for (const auto& e : events_.Of(10))
    EXPECT_NE(WideToUtf8(e.param).find("/head/1002_"), std::string::npos) << WideToUtf8(e.param);
  EXPECT_EQ(user().record().small_head_image_path, L"");  // its own failed; nothing else stands in
  EXPECT_NE(WideToUtf8(user().record().mid_head_image_path).find("Users/buddy/HeadImage/head_mid"),
            std::string::npos);
}

TEST_F(UserSessionTest, SignOutWithoutAKnownServerKeepsTheSession) {
  SignIn();
  std::wstring session = user().record().SessionID;
  manager_->ServerConfig().ClearServersForTesting();
  user().UserLogout();
  EXPECT_TRUE(user().IsLoggedIn());
  EXPECT_EQ(user().record().SessionID, session);
  EXPECT_EQ(events_.Count(3) + events_.Count(4), 0u);
  ASSERT_TRUE(DrainWorker(WebLogicManager::kNormalWorker));
  EXPECT_EQ(standin_.RequestsFor("UserLogout").size(), 0u);
}

TEST_F(UserSessionTest, ShutDownSignsOutWithoutARequestAndUnsubscribes) {
  SignIn();
  manager_->Stop();
  EXPECT_EQ(events_.Ids(), (std::vector<int32_t>{3, 4}));
  EXPECT_FALSE(manager_->User().IsLoggedIn());
  EXPECT_EQ(standin_.RequestsFor("UserLogout").size(), 0u);
  for (int32_t id : {0, 1, 3, 4})
    EXPECT_EQ(chain_.SubscriberCount(id), 1u) << id;  // only the recorder
  manager_->Stop();                                   // twice is harmless
  EXPECT_EQ(events_.Count(3), 1u);
}

}  // namespace
}  // namespace ombrix::test
