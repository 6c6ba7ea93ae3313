// Runs the main client OBHost.exe of the install folder against the web
// stand-in: the server configuration comes from the stand-in, and the demo
// user signs in through the client's web logic, from a game.

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/json.h>

#include "runtime/util/text_convert.h"
#include "standin/game/game_simulator.h"
#include "tests/support/installed_host.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"

namespace {

namespace fs = std::filesystem;
using ombrix::test::HostProcess;
using ombrix::test::InstalledHost;
using ombrix::test::PathExists;
using ombrix::test::ReadFile;
using ombrix::test::ScopedEnv;
using ombrix::test::WaitUntil;
using ombrix::test::WebStandin;
using ombrix::test::WriteFile;

// How long a running client gets to show the behaviour before the test
// decides that it does not have it yet.
constexpr auto kStartUpDeadline = std::chrono::seconds(15);
constexpr auto kSignInDeadline = std::chrono::seconds(10);

class WebObHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(standin_.running());
    // The edition's global-configuration address names the stand-in.
    installed_.WriteEditionValues(
        "GameId=other\nKey=OB-DEMO\nKeyDesc=Ombrix demo edition\nInstallHook=0\nGlobalConfig=" +
        standin_.base_url() + "/\n");
  }
  std::string Program() const { return installed_.program(); }
  std::unique_ptr<HostProcess> Start() {
    auto host = installed_.Run();
    EXPECT_TRUE(host->started());
    return host;
  }
  // SIGTERM and the ordered shut-down.
  static bool Stop(HostProcess* host) { return host->Signal(SIGTERM) && host->WaitForExit() == 0; }
  size_t CountInLog(const std::string& text) const {
    std::string log = installed_.Log();
    size_t n = 0;
    for (size_t at = 0; (at = log.find(text, at)) != std::string::npos; ++at) ++n;
    return n;
  }
  // The permission bits of a file in the program folder.
  int Mode(const std::string& name) const {
    struct stat st {};
    return stat((Program() + name).c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
  }
  bool ServerConfigDownloaded(size_t downloads = 1) {
    return standin_.WaitForRequests(
        "/gsc", downloads, std::chrono::duration_cast<std::chrono::milliseconds>(kStartUpDeadline));
  }

  // Attaches `game` as the demo edition's game and reads its handshake.
  static void Attach(gamesim::GameSimulator* game) {
    ASSERT_TRUE(game->ConnectAndAttach(
        "other", std::chrono::duration_cast<std::chrono::milliseconds>(kStartUpDeadline)));
    for (auto m = game->Receive(kStartUpDeadline); m && m->name != "DATAPROMPT";
         m = game->Receive(kStartUpDeadline)) {
    }
  }
  static gamesim::GameSimulator::Options DemoGame() {
    gamesim::GameSimulator::Options options;
    options.name_suffix = L"other";
    return options;
  }
  // Asks the client to sign the demo user in; `remember` also asks it to
  // sign in by itself next time.
  static bool SendLogin(gamesim::GameSimulator* game, bool remember) {
    gamesim::WireMessage login;
    login.fields = {{"account", u"demo"},
                    {"password", u"ombrix2024"},
                    {"remember", int64_t{remember}},
                    {"auto_login", int64_t{remember}}};
    return game->Send("LOGIN", login);
  }
  // The next LOGIN message the game hears, skipping others.
  static std::optional<gamesim::WireMessage> NextLogin(gamesim::GameSimulator* game,
                                                       std::chrono::seconds timeout) {
    std::optional<gamesim::WireMessage> reply;
    while ((reply = game->Receive(timeout)) && reply->name != "LOGIN") {
    }
    return reply;
  }

  WebStandin standin_;
  InstalledHost installed_;
  ScopedEnv home_{"HOME", installed_.Scratch("state/home")};
  ScopedEnv lang_{"LANG", "en_US.UTF-8"};
  ScopedEnv static_host_{"OMBRIX_STATIC_HOST", std::nullopt};  // the edition value decides
};

TEST_F(WebObHostTest, DownloadsItsServerConfigurationFromTheStandinAndReportsItsStart) {
  auto host = Start();
  ASSERT_TRUE(ServerConfigDownloaded());
  auto gsc = standin_.RequestsTo("/gsc").at(0);
  EXPECT_EQ(gsc.method, "GET");
  EXPECT_EQ(gsc.ParamKeys(), std::vector<std::string>{"random_ticket"});
  ASSERT_TRUE(WaitUntil(
      [&] { return ReadFile(Program() + "/gsc").find(standin_.host()) != std::string::npos; }));
  ASSERT_TRUE(Stop(host.get()));

  // With the configuration on disk, the next start reaches the service at once.
  host = Start();
  ASSERT_TRUE(standin_.WaitForRequests("GetServerDateTime"));
  ASSERT_TRUE(standin_.WaitForRequests("/news.ashx"));
  EXPECT_EQ(standin_.RequestsTo("/news.ashx").at(0).Param("d"), "R3|0");
  EXPECT_EQ(standin_.RequestsTo("/news.ashx").at(0).Param("vkey"), "OB-DEMO");
  EXPECT_TRUE(ServerConfigDownloaded(2));
  EXPECT_TRUE(Stop(host.get()));
}

TEST_F(WebObHostTest, HostileRepliesLeaveItRunningOnItsGoodConfigurationWithPrivateFiles) {
  auto host = Start();
  ASSERT_TRUE(ServerConfigDownloaded());
  ASSERT_TRUE(WaitUntil(
      [&] { return ReadFile(Program() + "/gsc").find(standin_.host()) != std::string::npos; }));
  ASSERT_TRUE(Stop(host.get()));
  const std::string good = ReadFile(Program() + "/gsc");

  // What a download cut off by a kill leaves, and a settings file (it
  // remembers the password) and a log that an older version left readable
  // to others.
  WriteFile(Program() + "/gsc.download",
            "<Node><ClientInterfaceServer><Rule><Server>elsewhere</Server>");
  WriteFile(Program() + "/gsc.download.part-Ab12Cd", "<Node>");
  for (const char* name : {"/sysconfig.xml", "/Log/2.3.109.05--c--OBHost.exe.log"})
    ASSERT_EQ(chmod((Program() + name).c_str(), 0644), 0);
  ASSERT_EQ(chmod((Program() + "/Log").c_str(), 0755), 0);

  // A server configuration 100000 elements deep, and replies nested past
  // the JSON reader's limit: just past it, then far past it.
  standin_.Fault("path=/gsc&mode=nested&kind=xml&depth=100000");
  for (int depth : {1001, 100000}) {
    standin_.Fault("command=GetServerDateTime&mode=nested&kind=json&depth=" +
                   std::to_string(depth));
    size_t json_errors = CountInLog("OBGetReturnData_Json:74:Json Error:");
    size_t reports = standin_.RequestsTo("/news.ashx").size();
    host = Start();
    ASSERT_TRUE(
        WaitUntil([&] { return CountInLog("OBGetReturnData_Json:74:Json Error:") > json_errors; },
                  kStartUpDeadline))
        << depth;
    EXPECT_FALSE(host->HasExited()) << depth;
    if (depth == 1001) {
      ASSERT_TRUE(WaitUntil(
          [&] { return installed_.LogHas("downloaded server configuration is not readable"); },
          kStartUpDeadline));
      EXPECT_EQ(Mode("/sysconfig.xml"), 0600);  // closed at start, not only at the next save
    }
    // Still up, on the configuration it had: the worker goes on to the
    // start report, sent to the server the good file names.
    ASSERT_TRUE(standin_.WaitForRequests("/news.ashx", reports + 1)) << depth;
    EXPECT_FALSE(host->HasExited()) << depth;
    EXPECT_EQ(ReadFile(Program() + "/gsc"), good);
    EXPECT_FALSE(PathExists(Program() + "/gsc.download"));
    EXPECT_FALSE(PathExists(Program() + "/gsc.download.part-Ab12Cd"));
    EXPECT_TRUE(Stop(host.get())) << depth;
  }
  EXPECT_EQ(standin_.RequestsTo("/gsc").size(), 3u);

  // Server configurations that only TinyXML's own rules show to be deep:
  // element names from byte 127, a stray '<' before a comment that never
  // ends, and a quote in an unknown node. Each is refused at start, and the
  // client goes on with the file it had.
  standin_.Control("clear");
  for (const char* kind : {"xml-stray", "xml-7f", "xml-quote"}) {
    standin_.Fault(std::string("path=/gsc&mode=nested&depth=100000&kind=") + kind);
    size_t refused = CountInLog("downloaded server configuration is not readable");
    size_t reports = standin_.RequestsTo("/news.ashx").size();
    host = Start();
    ASSERT_TRUE(WaitUntil(
        [&] { return CountInLog("downloaded server configuration is not readable") > refused; },
        kStartUpDeadline))
        << kind;
    ASSERT_TRUE(standin_.WaitForRequests("/news.ashx", reports + 1)) << kind;
    EXPECT_FALSE(host->HasExited()) << kind;
    EXPECT_EQ(ReadFile(Program() + "/gsc"), good) << kind;
    EXPECT_TRUE(Stop(host.get())) << kind;
  }

  // Nothing the client keeps in its folder is open to other users.
  EXPECT_EQ(Mode("/sysconfig.xml"), 0600);
  EXPECT_EQ(Mode("/gsc"), 0600);
  EXPECT_EQ(Mode("/Log"), 0700);
  EXPECT_EQ(Mode("/Log/2.3.109.05--c--OBHost.exe.log"), 0600);
}

TEST_F(WebObHostTest, TheDemoUserSignsInThroughTheClientsWebLogic) {
  Json::Value user;
  ASSERT_TRUE(Json::Reader().parse(
      standin_.Control(
          "user", "account=demo&password=ombrix2024&nick=%E6%BC%94%E7%A4%BA%E7%8E%A9%E5%AE%B6"),
      user));
  std::string cipher = user["cipher"].asString();
  ASSERT_EQ(cipher.size(), 32u);
  WriteFile(Program() + "/gsc.test", standin_.GscXml());

  auto host = Start();
  ASSERT_TRUE(ServerConfigDownloaded());
  // The game of the demo edition attaches and signs the user in, asking
  // the client to remember the password and sign in by itself next time.
  gamesim::GameSimulator game(DemoGame());
  ASSERT_NO_FATAL_FAILURE(Attach(&game));
  ASSERT_TRUE(SendLogin(&game, true));

  ASSERT_TRUE(standin_.WaitForRequests(
      "UserLogin", 1, std::chrono::duration_cast<std::chrono::milliseconds>(kSignInDeadline)));
  auto request = standin_.RequestsFor("UserLogin").at(0);
  EXPECT_EQ(request.Param("Account"), "demo");
  EXPECT_EQ(request.Param("Password"), "ombrix2024");
  EXPECT_EQ(request.Param("PaswordType"), "simple");
  EXPECT_EQ(request.Param("RequireCipher"), "true");
  // The game hears of the sign-in.
  std::optional<gamesim::WireMessage> reply = NextLogin(&game, kSignInDeadline);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Int("signed_in"), 1);
  EXPECT_EQ(reply->Text("text"), u"demo");
  // The client took the reply as a sign-in: it asks for the new-item
  // counts with the session the service handed out, and makes the user's folder.
  ASSERT_TRUE(standin_.WaitForRequests("GetDataPrompt"));
  Json::Value state;
  ASSERT_TRUE(Json::Reader().parse(standin_.Control("state"), state));
  std::string session = standin_.RequestsFor("GetDataPrompt").at(0).Param("SessionId");
  EXPECT_EQ(state["sessions"][session].asString(), "demo");
  EXPECT_TRUE(WaitUntil([&] { return fs::is_directory(Program() + "/Users/demo"); }));
  ASSERT_TRUE(standin_.WaitForRequests("/head/1001_big.jpg"));
  EXPECT_TRUE(Stop(host.get()));
  // What the next start signs in with by itself.
  std::string sysconfig = ReadFile(Program() + "/sysconfig.xml");
  EXPECT_NE(sysconfig.find("<account>demo</account>"), std::string::npos) << sysconfig;
  EXPECT_NE(sysconfig.find("<password>" + cipher + "</password>"), std::string::npos) << sysconfig;
  EXPECT_NE(sysconfig.find("<autologin>1</autologin>"), std::string::npos) << sysconfig;
  EXPECT_TRUE(game.errors().empty());
}

// The most memory the process has held so far (VmHWM), in bytes.
uint64_t PeakResident(pid_t pid) {
  std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
  size_t at = status.find("VmHWM:");
  return at == std::string::npos ? 0 : std::stoull(status.substr(at + 6)) * 1024;
}

TEST_F(WebObHostTest, ASignInReplyThatInflatesOrFlowsWithoutEndFailsTheSignInWithinBoundedMemory) {
  WriteFile(Program() + "/gsc.test", standin_.GscXml());
  auto host = Start();
  ASSERT_TRUE(ServerConfigDownloaded());
  gamesim::GameSimulator game(DemoGame());
  ASSERT_NO_FATAL_FAILURE(Attach(&game));
  auto sign_in = [&] {
    EXPECT_TRUE(SendLogin(&game, false));
    // A client that reads without end never answers: the wait ends it.
    std::optional<gamesim::WireMessage> reply = NextLogin(&game, std::chrono::seconds(30));
    return reply ? reply->Int("signed_in") : -1;
  };
  const uint64_t peak_before = PeakResident(host->pid());
  ASSERT_GT(peak_before, 0u);
  // A 256 KiB gzip reply that inflates to 256 MiB, then a reply that flows
  // at 16 MiB/s and never ends.
  for (const char* fault : {"mode=bomb", "mode=endless&bytes_per_s=16777216"}) {
    size_t bounds = CountInLog("passed 8388608 bytes; request failed");
    standin_.Fault(std::string("command=UserLogin&") + fault);
    EXPECT_EQ(sign_in(), 0) << fault;
    EXPECT_EQ(CountInLog("passed 8388608 bytes; request failed"), bounds + 1) << fault;
    EXPECT_FALSE(host->HasExited()) << fault;
  }
  // Far below what either would have taken whole (256 MiB, and four bytes
  // a character once read as text).
  EXPECT_LT(PeakResident(host->pid()) - peak_before, uint64_t{160} << 20);
  EXPECT_EQ(sign_in(), 1);  // and the next reply is read as ever
  EXPECT_TRUE(Stop(host.get()));
  EXPECT_TRUE(game.errors().empty());
}

}  // namespace
