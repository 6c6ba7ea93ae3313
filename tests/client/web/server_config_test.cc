#include "client/web/ob_logic_web_server_config.h"

#include <gtest/gtest.h>

#include <set>

#include "client/web/ob_logic_web_other.h"
#include "client/web/server_config_address.h"
#include "runtime/util/text_convert.h"
#include "tests/client/web/web_test_fixture.h"

namespace ombrix::test {
namespace {

using brx::util::Utf8ToWide;

TEST(ServerConfigAddressTest, HostComesFromTheEnvironmentTheEditionValueOrTheDefault) {
  auto a = GetServerConfigAddress(L"http://127.0.0.1:18080/", L"");
  EXPECT_EQ(a.base, L"http://127.0.0.1:18080");
  EXPECT_EQ(a.path, L"gsc");
  a = GetServerConfigAddress(L"https://cdn.example/conf/gsc2", L"");
  EXPECT_EQ(a.base, L"https://cdn.example");
  EXPECT_EQ(a.path, L"conf/gsc2");
  a = GetServerConfigAddress(L"conf/gsc", L"");
  EXPECT_EQ(a.base, kDefaultStaticContentHost);
  EXPECT_EQ(a.path, L"conf/gsc");
  a = GetServerConfigAddress(L"http://127.0.0.1:18080/cfg/", L"http://127.0.0.1:5555/");
  EXPECT_EQ(a.base, L"http://127.0.0.1:5555");
  EXPECT_EQ(a.path, L"cfg/gsc");
  a = GetServerConfigAddress(L"", L"");
  EXPECT_EQ(a.path, L"gsc");
}

class ServerConfigTest : public WebTestFixture {
 protected:
  OBLogicWeb_ServerConfig& config() { return manager_->ServerConfig(); }
};

TEST_F(ServerConfigTest, ParseReadsRulesKeepsOldNodesAndFiresOnlyForANodeRoot) {
  StartManager(false);
  EXPECT_EQ(config().GetServerUrlForCommand(L"UserLogin"), L"");
  ASSERT_TRUE(config().ParseServerConfig(
      "<Node><ClientInterfaceServer "
      "x='1'><Rule><Other/><Server>a:1</Server></Rule></ClientInterfaceServer>"
      "<DCServer><Rule><Server></Server><Backup>dc:2</Backup></Rule></DCServer>"
      "<IceServer><Rule><Server>ice:3</Server></Rule></IceServer>"
      "<ImageStorageServer><NoRule/></ImageStorageServer></Node>"));
  EXPECT_EQ(events_.Count(32), 1u);
  EXPECT_EQ(config().GetServerUrlForCommand(L"UserLogin"), L"http://a:1");
  EXPECT_EQ(config().GetServerUrlForCommand(L"ModfyNickName"), L"http://a:1");
  EXPECT_EQ(config().GetServerUrlForCommand(L"WhenStart"),
            L"http://dc:2");  // a sibling of any name counts
  EXPECT_EQ(config().GetServerUrlForCommand(L"IceServer"), L"http://ice:3");
  EXPECT_EQ(config().GetServerUrlForCommand(L"Upload"), L"");  // node without servers
  EXPECT_EQ(config().GetServerUrlForCommand(L"userlogin"), L"");
  EXPECT_EQ(config().GetServerUrlForCommand(L"ModifyNickName"), L"");
  EXPECT_EQ(config().GetServerUrlForCommand(L"NoSuchCommand"), L"");

  // A later file: repeated node names, the last wins; nodes it lacks stay.
  ASSERT_TRUE(config().ParseServerConfig(
      "<Node><ClientInterfaceServer><Rule><Server>b:1</Server></Rule></ClientInterfaceServer>"
      "<ClientInterfaceServer><Rule><Server>c:1</Server></Rule></ClientInterfaceServer>"
      "<DCServer><Rule/></DCServer></Node>"));
  EXPECT_EQ(config().GetServerUrlForCommand(L"AddBlog"), L"http://c:1");
  EXPECT_EQ(config().GetServerUrlForCommand(L"CommitShot"), L"http://dc:2");
  EXPECT_EQ(config().GetServerUrlForCommand(L"IceServer"), L"http://ice:3");

  EXPECT_FALSE(config().ParseServerConfig("<Nodes><ClientInterfaceServer/></Nodes>"));
  EXPECT_FALSE(config().ParseServerConfig("<Node><ClientInterfaceServer>"));
  EXPECT_FALSE(config().ParseServerConfig(""));
  EXPECT_EQ(events_.Count(32), 2u);
  EXPECT_EQ(config().GetServerUrlForCommand(L"AddBlog"), L"http://c:1");
}

TEST_F(ServerConfigTest, EachReadPicksOneServerAtRandomAndOneTickPicksOneIndex) {
  StartManager(false);
  const std::string three =
      "<Rule><Server>s0</Server><Server>s1</Server><Server>s2</Server></Rule>";
  std::string text = "<Node><ClientInterfaceServer>" + three +
                     "</ClientInterfaceServer><DCServer>" + three + "</DCServer></Node>";
  std::set<std::wstring> seen;
  for (uint32_t tick = 1; tick < 200 && seen.size() < 3; ++tick) {
    clock_.Set(tick * 7919);
    ASSERT_TRUE(config().ParseServerConfig(text));
    std::wstring a = config().GetServerUrlForCommand(L"UserLogin");
    std::wstring b = config().GetServerUrlForCommand(L"WhenStart");
    EXPECT_EQ(a, b);  // same tick, same size: same index
    EXPECT_EQ(config().servers().at(L"DCServer").size(), 1u);
    seen.insert(a);
  }
  EXPECT_EQ(seen, (std::set<std::wstring>{L"http://s0", L"http://s1", L"http://s2"}));
}

TEST_F(ServerConfigTest, WithoutConfigurationNothingIsSentUntilTheDownloadArrives) {
  ScopedEnv host("OMBRIX_STATIC_HOST", standin_.base_url());
  StartManager(false);
  manager_->Other().GetServerDateTime();  // no server known: nothing happens
  ASSERT_GT(config().DownloadServerConfig(), 0);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(32) == 1; }));
  auto r = standin_.RequestsTo("/gsc").at(0);
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.ParamKeys(), std::vector<std::string>{"random_ticket"});
  EXPECT_NE(ReadFile(program_.Sub("gsc")).find("<Server>" + standin_.host() + "</Server>"),
            std::string::npos);
  EXPECT_FALSE(PathExists(program_.Sub("gsc.download")));
  manager_->Other().GetServerDateTime();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(30) == 1; }));
  EXPECT_EQ(standin_.RequestsFor("GetServerDateTime").size(), 1u);
}

TEST_F(ServerConfigTest, TheTestOverrideIsReadAtStartAndAfterEveryDownload) {
  ScopedEnv host("OMBRIX_STATIC_HOST", standin_.base_url());
  WriteFile(program_.Sub("gsc"),
            "<Node><ClientInterfaceServer><Rule><Server>127.0.0.1:1</Server></Rule>"
            "</ClientInterfaceServer></Node>");
  WriteFile(program_.Sub("gsc.test"), standin_.GscXml());
  StartManager(false);
  EXPECT_EQ(config().GetServerUrlForCommand(L"UserLogin"), Utf8ToWide(standin_.base_url()));
  const std::string elsewhere =
      "<Node><ClientInterfaceServer><Rule><Server>127.0.0.1:2</Server></Rule></"
      "ClientInterfaceServer></Node>";
  standin_.Control("gsc", "", elsewhere);
  config().DownloadServerConfig();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(32) == 2; }));
  EXPECT_EQ(ReadFile(program_.Sub("gsc")), elsewhere);  // written, not used
  EXPECT_EQ(config().GetServerUrlForCommand(L"UserLogin"), Utf8ToWide(standin_.base_url()));

  // A download that arrives broken is still followed by a read of "gsc.test";
  // "gsc" keeps what it had.
  for (const char* fault : {"path=/gsc&mode=garbage", "path=/gsc&mode=empty"}) {
    standin_.Fault(fault);
    size_t reads = events_.Count(32);
    config().DownloadServerConfig();
    ASSERT_TRUE(PumpUntil([&] { return events_.Count(32) == reads + 1; })) << fault;
    EXPECT_EQ(ReadFile(program_.Sub("gsc")), elsewhere) << fault;
    EXPECT_FALSE(PathExists(program_.Sub("gsc.download"))) << fault;
  }
  // A download that failed is not.
  standin_.Fault("path=/gsc&mode=notfound");
  config().DownloadServerConfig();
  ASSERT_TRUE(standin_.WaitForRequests("/gsc", 4));
  ASSERT_TRUE(DrainWorker(WebLogicManager::kDownloadWorker));
  EXPECT_EQ(events_.Count(32), 4u);
}

TEST_F(ServerConfigTest, ABrokenDownloadKeepsTheGoodFileAndTheTable) {
  ScopedEnv host("OMBRIX_STATIC_HOST", standin_.base_url());
  StartManager(true);
  const std::string good = ReadFile(program_.Sub("gsc"));
  EXPECT_EQ(events_.Count(32), 1u);
  for (const char* fault :
       {"path=/gsc&mode=garbage", "path=/gsc&mode=http500", "path=/gsc&mode=notfound",
        "path=/gsc&mode=drop", "path=/gsc&mode=empty"}) {
    standin_.Fault(fault);
    size_t before = standin_.RequestsTo("/gsc").size();
    config().DownloadServerConfig();
    ASSERT_TRUE(standin_.WaitForRequests("/gsc", before + 1)) << fault;
    ASSERT_TRUE(DrainWorker(WebLogicManager::kDownloadWorker)) << fault;
    EXPECT_EQ(ReadFile(program_.Sub("gsc")), good) << fault;
    EXPECT_FALSE(PathExists(program_.Sub("gsc.download"))) << fault;
  }
  EXPECT_EQ(events_.Count(32), 1u);
  EXPECT_EQ(config().GetServerUrlForCommand(L"UserLogin"), Utf8ToWide(standin_.base_url()));
}

TEST_F(ServerConfigTest, TheTickRefreshesTheConfigurationEvery900000Ms) {
  ScopedEnv host("OMBRIX_STATIC_HOST", standin_.base_url());
  StartManager(true);
  manager_->Tick();  // the first tick only sets the clocks
  clock_.Advance(899999);
  manager_->Tick();
  clock_.Advance(1);
  manager_->Tick();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(32) == 2; }));
  clock_.Advance(899999);
  manager_->Tick();
  clock_.Advance(1);
  manager_->Tick();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(32) == 3; }));
  EXPECT_EQ(standin_.RequestsTo("/gsc").size(), 2u);
}

}  // namespace
}  // namespace ombrix::test
