// The game commands of the real main client: simulated games change
// settings, count screenshots, open pages, sign the player in and out and
// post screenshots to the blog of the web stand-in.
#include <signal.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "runtime/util/text_convert.h"
#include "standin/game/game_simulator.h"
#include "tests/support/installed_host.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"

namespace {

using gamesim::GameSimulator;
using gamesim::WireMessage;
using ombrix::test::HostProcess;
using ombrix::test::InstalledHost;
using ombrix::test::ReadFile;
using ombrix::test::ScopedEnv;
using ombrix::test::WaitUntil;
using ombrix::test::WebStandin;
using ombrix::test::WriteFile;
using namespace std::chrono_literals;

constexpr auto kWait = 15000ms;
constexpr char kHomeHost[] = "http://home.example.invalid";
constexpr char kAccountHost[] = "http://account.example.invalid";
// The display name of the fallback game "other" the install ships.
const std::string kOther = "\xe7\xbf\x8e\xe5\xb2\x9a\xe7\xa4\xbe\xe5\x8c\xba";

std::string Utf8(const std::u16string& text) {
  std::wstring wide(text.begin(), text.end());
  return brx::util::WideToUtf8(wide);
}

// A game of the install's edition (id "other", hook not system-wide).
class Game {
 public:
  Game() : sim_(Options()) {}
  static GameSimulator::Options Options() {
    GameSimulator::Options o;
    o.name_suffix = L"other";
    return o;
  }
  // Attaches and reads the handshake.
  bool Attach() {
    if (!sim_.ConnectAndAttach("other", kWait)) return false;
    for (;;) {
      auto m = sim_.Receive(kWait);
      if (!m) return false;
      if (m->name == "DATAPROMPT") return true;
    }
  }
  // The next message that is not the server time or the new-item counts,
  // which may come at any moment.
  std::optional<WireMessage> Receive() {
    for (;;) {
      auto m = sim_.Receive(kWait);
      if (!m) return m;
      if (m->name == "SERVERTIME")
        server_times_.push_back(Utf8(m->Text("text")));
      else if (m->name != "DATAPROMPT")
        return m;
    }
  }
  // The next such message, which must be `name`.
  WireMessage Next(const std::string& name) {
    auto m = Receive();
    if (!m) {
      ADD_FAILURE() << "expected " << name << ", got nothing";
      return WireMessage{};
    }
    EXPECT_EQ(m->name, name) << m->ToString();
    return *m;
  }
  void Send(const std::string& name, WireMessage fields = {}) {
    ASSERT_TRUE(sim_.Send(name, fields)) << name;
  }
  // A screenshot message, answered with the counts: proves that every
  // message sent before it was handled and none of them answered.
  WireMessage NewImage(int kind) {
    WireMessage m;
    m.fields = {{"kind", int64_t{kind}}, {"image_path", u"/tmp/x.jpg"}};
    Send("NEWIMAGE", m);
    return Next("IMAGESYN");
  }
  void Login(const std::string& account, const std::string& password, int remember,
             int auto_login) {
    WireMessage m;
    m.fields = {{"account", Utf16(account)},
                {"password", Utf16(password)},
                {"remember", int64_t{remember}},
                {"auto_login", int64_t{auto_login}}};
    Send("LOGIN", m);
  }
  void Post(const std::string& text, const std::string& path) {
    WireMessage m;
    m.fields = {{"text", Utf16(text)}, {"image_path", Utf16(path)}};
    Send("POSTBLOG", m);
  }
  static std::u16string Utf16(const std::string& text) {
    std::wstring wide = brx::util::Utf8ToWide(text);
    return std::u16string(wide.begin(), wide.end());
  }
  GameSimulator& sim() { return sim_; }
  const std::vector<std::string>& server_times() const { return server_times_; }

 private:
  GameSimulator sim_;
  std::vector<std::string> server_times_;
};

std::string Kinds(const WireMessage& m) {
  return std::to_string(m.Int("kind0")) + "," + std::to_string(m.Int("kind1")) + "," +
         std::to_string(m.Int("kind2"));
}

class GameCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(standin_.running());
    installed_.WriteEditionValues(
        "GameId=other\nKey=OB-DEMO\nKeyDesc=Ombrix demo edition\nInstallHook=0\nGlobalConfig=" +
        standin_.base_url() + "/\n");
    WriteFile(installed_.Path("gsc.test"), standin_.GscXml());
    // Games come and go: the client must outlive them.
    std::string other = ReadFile(installed_.Path("games/other.xml"));
    WriteFile(installed_.Path("games/other.xml"),
              std::regex_replace(other, std::regex("<ExitWithGame enable=\"1\""),
                                 "<ExitWithGame enable=\"0\""));
  }
  void StartHost() {
    host_ = installed_.Run();
    ASSERT_TRUE(host_->started());
    GameSimulator probe(Game::Options());
    ASSERT_TRUE(WaitUntil(
        [&] {
          if (probe.Connect() == 0) return false;
          probe.Close();
          return probe.WaitDisconnected(5s);
        },
        60s))
        << host_->Stderr();
  }
  void TearDown() override {
    if (host_) {
      EXPECT_TRUE(host_->Signal(SIGTERM));
      EXPECT_EQ(host_->WaitForExit(60s), 0) << host_->Stderr();
      EXPECT_EQ(host_->Stderr().find("Sanitizer"), std::string::npos) << host_->Stderr();
    }
  }
  Json::Value Blogs() {
    Json::Value state;
    EXPECT_TRUE(Json::Reader().parse(standin_.Control("state"), state));
    return state["blogs"];
  }
  std::string Screenshot(const std::string& name) {
    std::string path = installed_.Scratch(name);
    // A tiny PNG: the stand-in stores whatever bytes come.
    WriteFile(path, std::string("\x89PNG\r\n\x1a\n", 8) + name);
    return path;
  }

  WebStandin standin_;
  InstalledHost installed_;
  ScopedEnv home_{"HOME", installed_.Scratch("state/home")};
  ScopedEnv lang_{"LANG", "en_US.UTF-8"};
  ScopedEnv lc_all_{"LC_ALL", std::nullopt};
  ScopedEnv static_host_{"OMBRIX_STATIC_HOST", std::nullopt};
  ScopedEnv shell_{"OMBRIX_SHELL", "record"};
  ScopedEnv home_page_{"OMBRIX_HOME_PAGE_HOST", kHomeHost};
  ScopedEnv account_page_{"OMBRIX_ACCOUNT_PAGE_HOST", kAccountHost};
  std::unique_ptr<HostProcess> host_;
};

TEST_F(GameCommandsTest, SettingsScreenshotsPagesAndSignInAcrossTwoGames) {
  ASSERT_NO_FATAL_FAILURE(StartHost());
  Game a, b;
  ASSERT_TRUE(a.Attach());
  ASSERT_TRUE(b.Attach());

  // Settings from one game reach the other, not the sender, and are saved;
  // a kind nobody knows still sends them again.
  WireMessage setting;
  setting.fields = {{"kind", int64_t{1}}, {"value", int64_t{321}}};
  a.Send("SYSTEMCONFIG", setting);
  EXPECT_EQ(b.Next("SYSTEMCONFIG").Int("x"), 321);
  setting.fields = {{"kind", int64_t{7}}, {"value", int64_t{5}}};
  a.Send("SYSTEMCONFIG", setting);
  EXPECT_EQ(b.Next("SYSTEMCONFIG").Int("x"), 321);
  EXPECT_TRUE(WaitUntil([&] {
    return ReadFile(installed_.Path("sysconfig.xml")).find("x=\"321\"") != std::string::npos;
  })) << ReadFile(installed_.Path("sysconfig.xml"));
  // The timed-shot switch goes into the game's document, silently.
  WireMessage game_setting;
  game_setting.fields = {{"kind", int64_t{0}}, {"value", int64_t{1}}};
  a.Send("GAMECONFIG", game_setting);

  // Screenshot counts: a post while signed out is ignored, unknown kinds
  // count nowhere, six of kind 1 give (0, 6, 0).
  a.Post("nobody is signed in", Screenshot("early.png"));
  EXPECT_EQ(Kinds(a.NewImage(1)), "0,1,0");  // no POSTBLOG, no SYSTEMCONFIG came first
  EXPECT_EQ(Kinds(a.NewImage(9)), "0,1,0");
  for (int i = 2; i < 6; ++i) a.NewImage(1);
  EXPECT_EQ(Kinds(a.NewImage(1)), "0,6,0");
  a.Send("SHOTCOUNT");

  // Pages: home page, password recovery, registration agreement; 3 is none.
  for (int which : {0, 1, 2, 3}) {
    WireMessage open;
    open.fields = {{"which", int64_t{which}}};
    b.Send("OPENURL", open);
  }
  b.NewImage(2);
  ASSERT_TRUE(WaitUntil([&] { return installed_.LogHas("/PTNew/xieyi.htm"); }));
  std::string log = installed_.Log();
  EXPECT_NE(log.find(std::string("[Shell]open url ") + kHomeHost + "/\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find(std::string("[Shell]open url ") + kAccountHost +
                     "/ptinfo/safecenter/getpwd/ChgPwdStepInputAcc.aspx?pwdchoose=findpwd\n"),
            std::string::npos);
  EXPECT_NE(log.find(std::string("[Shell]open url ") + kAccountHost + "/PTNew/xieyi.htm\n"),
            std::string::npos);
  size_t opened = 0;
  for (size_t at = log.find("[Shell]open url"); at != std::string::npos;
       at = log.find("[Shell]open url", at + 1))
    ++opened;
  EXPECT_EQ(opened, 3u);

  // A refused sign-in is answered to the game that asked, only.
  a.Login(WebStandin::kDemoAccount, "wrong", 1, 1);
  WireMessage refused = a.Next("LOGIN");
  EXPECT_EQ(refused.Int("kind"), 0);
  EXPECT_EQ(refused.Int("signed_in"), 0);
  EXPECT_FALSE(refused.Text("text").empty());
  // Its auto-login flag differed from the settings: written, and the
  // other game hears the settings. A sign-in reply, refused too, starts
  // the counts again.
  EXPECT_EQ(b.Next("SYSTEMCONFIG").Int("x"), 321);
  EXPECT_EQ(Kinds(b.NewImage(2)), "0,0,1");

  // A sign-in with the password reaches every game, with the user's folder.
  // The refusal turned auto-login off again, so the other game first hears
  // the settings once more.
  a.Login(WebStandin::kDemoAccount, WebStandin::kDemoPassword, 1, 1);
  b.Next("SYSTEMCONFIG");
  for (Game* g : {&a, &b}) {
    WireMessage login = g->Next("LOGIN");
    EXPECT_EQ(login.Int("kind"), 0);
    EXPECT_EQ(login.Int("signed_in"), 1);
    EXPECT_EQ(Utf8(login.Text("text")), "demo");
    EXPECT_EQ(g->Next("USERINFO").Int("has_nick"), 1);
    EXPECT_EQ(Utf8(g->Next("SYSTEMCONFIG").Text("user_folder")), "Users/demo");
  }
  EXPECT_TRUE(WaitUntil([&] {
    return ReadFile(installed_.Path("sysconfig.xml")).find("<autologin>1</autologin>") !=
           std::string::npos;
  }));
  // Signing in started the counts again.
  EXPECT_EQ(Kinds(a.NewImage(1)), "0,1,0");

  // The nick name step and the login window request are events of the client.
  b.Send("SETNICKNAME");
  b.Send("REQUESTLOGIN");
  b.NewImage(0);
  EXPECT_TRUE(
      WaitUntil([&] { return installed_.LogHas("game other asks for the nick name step"); }));

  // Sign-out, from the other game: every game hears it.
  b.Send("LOGOUT");
  for (Game* g : {&a, &b}) {
    g->Next("LOGOUT");
    EXPECT_EQ(Utf8(g->Next("SYSTEMCONFIG").Text("user_folder")), "Users/All Users");
  }

  // A ticket sign-in, and a ticket the service refuses.
  WireMessage ticket;
  ticket.fields = {{"ticket", Game::Utf16(WebStandin::kDemoTicket)}};
  b.Send("QTLLOGIN", ticket);
  for (Game* g : {&a, &b}) {
    WireMessage login = g->Next("LOGIN");
    EXPECT_EQ(login.Int("kind"), 1);
    EXPECT_EQ(login.Int("signed_in"), 1);
    g->Next("USERINFO");
    g->Next("SYSTEMCONFIG");
  }
  b.Send("LOGOUT");
  for (Game* g : {&a, &b}) {
    g->Next("LOGOUT");
    g->Next("SYSTEMCONFIG");
  }
  ticket.fields = {{"ticket", u"no-such-ticket"}};
  b.Send("QTLLOGIN", ticket);
  WireMessage failed = b.Next("LOGIN");
  EXPECT_EQ(failed.Int("kind"), 1);
  EXPECT_EQ(failed.Int("signed_in"), 0);
  EXPECT_EQ(Kinds(a.NewImage(0)), "1,0,0");  // nothing came to the other game

  // Every game heard the server's time at some point.
  EXPECT_TRUE(a.server_times().size() + b.server_times().size() > 0);

  // A later game gets the timed-shot switch its game document now holds.
  Game c;
  ASSERT_TRUE(c.sim().ConnectAndAttach("other", kWait));
  std::optional<WireMessage> m;
  while ((m = c.sim().Receive(kWait)) && m->name != "GAMECONFIG") {
  }
  ASSERT_TRUE(m);
  EXPECT_EQ(m->Int("timed_shot"), 1);
  EXPECT_TRUE(a.sim().errors().empty() && b.sim().errors().empty() && c.sim().errors().empty());
}

TEST_F(GameCommandsTest, PostsReachTheBlogAndEveryPosterHearsItsOwnResult) {
  ASSERT_NO_FATAL_FAILURE(StartHost());
  Game a, b;
  ASSERT_TRUE(a.Attach());
  ASSERT_TRUE(b.Attach());
  a.Login(WebStandin::kDemoAccount, WebStandin::kDemoPassword, 0, 0);
  for (Game* g : {&a, &b}) {
    EXPECT_EQ(g->Next("LOGIN").Int("signed_in"), 1);
    g->Next("USERINFO");
    g->Next("SYSTEMCONFIG");
  }

  // A screenshot with a text: uploaded, then posted with the stored address
  // and the game's display name.
  std::string shot = Screenshot("shot.png");
  a.Post("hello from a game", shot);
  WireMessage posted = a.Next("POSTBLOG");
  EXPECT_EQ(posted.Int("result"), 1);
  EXPECT_TRUE(posted.Text("image_path").empty());
  Json::Value blogs = Blogs();
  ASSERT_EQ(blogs.size(), 1u);
  EXPECT_EQ(blogs[0]["Content"].asString(), "hello from a game");
  EXPECT_EQ(blogs[0]["PostFrom"].asString(), kOther);
  EXPECT_EQ(blogs[0]["GameId"].asString(), "other");
  EXPECT_EQ(blogs[0]["ContentImageUrl"].asString().rfind(standin_.base_url() + "/uploads/", 0), 0u)
      << blogs[0]["ContentImageUrl"].asString();

  // Two games post the same picture: each hears its own result.
  a.Post("first of two", shot);
  b.Post("second of two", shot);
  EXPECT_EQ(a.Next("POSTBLOG").Int("result"), 1);
  EXPECT_EQ(b.Next("POSTBLOG").Int("result"), 1);
  EXPECT_EQ(Kinds(a.NewImage(0)), "1,0,0");  // one result each, no more
  EXPECT_EQ(Kinds(b.NewImage(0)), "2,0,0");
  blogs = Blogs();
  ASSERT_EQ(blogs.size(), 3u);
  std::vector<std::string> texts = {blogs[1]["Content"].asString(), blogs[2]["Content"].asString()};
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"first of two", "second of two"}));

  // An empty text gets the default one, in the user's language; a text
  // over its field is cut; no picture means no upload.
  b.Post("", "");
  EXPECT_EQ(b.Next("POSTBLOG").Int("result"), 1);
  a.Post(std::string(2000, 'x'), "");
  EXPECT_EQ(a.Next("POSTBLOG").Int("result"), 1);
  blogs = Blogs();
  ASSERT_EQ(blogs.size(), 5u);
  EXPECT_EQ(blogs[3]["Content"].asString(),
            "Screen shot from" + kOther + ",I would to like to share with you");
  EXPECT_EQ(blogs[3]["ContentImageUrl"].asString(), "");
  EXPECT_EQ(blogs[4]["Content"].asString(), std::string(1023, 'x'));

  // A failed upload and a picture that does not exist: (0, path).
  standin_.Fault("path=/UploadFile.axd&mode=http500&count=1");
  a.Post("the upload fails", shot);
  WireMessage failed = a.Next("POSTBLOG");
  EXPECT_EQ(failed.Int("result"), 0);
  EXPECT_EQ(Utf8(failed.Text("image_path")), shot);
  std::string missing = installed_.Scratch("no-such-shot.png");
  b.Post("no such file", missing);
  failed = b.Next("POSTBLOG");
  EXPECT_EQ(failed.Int("result"), 0);
  EXPECT_EQ(Utf8(failed.Text("image_path")), missing);

  // A game that leaves before its upload returns takes its post along;
  // a sign-out cancels the upload of a post still waiting, which is
  // answered as failed.
  standin_.Fault("path=/UploadFile.axd&mode=slow&delay_ms=1500&count=2");
  {
    Game c;
    ASSERT_TRUE(c.Attach());
    c.Post("gone before the upload returns", shot);
    c.NewImage(0);
  }
  size_t uploads = standin_.RequestsTo("/UploadFile.axd").size();
  a.Post("cancelled by the sign-out", shot);
  ASSERT_TRUE(standin_.WaitForRequests("/UploadFile.axd", uploads + 1));
  b.Send("LOGOUT");
  for (Game* g : {&a, &b}) {
    g->Next("LOGOUT");
    g->Next("SYSTEMCONFIG");
  }
  // Cancelled in flight, or uploaded to nobody's blog: a failure either way.
  EXPECT_EQ(a.Next("POSTBLOG").Int("result"), 0);
  EXPECT_EQ(Blogs().size(), 5u);
  EXPECT_EQ(Kinds(a.NewImage(0)), "1,0,0");
  EXPECT_TRUE(a.sim().errors().empty() && b.sim().errors().empty());
}

TEST_F(GameCommandsTest, AnUploadReplyThatOnlyTinyXmlSeesAsDeepFailsThePostAndNothingElse) {
  ASSERT_NO_FATAL_FAILURE(StartHost());
  Game a;
  ASSERT_TRUE(a.Attach());
  a.Login(WebStandin::kDemoAccount, WebStandin::kDemoPassword, 0, 0);
  EXPECT_EQ(a.Next("LOGIN").Int("signed_in"), 1);
  a.Next("USERINFO");
  a.Next("SYSTEMCONFIG");
  std::string shot = Screenshot("shot.png");
  for (const char* kind : {"xml-stray", "xml-7f", "xml-quote"}) {
    standin_.Fault(std::string("path=/UploadFile.axd&mode=nested&depth=100000&count=1&kind=") +
                   kind);
    a.Post("refused reply", shot);
    EXPECT_EQ(a.Next("POSTBLOG").Int("result"), 0) << kind;
  }
  a.Post("after the refused replies", shot);
  EXPECT_EQ(a.Next("POSTBLOG").Int("result"), 1);
  ASSERT_EQ(Blogs().size(), 1u);
  EXPECT_FALSE(host_->HasExited());
}

}  // namespace
