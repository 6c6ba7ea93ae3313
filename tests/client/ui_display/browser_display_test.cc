#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/ui/frame/ob_frame_wnd.h"
#include "client/ui/script/frame_script_target.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "client/ui/script/jscript_dispatch.h"
#include "client/ui/script/jscript_execute_http.h"
#include "client/ui/script/jscript_execute_logic_frame_wnd_core.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"
#include "uilib/backend/gtk/gtk_backend.h"
#include "uilib/browser_host.h"
#include "uilib/ui_backend.h"
#include "uilib/win_api.h"
#include "uilib/window_wnd.h"

namespace ombrix::test {
namespace {

constexpr uilib::UINT kScriptResult = 2426;

// A plain window that holds a browser and hands result messages to a
// dispatch, as the main window does.
class HostWindow : public uilib::CWindowWnd {
 public:
  uilib::LPCTSTR GetWindowClassName() const override { return L"OBBrowserTestHost"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM w, uilib::LPARAM l) override {
    if (msg == kScriptResult && dispatch != nullptr) {
      dispatch->DeliverResults();
      return 0;
    }
    return CWindowWnd::HandleMessage(msg, w, l);
  }
  JScriptDispatch* dispatch = nullptr;
};

// Runs the toolkit and the window messages until `done` or 90 s (the
// web engine starts slowly on a loaded machine).
bool RunUntil(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    uilib::gtk_testing::Iterate(10);
    uilib::PumpPendingMessages();
  }
  return true;
}

struct Recorder : uilib::ExternalHandler {
  struct Call {
    std::string name;
    std::vector<std::wstring> args;
  };
  std::vector<Call> calls;
  std::vector<std::string> ExternalMethodNames() const override { return {"CB_OnLoad", "CB_Echo"}; }
  void OnExternalCall(const std::string& name, const std::vector<std::wstring>& args) override {
    calls.push_back({name, args});
  }
  const Call* Find(const std::string& name, const std::wstring& first) const {
    for (const Call& c : calls)
      if (c.name == name && !c.args.empty() && c.args[0] == first) return &c;
    return nullptr;
  }
};

struct Browser {
  HostWindow window;
  std::unique_ptr<uilib::BrowserHost> host;
  Browser(int w, int h) {
    window.Create(0, L"browser test", uilib::WS_POPUP, 0, 20, 20, w, h);
    uilib::ShowWindow(window, uilib::SW_SHOW);
    host = uilib::CreateBrowserHost(window, uilib::RECT{0, 0, w, h});
  }
  ~Browser() {
    if (host) host->Close();
  }
};

const char kEchoPage[] = R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>echo default</title>
<script>
function Echo() { var a = ["echo"]; for (var i = 0; i < arguments.length; i++) a.push(arguments[i]);
  window.external.CB_Echo.apply(null, a); }
window.addEventListener("message", function (e) { window.external.CB_Echo("frame", String(e.data)); });
window.addEventListener("load", function () {
  window.external.CB_OnLoad("x", "default");
  var t; try { window.external.CB_Nothing(); t = "no error"; } catch (e) { t = "threw"; }
  window.external.CB_Echo("unknown", t);
});
</script></head><body><iframe src="frame.html"></iframe></body></html>)";

const char kFramePage[] = R"(<!DOCTYPE html><html><head><script>
parent.postMessage(window.external && window.external.CB_Echo ? "has" : "none", "*");
</script></head><body>frame</body></html>)";

const char kOutsidePage[] = R"(<!DOCTYPE html><html><head><title>start</title><script>
window.addEventListener("load", function () {
  var has = !!(window.external && window.external.CB_OnLoad) || !!window.webkit.messageHandlers.obExternal;
  try { window.webkit.messageHandlers.obExternal.postMessage({t: "guess", n: "CB_OnLoad", a: ["x", "default"]}); }
  catch (e) {}
  document.title = has && window.external && window.external.CB_OnLoad ? "has external" : "no external";
});
</script></head><body>outside</body></html>)";

// Page and client exchange texts exactly, both ways; unknown methods
// throw in the page; frames and pages outside the allowed folder get no
// window.external, and what they post on the channel is not heard.
TEST(BrowserDisplayTest, BridgeRoundTripAndAllowList) {
  TempDir dir;
  std::string html = dir.path() + "/html";
  std::filesystem::create_directories(html);
  std::filesystem::create_directories(dir.path() + "/other");
  WriteFile(html + "/echo.html", kEchoPage);
  WriteFile(html + "/frame.html", kFramePage);
  WriteFile(dir.path() + "/other/page.html", kOutsidePage);
  WebStandin web(WebStandin::Options{true, {"--static-dir", dir.path() + "/other"}});
  ASSERT_TRUE(web.running());

  Browser b(400, 300);
  ASSERT_NE(nullptr, b.host);
  Recorder recorder;
  b.host->SetExternal(&recorder, {uilib::FileUrl(html + "/")});
  b.host->Navigate(brx::util::Utf8ToWide(uilib::FileUrl(html + "/echo.html")));
  ASSERT_TRUE(RunUntil([&] { return recorder.Find("CB_Echo", L"unknown") && recorder.Find("CB_Echo", L"frame"); }));
  ASSERT_NE(nullptr, recorder.Find("CB_OnLoad", L"x"));
  EXPECT_EQ((std::vector<std::wstring>{L"x", L"default"}), recorder.Find("CB_OnLoad", L"x")->args);
  EXPECT_EQ(L"threw", recorder.Find("CB_Echo", L"unknown")->args.at(1));
  EXPECT_EQ(L"none", recorder.Find("CB_Echo", L"frame")->args.at(1));
  ASSERT_TRUE(RunUntil([&] { return b.host->IsLoadComplete(); }));
  EXPECT_EQ(L"echo default", b.host->LocationName());

  std::vector<std::wstring> tricky = {L"a \"quoted\" 'word'", L"back\\slash\\\\", L"line\nnext\r\n",
                                      L"sep\u2028para\u2029end", L"</script><script>alert(1)</script>",
                                      L"中文 ${x} `tick`", L""};
  bool found = false;
  bool answered = false;
  ASSERT_TRUE(b.host->CallFunction("Echo", tricky, [&](bool f) { found = f, answered = true; }));
  ASSERT_TRUE(RunUntil([&] { return recorder.Find("CB_Echo", L"echo") != nullptr && answered; }));
  EXPECT_TRUE(found);
  std::vector<std::wstring> expected = {L"echo"};
  expected.insert(expected.end(), tricky.begin(), tricky.end());
  EXPECT_EQ(expected, recorder.Find("CB_Echo", L"echo")->args);
  // A function the page lacks changes nothing there.
  answered = false;
  ASSERT_TRUE(b.host->CallFunction("NoSuchFunction", {L"1"}, [&](bool f) { found = f, answered = true; }));
  ASSERT_TRUE(RunUntil([&] { return answered; }));
  EXPECT_FALSE(found);

  // Outside the allowed folder, local or remote.
  size_t before = recorder.calls.size();
  for (std::string url : {uilib::FileUrl(dir.path() + "/other/page.html"), web.base_url() + "/page.html"}) {
    SCOPED_TRACE(url);
    b.host->Navigate(brx::util::Utf8ToWide(url));
    ASSERT_TRUE(RunUntil([&] { return b.host->IsLoadComplete() && b.host->LocationName() != L"start" &&
                                      b.host->LocationName() != L"page.html"; }));
    EXPECT_EQ(L"no external", b.host->LocationName());
  }
  EXPECT_EQ(before, recorder.calls.size());

  // Closed: safe to repeat, and nothing is called any more.
  b.host->Close();
  b.host->Close();
  EXPECT_FALSE(b.host->CallFunction("Echo", {L"late"}));
}

struct PageFrame : FrameScriptTarget {
  uilib::BrowserHost* page = nullptr;
  std::string server;
  std::string user_id;
  int loads = 0;
  // What the main window does for the default page: the service address
  // and the signed-in user.
  void OnPageLoad(const std::wstring& name) override {
    if (name != L"default") return;
    ++loads;
    CallPageFunction({brx::util::Utf8ToWide(server)}, "Config_UrlPrompt", page);
    CallPageFunction({brx::util::Utf8ToWide(user_id)}, "User_SetCurrentUserID", page);
  }
  void HideAndSignOut() override {}
  void RequestUserLogout() override {}
  void ResetAboutUserCount() override {}
  void ResetMessageCount() override {}
  void ResetFansCount() override {}
  void ResetMirrorBlogCount() override {}
  void ShowMiniCard(const ScriptArgs&) override {}
  void OpenOriginImage(const std::wstring&) override {}
  void ShowDefaultPage() override {}
  void CloseAction() override {}
  void SetKnowStatus(const std::wstring&) override {}
};

std::string DemoUserId(WebStandin& web) {
  Json::Value state;
  Json::CharReaderBuilder builder;
  std::string text = web.Control("state");
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  if (!reader->parse(text.data(), text.data() + text.size(), &state, &errors)) return "";
  return state["users"]["demo"]["UserAccountId"].asString();
}

// The installed main page reads the signed-in user's diary from the web
// service through the client (CB_SendHttpRequest) and shows it; a picture
// is left for review.
TEST(BrowserDisplayTest, MainPageShowsTheDemoUsersDiary) {
  WebStandin web(WebStandin::Options{true, {"--demo-blog"}});
  ASSERT_TRUE(web.running());
  std::string pages = DistDir() + "/html";
  ASSERT_TRUE(PathExists(pages + "/Default.html"));

  Browser b(300, 440);
  ASSERT_NE(nullptr, b.host);
  PageFrame frame;
  frame.page = b.host.get();
  frame.server = web.base_url() + "/ClientInterface.axd";
  frame.user_id = DemoUserId(web);
  ASSERT_FALSE(frame.user_id.empty());
  uilib::HWND hwnd = b.window;
  JScriptDispatch dispatch(b.host.get(), [hwnd] { uilib::PostMessage(hwnd, kScriptResult, 0, 0); });
  dispatch.AddExecutor(std::make_unique<JScriptExecuteHttp>());
  dispatch.AddExecutor(std::make_unique<JScriptExecuteLogicFrameWndCore>(&frame));
  b.window.dispatch = &dispatch;
  b.host->SetExternal(&dispatch, {uilib::FileUrl(pages + "/")});
  b.host->Navigate(brx::util::Utf8ToWide(uilib::FileUrl(pages + "/Default.html")));

  ASSERT_TRUE(RunUntil([&] { return b.host->LocationName() == L"Ombrix default (1)"; }))
      << brx::util::WideToUtf8(b.host->LocationName());
  EXPECT_EQ(1, frame.loads);
  auto asked = web.RequestsFor("GetUserBlogList");
  ASSERT_EQ(1u, asked.size());
  EXPECT_EQ(frame.user_id, asked[0].Param("UserAccountId"));
  EXPECT_EQ("gzip", asked[0].Param("zip"));

  // Let it paint, then keep the screen's picture of the window.
  uilib::gtk_testing::Iterate(300);
  std::string out = BinaryDir() + "/test-output/browser-display";
  std::filesystem::create_directories(out);
  std::string png = out + "/main-page.png";
  std::string command = "import -window root -crop 300x440+20+20 '" + png + "' 2>/dev/null";
  if (std::system(command.c_str()) == 0) {
    EXPECT_TRUE(PathExists(png));
  }
  b.window.dispatch = nullptr;
  b.host->Close();
}


// Enough of the client for the main window against the web stand-in, with
// the demo user signed in.
struct DemoServices : FrameServices {
  EventChain events;
  std::string base_url;
  std::wstring user_id;
  EventChain* Events() override { return &events; }
  std::wstring ProgramDir() override { return brx::util::Utf8ToWide(DistDir()); }
  std::wstring GameId() override { return L"other"; }
  std::wstring GameName(const std::wstring&) override { return L"Demo Game"; }
  std::wstring ServerAddress(const std::wstring&) override {
    return brx::util::Utf8ToWide(base_url + "/ClientInterface.axd");
  }
  std::wstring SiteAddress() override { return L""; }
  bool HasSession() override { return true; }
  std::wstring UserId() override { return user_id; }
  std::wstring Account() override { return L"demo"; }
  std::wstring SessionId() override { return L""; }
  std::wstring ConfigValue(const std::wstring&, const std::wstring& d) override { return d; }
  void SetConfigValue(const std::wstring&, const std::wstring&) override {}
  bool AddBlog(const std::wstring&, const std::wstring&, const std::wstring&, const std::wstring&,
               const FromHandle&) override {
    return false;
  }
  bool Upload(const std::wstring&, int, const FromHandle&) override { return false; }
  bool GameDownloadFile(const std::wstring&, const std::wstring&, const FromHandle&) override { return false; }
  bool SearchByNickAndProfile(const std::wstring&, const std::wstring&, const std::wstring&) override {
    return false;
  }
  bool AddFollowList(const std::wstring&, const FromHandle&) override { return false; }
  void UserLogout() override {}
  void ResetCounter(int) override {}
  void OpenWithShell(const std::wstring&) override {}
  void ShowLoginWindow() override {}
  void RequestSignIn(const std::wstring&) override {}
  ShotCatalogue* Shots() override { return nullptr; }
  std::vector<std::wstring> GameIds() override { return {}; }
  ConfigurationDialogHost SettingsHost() override { return {}; }
  CAboutDialog::Info AboutInfo() override { return {}; }
  void OpenCommunitySite() override {}
  void SendFeedback(const std::wstring&, const std::wstring&) override {}
  const UserAccountRecord* CurrentUser() override { return nullptr; }
  void RequestProfile(const FromHandle&) override {}
  void UpdateUserInfo(const std::map<std::wstring, std::wstring>&) override {}
  void UpdateGameProfile(const std::wstring&) override {}
  void RequestAvatarKey() override {}
  void OpenAvatarEditor(const std::wstring&, const uilib::RECT&) override {}
};

// The main window as a user sees it: the skin around the installed page,
// which shows the demo user's diary; the user card opens beside it at the
// height its page reports. Pictures of both are left for review.
TEST(BrowserDisplayTest, MainWindowWithTheDiaryAndTheUserCard) {
  WebStandin web(WebStandin::Options{true, {"--demo-blog"}});
  ASSERT_TRUE(web.running());
  DemoServices services;
  services.base_url = web.base_url();
  services.user_id = brx::util::Utf8ToWide(DemoUserId(web));
  ControlContext context;
  context.skin_folder = DefaultSkin();
  context.events = &services.events;
  auto frame = std::make_unique<COBFrameWnd>(&services, &context, &uilib::CreateBrowserHost);
  ASSERT_NE(0u, frame->Create(0, L"Ombrix", 0x00CF0000, 0, 0, 0, 300, 650));
  frame->ShowAfterSignIn(2, 1);
  ASSERT_NE(nullptr, frame->browser());
  ASSERT_TRUE(RunUntil([&] { return frame->browser()->LocationName() == L"Ombrix default (1)"; }))
      << brx::util::WideToUtf8(frame->browser()->LocationName());
  uilib::gtk_testing::Iterate(300);

  std::string out = BinaryDir() + "/test-output/browser-display";
  std::filesystem::create_directories(out);
  auto shoot = [&](uilib::HWND hwnd, const std::string& name) {
    uilib::RECT r{};
    uilib::GetWindowRect(hwnd, &r);
    std::string png = out + "/" + name;
    std::string command = "import -window root -crop " + std::to_string(r.right - r.left) + "x" +
                          std::to_string(r.bottom - r.top) + "+" + std::to_string(r.left) + "+" +
                          std::to_string(r.top) + " '" + png + "' 2>/dev/null";
    if (std::system(command.c_str()) == 0) {
      EXPECT_TRUE(PathExists(png));
    }
  };
  shoot(*frame, "main-window.png");

  MiniUserCard* card = frame->card();
  ASSERT_NE(nullptr, card);
  frame->ShowMiniCard({L"show", L"0", L"{\"NickName\":\"演示玩家\",\"PostFrom\":\"Demo Game\"}"});
  ASSERT_TRUE(RunUntil([&] { return uilib::IsWindowVisible(*card); }));
  uilib::RECT main{}, rect{};
  uilib::GetWindowRect(*frame, &main);
  // The desktop settles the new size a little after the request.
  RunUntil([&] { return uilib::GetWindowRect(*card, &rect) && rect.bottom - rect.top < MiniUserCard::kCreateHeight; });
  EXPECT_EQ(MiniUserCard::kWidth, rect.right - rect.left);
  EXPECT_EQ(main.left - MiniUserCard::kWidth, rect.left);
  // Shrunk towards the page's height from the 600 it was made with (the
  // toolkit keeps a floor of its own under the page's 100 or so).
  EXPECT_LT(rect.bottom - rect.top, MiniUserCard::kCreateHeight);
  EXPECT_GT(rect.bottom - rect.top, 40);
  uilib::gtk_testing::Iterate(300);
  shoot(*card, "user-card.png");
  frame.reset();
}

}  // namespace
}  // namespace ombrix::test
