#include <gtest/gtest.h>
#include <json/json.h>

#include <regex>

#include "client/web/ob_logic_web_blog.h"
#include "client/web/ob_logic_web_data_collect.h"
#include "client/web/ob_logic_web_follow.h"
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

Json::Value ParseJson(const std::wstring& text) {
  Json::Value v;
  EXPECT_TRUE(Json::Reader().parse(WideToUtf8(text), v)) << WideToUtf8(text);
  return v;
}

class WebCommandsTest : public WebTestFixture {
 protected:
  void SetUp() override {
    WebTestFixture::SetUp();
    StartManager();
    events_.Clear();
  }
  void SignIn() {
    ASSERT_TRUE(SignInDemo());
    ASSERT_TRUE(PumpUntil([&] { return events_.Count(10) == 3 && events_.Count(12) == 1; }));
    events_.Clear();
  }
  Json::Value State() { return ParseJson(Utf8ToWide(standin_.Control("state"))); }
  // Sends a marker command and waits for it: everything the normal worker
  // was given before has been answered by then.
  void Settle() {
    size_t n = events_.Count(30);
    manager_->Other().GetServerDateTime();
    ASSERT_TRUE(PumpUntil([&] { return events_.Count(30) == n + 1; }));
  }
};

TEST_F(WebCommandsTest, UploadThenPostTheBlogWithTheStoredImageAddress) {
  SignIn();
  WriteFile(program_.Sub("shot.jpg"), "\xff\xd8 a screenshot");
  const FromHandle game{FromHandle::kGameClient, 7};
  manager_->Blog().Upload(ProgramPath("shot.jpg"), 15000, game);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(18) == 1; }));
  auto up = events_.Of(18)[0];
  ASSERT_EQ(up.ok, 1);
  EXPECT_EQ(up.kind, FromHandle::kGameClient);
  EXPECT_EQ(up.handle, 7);
  EXPECT_EQ(up.local_file, ProgramPath("shot.jpg"));
  std::string address = WideToUtf8(up.text);
  ASSERT_EQ(address.rfind(standin_.base_url() + "/uploads/", 0), 0u) << address;
  EXPECT_EQ(standin_.RequestsTo("/UploadFile.axd").at(0).ParamKeys(),
            (std::vector<std::string>{"CommandName", "random_ticket", "zip"}));

  manager_->Blog().AddBlog(L"hello world \u4f60\u597d", L"Demo Game", up.text, L"other", game);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(19) == 1; }));
  auto post = events_.Of(19)[0];
  EXPECT_EQ(post.ok, 1);
  EXPECT_EQ(post.kind, FromHandle::kGameClient);
  EXPECT_EQ(post.handle, 7);
  auto wire = standin_.RequestsFor("AddBlog").at(0);
  EXPECT_EQ(wire.ParamKeys(),
            (std::vector<std::string>{
                "BlogType", "CommandName", "Content", "ContentImageUrl", "GameCharacterID",
                "GameId", "GameMapID", "Interface", "PostFrom", "QuoteBlogID", "SerializationType",
                "SessionId", "ShareOtherBlogIds", "SourceBlogId", "Status", "TargetUserAccountID",
                "UserAccountId", "random_ticket", "zip"}));
  EXPECT_NE(wire.query.find("Content=hello+world+%E4%BD%A0%E5%A5%BD&"), std::string::npos)
      << wire.query;
  EXPECT_NE(wire.query.find("ShareOtherBlogIds=&"), std::string::npos);
  EXPECT_EQ(wire.Param("Interface"), "Blog");
  EXPECT_EQ(wire.Param("SessionId"), WideToUtf8(manager_->User().record().SessionID));
  Json::Value blog = State()["blogs"][0];
  EXPECT_EQ(blog["ContentImageUrl"].asString(), address);
  EXPECT_EQ(blog["Content"].asString(), "hello world \xe4\xbd\xa0\xe5\xa5\xbd");
  EXPECT_EQ(blog["GameId"].asString(), "other");
  EXPECT_EQ(blog["BlogType"].asString(), "1");
  EXPECT_EQ(blog["QuoteBlogID"].asString(), "0");
}

TEST_F(WebCommandsTest, WithoutSessionNothingIsSentAndWaitingPostersStillHearBack) {
  const FromHandle game{FromHandle::kGameClient, 3};
  WriteFile(program_.Sub("shot.jpg"), "jpeg");
  manager_->Follow().AddFollowList(L"1002");
  manager_->Game().GetWYGameUserFriend(game);
  manager_->Game().GetGameUserProfileList(game);
  manager_->Game().UpdateGameProfile(L"[]", game);
  manager_->User().GetUserAccountByAccount();
  manager_->User().SearchByNickAndProfile(L"a", L"1", L"100");
  manager_->User().UpdateNickName(L"n");
  manager_->User().UpdateUserHeadImage(L"http://x/y.jpg");
  manager_->User().GetDataPrompt();
  manager_->Blog().Upload(ProgramPath("shot.jpg"), 15000, game);
  manager_->Blog().AddBlog(L"text", L"Demo", L"", L"other", game);
  // Sent without a session: server time, feedback with an empty session, the provider id.
  manager_->Other().RecommendedAdd(L"more maps", L"idea");
  manager_->Other().GetCurrentUserQtidByEncrypt();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(33) == 1 && events_.Count(31) == 1; }));
  Settle();

  EXPECT_EQ(events_.Ids(), (std::vector<int32_t>{18, 19, 33, 31, 30}));
  auto up = events_.Of(18)[0];
  EXPECT_EQ(up.ok, 0);
  EXPECT_EQ(up.text, L"未知错误");
  EXPECT_EQ(up.local_file, ProgramPath("shot.jpg"));
  EXPECT_EQ(up.handle, 3);
  EXPECT_EQ(events_.Of(19)[0].ok, 0);
  EXPECT_EQ(events_.Of(19)[0].handle, 3);
  EXPECT_EQ(events_.Of(33)[0].ok, 1);
  EXPECT_EQ(events_.Of(31)[0].ok, 0);  // the service wants a session for it
  std::vector<std::string> commands;
  for (const auto& r : standin_.Requests()) commands.push_back(r.command);
  EXPECT_EQ(commands, (std::vector<std::string>{"RecommendedAdd", "GetCurrentUserQtidByEncrypt",
                                                "GetServerDateTime"}));
  auto feedback = standin_.RequestsFor("RecommendedAdd").at(0);
  EXPECT_TRUE(feedback.HasParam("SessionId"));
  EXPECT_EQ(feedback.Param("SessionId"), "");
  EXPECT_EQ(feedback.ParamKeys(),
            (std::vector<std::string>{"CommandName", "Content", "Interface", "SerializationType",
                                      "SessionId", "Title", "random_ticket", "zip"}));
  EXPECT_EQ(State()["feedback"][0]["Title"].asString(), "idea");
}

TEST_F(WebCommandsTest, AnUploadWithoutAnImageServerFailsThroughItsEvent) {
  manager_->Stop();
  manager_.reset();
  WriteFile(program_.Sub("gsc"), "<Node><ClientInterfaceServer><Rule><Server>" + standin_.host() +
                                     "</Server></Rule></ClientInterfaceServer></Node>");
  StartManager(false);
  SignIn();
  WriteFile(program_.Sub("shot.jpg"), "jpeg");
  manager_->Blog().Upload(ProgramPath("shot.jpg"), 20000, {FromHandle::kClient, 0});
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(18) == 1; }));
  EXPECT_EQ(events_.Of(18)[0].ok, 0);
  EXPECT_EQ(events_.Of(18)[0].text, L"未知错误");
  EXPECT_EQ(events_.Of(18)[0].kind, FromHandle::kClient);
  EXPECT_EQ(standin_.RequestsTo("/UploadFile.axd").size(), 0u);
}

TEST_F(WebCommandsTest, APostWithoutAKnownServerFailsThroughItsEvent) {
  SignIn();
  manager_->ServerConfig().ClearServersForTesting();
  manager_->Blog().AddBlog(L"text", L"Demo", L"", L"other", {FromHandle::kGameClient, 4});
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(19) == 1; }));
  EXPECT_EQ(events_.Of(19)[0].ok, 0);
  EXPECT_EQ(events_.Of(19)[0].kind, FromHandle::kGameClient);
  EXPECT_EQ(events_.Of(19)[0].handle, 4);
  ASSERT_TRUE(DrainWorker(WebLogicManager::kNormalWorker));
  EXPECT_EQ(standin_.RequestsFor("AddBlog").size(), 0u);
  EXPECT_EQ(events_.Count(19), 1u);
}

TEST_F(WebCommandsTest, FollowGameAndOtherCommands) {
  SignIn();
  manager_->Follow().AddFollowList(L"1002");
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(17) == 1; }));
  EXPECT_EQ(events_.Of(17)[0].ok, 1);
  EXPECT_EQ(events_.Of(17)[0].kind, FromHandle::kClient);
  auto follow = standin_.RequestsFor("AddFollowList").at(0);
  EXPECT_EQ(follow.ParamKeys(),
            (std::vector<std::string>{"CommandName", "FollowUserAccountIds", "Interface",
                                      "SerializationType", "SessionID", "UserAccountId",
                                      "random_ticket", "zip"}));
  EXPECT_EQ(follow.Param("SessionID"), WideToUtf8(manager_->User().record().SessionID));
  EXPECT_EQ(State()["users"]["demo"]["follows"][0].asString(), "1002");

  const FromHandle game{FromHandle::kGameClient, 11};
  manager_->Game().GetWYGameUserFriend(game);
  manager_->Game().GetGameUserProfileList(game);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(20) == 1 && events_.Count(23) == 1; }));
  auto friends = events_.Of(20)[0];
  EXPECT_EQ(friends.ok, 1);
  EXPECT_EQ(friends.handle, 11);
  Json::Value list = ParseJson(friends.text);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]["UserAccountId"].asString(), "1002");
  EXPECT_EQ(list[0]["IsCertificated"].asInt(), 0);
  Json::Value roles = ParseJson(events_.Of(23)[0].text);
  ASSERT_EQ(roles.size(), 2u);
  EXPECT_EQ(standin_.RequestsFor("GetWYGameUserFriend").at(0).Param("Interface"), "Game");
  EXPECT_TRUE(standin_.RequestsFor("GetGameUserProfileList").at(0).HasParam("SessionID"));

  manager_->Game().UpdateGameProfile(L"[{\"ID\":\"1001-r1\",\"Privacy\":\"2\"}]", game);
  Settle();
  EXPECT_EQ(State()["users"]["demo"]["roles"][0]["Privacy"].asString(), "2");
  EXPECT_EQ(standin_.RequestsFor("UpdateGameProfile").at(0).ParamKeys().back(), "zip");

  std::string url = standin_.base_url() + "/head/1002_big.jpg";
  EXPECT_GT(manager_->Game().GameDownloadFile(Utf8ToWide(url), ProgramPath("friend.jpg")), 0);
  manager_->Game().GameDownloadFile(Utf8ToWide(standin_.base_url() + "/nope.jpg"),
                                    ProgramPath("nope.jpg"));
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(21) == 2; }));
  auto got = events_.Of(21)[0];
  EXPECT_EQ(got.ok, 1);
  EXPECT_EQ(got.kind, 0);
  EXPECT_EQ(WideToUtf8(got.url), url);
  EXPECT_EQ(got.local_file, ProgramPath("friend.jpg"));
  EXPECT_NE(ReadFile(program_.Sub("friend.jpg")).find("1002_big.jpg"), std::string::npos);
  EXPECT_EQ(events_.Of(21)[1].ok, 0);
  EXPECT_FALSE(PathExists(program_.Sub("nope.jpg")));

  // A complete address with blanks, as a game may hand one over: fetched,
  // and reported with the address as given.
  std::string spaced = standin_.base_url() + "/head/my friend.jpg";
  manager_->Game().GameDownloadFile(Utf8ToWide(spaced), ProgramPath("spaced.jpg"));
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(21) == 3; }));
  EXPECT_EQ(events_.Of(21)[2].ok, 1);
  EXPECT_EQ(WideToUtf8(events_.Of(21)[2].url), spaced);
  EXPECT_NE(ReadFile(program_.Sub("spaced.jpg")).find("my%20friend.jpg"), std::string::npos);

  manager_->Other().GetCurrentUserQtidByEncrypt();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(31) == 1; }));
  EXPECT_EQ(events_.Of(31)[0].ok, 1);
  EXPECT_EQ(events_.Of(31)[0].kind, 0);
  EXPECT_EQ(events_.Of(31)[0].text.size(), 24u);
  Settle();
  EXPECT_EQ(events_.Of(30)[0].kind, 0);
  EXPECT_EQ(events_.Of(30)[0].ok, 1);
}

TEST_F(WebCommandsTest, DataCollectionReportsCarryAddressVersionAndEditionKey) {
  manager_->DataCollect().WhenStart();
  manager_->DataCollect().CommitShot(0, 0);  // nothing to report
  manager_->DataCollect().CommitShot(3, 0);
  ASSERT_TRUE(standin_.WaitForRequests("/news.ashx", 2));
  Settle();
  auto reports = standin_.RequestsTo("/news.ashx");
  ASSERT_EQ(reports.size(), 2u);
  const auto& start = reports[0];
  EXPECT_EQ(start.method, "POST");
  EXPECT_EQ(start.body_length, 0u);
  EXPECT_EQ(start.ParamKeys(),
            (std::vector<std::string>{"d", "mac", "random_ticket", "version", "vkey", "zip"}));
  EXPECT_EQ(start.Param("d"), "R3|0");
  EXPECT_NE(start.query.find("d=R3%7C0&"), std::string::npos) << start.query;
  EXPECT_EQ(start.Param("version"), "2.3.109.05");
  EXPECT_EQ(start.Param("vkey"), "OB-DEMO");
  // The adapter address, "XX-XX-XX-XX-XX-XX" in upper case with its dashes
  // escaped on the wire; empty on a host without an adapter.
  std::string mac = start.Param("mac");
  if (mac.empty()) {
    EXPECT_NE(start.query.find("&mac=&"), std::string::npos) << start.query;
  } else {
    EXPECT_TRUE(std::regex_match(mac, std::regex("[0-9A-F]{2}(-[0-9A-F]{2}){5}"))) << mac;
    std::string wire = std::regex_replace(mac, std::regex("-"), "%2D");
    EXPECT_NE(start.query.find("&mac=" + wire + "&"), std::string::npos) << start.query;
  }
  EXPECT_EQ(reports[1].Param("mac"), mac);
  EXPECT_EQ(reports[1].Param("d"), "F1|3,F2|0");
  EXPECT_NE(reports[1].query.find("d=F1%7C3%2CF2%7C0&"), std::string::npos) << reports[1].query;
  EXPECT_EQ(LogCapture::Get().CountContaining("Json Error"), 0u);  // the service answers JSON
}

TEST_F(WebCommandsTest, StartUpJobsFetchTheConfigurationAskTheTimeAndReportTheStart) {
  ScopedEnv host("OMBRIX_STATIC_HOST", standin_.base_url());
  manager_->RunStartUpJobs();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(32) == 1 && events_.Count(30) == 1; }));
  ASSERT_TRUE(standin_.WaitForRequests("/news.ashx"));
  EXPECT_EQ(standin_.RequestsTo("/gsc").size(), 1u);
  EXPECT_EQ(standin_.RequestsTo("/news.ashx").at(0).Param("d"), "R3|0");
}

}  // namespace
}  // namespace ombrix::test
