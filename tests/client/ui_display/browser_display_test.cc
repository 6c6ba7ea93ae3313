#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/core/event_ids.h"
#include "client/core/web_events.h"
#include "client/ui/frame/ob_frame_wnd.h"
#include "client/ui/script/frame_script_target.h"
#include "client/ui/script/jscript_dispatch.h"
#include "client/ui/script/jscript_execute_http.h"
#include "client/ui/script/jscript_execute_logic_frame_wnd_core.h"
#include "runtime/http/http_session.h"
#include "runtime/platform/shell.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"
#include "uilib/testing/gtk_testing.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/browser_host.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_wnd.h"

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

const char kEchoPage[] =
    R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>echo default</title>
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
function Echo() { document.title = "called"; }
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
  ASSERT_TRUE(RunUntil(
      [&] { return recorder.Find("CB_Echo", L"unknown") && recorder.Find("CB_Echo", L"frame"); }));
  ASSERT_NE(nullptr, recorder.Find("CB_OnLoad", L"x"));
  EXPECT_EQ((std::vector<std::wstring>{L"x", L"default"}), recorder.Find("CB_OnLoad", L"x")->args);
  EXPECT_EQ(L"threw", recorder.Find("CB_Echo", L"unknown")->args.at(1));
  EXPECT_EQ(L"none", recorder.Find("CB_Echo", L"frame")->args.at(1));
  ASSERT_TRUE(RunUntil([&] { return b.host->IsLoadComplete(); }));
  EXPECT_EQ(L"echo default", b.host->LocationName());

  std::vector<std::wstring> tricky = {L"a \"quoted\" 'word'",
                                      L"back\\slash\\\\",
                                      L"line\nnext\r\n",
                                      L"sep\u2028para\u2029end",
                                      L"</script><script>alert(1)</script>",
                                      L"中文 ${x} `tick`",
                                      L""};
  bool found = false;
  bool answered = false;
  ASSERT_TRUE(b.host->CallFunction("Echo", tricky, [&](uilib::PageCallResult r) {
    found = r == uilib::PageCallResult::kCalled, answered = true;
  }));
  ASSERT_TRUE(RunUntil([&] { return recorder.Find("CB_Echo", L"echo") != nullptr && answered; }));
  EXPECT_TRUE(found);
  std::vector<std::wstring> expected = {L"echo"};
  expected.insert(expected.end(), tricky.begin(), tricky.end());
  EXPECT_EQ(expected, recorder.Find("CB_Echo", L"echo")->args);
  // A function the page lacks changes nothing there.
  answered = false;
  ASSERT_TRUE(b.host->CallFunction("NoSuchFunction", {L"1"}, [&](uilib::PageCallResult r) {
    found = r == uilib::PageCallResult::kCalled, answered = true;
  }));
  ASSERT_TRUE(RunUntil([&] { return answered; }));
  EXPECT_FALSE(found);

  // Outside the allowed folder, local or remote.
  size_t before = recorder.calls.size();
  for (std::string url :
       {uilib::FileUrl(dir.path() + "/other/page.html"), web.base_url() + "/page.html"}) {
    SCOPED_TRACE(url);
    b.host->Navigate(brx::util::Utf8ToWide(url));
    ASSERT_TRUE(RunUntil([&] {
      return b.host->IsLoadComplete() && b.host->LocationName() != L"start" &&
             b.host->LocationName() != L"page.html";
    }));
    EXPECT_EQ(L"no external", b.host->LocationName());
    // The client's calls do not reach it either.
    EXPECT_FALSE(b.host->CallFunction("Echo", {L"secret"}));
  }
  EXPECT_EQ(before, recorder.calls.size());
  EXPECT_EQ(L"no external", b.host->LocationName());

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
  std::vector<std::wstring> load_names;
  std::wstring know;
  // What the main window does for the default page: the service address
  // and the signed-in user.
  void OnPageLoad(const std::wstring& name) override {
    load_names.push_back(name);
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
  void SetKnowStatus(const std::wstring& text) override { know = text; }
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

// The installed main page in a browser, its bridge set up as the main
// window sets it up, its requests allowed to the web stand-in only.
struct InstalledMainPage {
  Browser browser;
  PageFrame frame;
  std::unique_ptr<JScriptDispatch> dispatch;

  InstalledMainPage(WebStandin& web, int height, const std::string& server_path)
      : browser(300, height) {
    if (!browser.host) return;
    frame.page = browser.host.get();
    frame.server = web.base_url() + server_path;
    frame.user_id = DemoUserId(web);
    uilib::HWND hwnd = browser.window;
    dispatch = std::make_unique<JScriptDispatch>(
        browser.host.get(), [hwnd] { uilib::PostMessage(hwnd, kScriptResult, 0, 0); });
    std::string origin = web.base_url();
    dispatch->AddExecutor(std::make_unique<JScriptExecuteHttp>(
        [origin] { return std::vector<std::string>{origin}; }));
    dispatch->AddExecutor(std::make_unique<JScriptExecuteLogicFrameWndCore>(&frame));
    browser.window.dispatch = dispatch.get();
    browser.host->SetExternal(dispatch.get(), {uilib::FileUrl(DistDir() + "/html/")});
  }
  ~InstalledMainPage() {
    browser.window.dispatch = nullptr;
    if (browser.host) browser.host->Close();
  }
  void Open(const std::string& query) {
    browser.host->Navigate(
        brx::util::Utf8ToWide(uilib::FileUrl(DistDir() + "/html/Default.html") + query));
  }
};

// The installed main page reads the signed-in user's diary from the web
// service through the client (CB_SendHttpRequest) and shows it; a picture
// is left for review.
TEST(BrowserDisplayTest, MainPageShowsTheDemoUsersDiary) {
  WebStandin web(WebStandin::Options{true, {"--demo-blog"}});
  ASSERT_TRUE(web.running());
  ASSERT_TRUE(PathExists(DistDir() + "/html/Default.html"));
  InstalledMainPage page(web, 440, "/ClientInterface.axd");
  Browser& b = page.browser;
  PageFrame& frame = page.frame;
  ASSERT_NE(nullptr, b.host);
  ASSERT_FALSE(frame.user_id.empty());
  page.Open("");

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

// The demo user's sign-in reply, as the service gives it to the client.
std::string SignInReply(WebStandin& web) {
  brx::http::HttpSession session;
  if (!session.Open(web.base_url() +
                    "/ClientInterface.axd?CommandName=UserLogin&Account=demo&Password=ombrix2024"
                    "&PaswordType=simple&RequireCipher=true"))
    return "";
  if (!session.SendRequest(nullptr, 0)) return "";
  return session.body();
}

std::string JsonText(const std::string& reply, const char* member) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  if (!reader->parse(reply.data(), reply.data() + reply.size(), &value, &errors)) return "";
  return value["Data"][member].asString();
}

// The installed main page says which view it was loaded for; its
// reminders read as the tray's prompt means them; its search view has the
// field it asks for, and a search and a follow go to the service through
// the client with the user's session.
TEST(BrowserDisplayTest, MainPageSearchRemindersAndLoadKind) {
  WebStandin web(WebStandin::Options{true, {"--demo-blog"}});
  ASSERT_TRUE(web.running());
  InstalledMainPage page(web, 626, "");
  Browser& b = page.browser;
  PageFrame& frame = page.frame;
  ASSERT_NE(nullptr, b.host);
  page.Open("?load=search");
  ASSERT_TRUE(RunUntil([&] { return !frame.load_names.empty(); }));
  EXPECT_EQ((std::vector<std::wstring>{L"search"}), frame.load_names);
  ASSERT_TRUE(b.host->CallFunction("Config_UrlPrompt", {brx::util::Utf8ToWide(web.base_url())}));

  // The page's answer to a question, through one of its own callbacks.
  auto ask = [&](const std::wstring& expression) {
    frame.know = L"(no answer)";
    b.host->CallFunction("eval", {L"window.external.CB_SetKnow(String(" + expression + L"))"});
    RunUntil([&] { return frame.know != L"(no answer)"; });
    return frame.know;
  };
  const std::pair<const wchar_t*, const wchar_t*> reminders[] = {
      {L"1", L"日记"}, {L"2", L"提到"}, {L"3", L"私信"}, {L"4", L"粉丝"}};
  for (const auto& [which, word] : reminders) {
    ASSERT_TRUE(b.host->CallFunction("RemindShow", {which}));
    EXPECT_NE(std::wstring::npos, ask(L"document.getElementById('remind').textContent").find(word))
        << which;
  }

  std::string reply = SignInReply(web);
  std::string session = JsonText(reply, "SessionID");
  ASSERT_FALSE(session.empty()) << reply;
  ASSERT_TRUE(b.host->CallFunction("UserLogin", {brx::util::Utf8ToWide(reply), L"load_search"}));
  EXPECT_EQ(L"true", ask(L"document.getElementById('search').offsetHeight > 0"));
  EXPECT_EQ(L"20", ask(L"document.getElementById('searchName').maxLength"));
  b.host->CallFunction("eval", {L"document.getElementById('searchName').value = 'bud';"
                                L"document.getElementById('searchGo').click()"});
  ASSERT_TRUE(RunUntil([&] { return !web.RequestsFor("SearchByNickAndProfile").empty(); }));
  auto search = web.RequestsFor("SearchByNickAndProfile").at(0);
  EXPECT_EQ("bud", search.Param("Keyword"));
  EXPECT_EQ(session, search.Param("SessionId"));
  EXPECT_EQ("1", search.Param("Page"));
  EXPECT_EQ("100", search.Param("PageSize"));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ask(L"document.querySelectorAll('#results input').length") != L"1") {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no result shown";
  }
  uilib::gtk_testing::Iterate(300);
  std::string out = BinaryDir() + "/test-output/browser-display";
  std::filesystem::create_directories(out);
  std::string png = out + "/main-page-search.png";
  if (std::system(("import -window root -crop 300x626+20+20 '" + png + "' 2>/dev/null").c_str()) ==
      0) {
    EXPECT_TRUE(PathExists(png));
  }
  b.host->CallFunction("eval", {L"document.querySelector('#results input').checked = true;"
                                L"document.getElementById('searchFollow').click()"});
  ASSERT_TRUE(RunUntil([&] { return !web.RequestsFor("AddFollowList").empty(); }));
  auto follow = web.RequestsFor("AddFollowList").at(0);
  EXPECT_EQ(session, follow.Param("SessionID"));
  EXPECT_FALSE(follow.Param("FollowUserAccountIds").empty());
  EXPECT_NE(DemoUserId(web), follow.Param("FollowUserAccountIds"));
}

// Enough of the client for the main window against the web stand-in, with
// the demo user signed in.
struct DemoServices : FrameServices {
  EventChain events;
  brx::platform::RecordingShell shell;
  std::string base_url;
  std::wstring user_id;
  std::string program_dir = DistDir();
  std::wstring site;
  // What the client was asked to do for the user.
  std::vector<std::wstring> acted;
  EventChain* Events() override { return &events; }
  std::wstring ProgramDir() override { return brx::util::Utf8ToWide(program_dir); }
  std::wstring GameId() override { return L"other"; }
  std::wstring GameName(const std::wstring&) override { return L"Demo Game"; }
  std::wstring ServerAddress(const std::wstring&) override {
    return brx::util::Utf8ToWide(base_url + "/ClientInterface.axd");
  }
  std::wstring SiteAddress() override { return site; }
  bool HasSession() override { return true; }
  std::wstring UserId() override { return user_id; }
  std::wstring Account() override { return L"demo"; }
  std::wstring SessionId() override { return L""; }
  std::wstring ConfigValue(const std::wstring&, const std::wstring& d) override { return d; }
  void SetConfigValue(const std::wstring& key, const std::wstring& value) override {
    // A page's CB_SetKnow writes this one.
    if (key == L"root.user.knowstatus") acted.push_back(L"know " + value);
  }
  bool AddBlog(const std::wstring&, const std::wstring&, const std::wstring&, const std::wstring&,
               const FromHandle&) override {
    return false;
  }
  bool Upload(const std::wstring&, int, const FromHandle&) override { return false; }
  bool GameDownloadFile(const std::wstring& url, const std::wstring&, const FromHandle&) override {
    acted.push_back(L"download " + url);
    return false;
  }
  bool SearchByNickAndProfile(const std::wstring&, const std::wstring&,
                              const std::wstring&) override {
    return false;
  }
  bool AddFollowList(const std::wstring&, const FromHandle&) override { return false; }
  void UserLogout() override { acted.push_back(L"logout"); }
  void ResetCounter(int id) override { acted.push_back(L"reset " + std::to_wstring(id)); }
  void OpenWithShell(const std::wstring&) override {}
  void OpenInWebBrowser(const std::string& url) override { shell.OpenUrl(url); }
  void ShowLoginWindow() override { acted.push_back(L"login window"); }
  bool LoginWindowFinished() override { return true; }
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

// A probe page: every page function the client might call reports what it
// got, and the page reports which of the external methods it has; the
// local page reports through the client's bridge to the service, other
// pages to their own server.
std::string ProbePage(const std::string& title, const std::string& report_base, bool local,
                      const std::string& link) {
  std::string report = local ? "window.external.CB_SendHttpRequest(String(++seq), '" + report_base +
                                   "/report?' + q, '5', 'Done')"
                             : "fetch('/report?' + q)";
  return R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>)" + title + R"(</title><script>
var seq = 0;
function Done() {}
function report(kind, name, args) {
  var q = "kind=" + kind + "&fn=" + encodeURIComponent(name) + "&args=" + encodeURIComponent(JSON.stringify(args || []));
  )" + report +
         R"(;
}
["UserLogin", "Config_UrlPrompt", "User_SetCurrentUserID", "GetKnow", "Notify_DataPrompt", "RemindShow",
 "Other_ClearState", "UserLogout", "Blog_InsertSingle"].forEach(function (name) {
  window[name] = function () { report("got", name, Array.prototype.slice.call(arguments)); };
});
window.addEventListener("load", function () {
  var ext = window.external || {};
  ["CB_OnLoad", "CB_CloseAction", "CB_UserLogin", "CB_UserLogout", "CB_SendHttpRequest", "CB_GetOriginImage",
   "CB_SetKnow", "CB_ResetFansCount", "CB_ShowFrameNormal"].forEach(function (name) {
    report(typeof ext[name] === "function" ? "has" : "lacks", name);
  });
  try { window.webkit.messageHandlers.obExternal.postMessage({t: "guess", n: "CB_UserLogout", a: []}); } catch (e) {}
  if (ext.CB_OnLoad) ext.CB_OnLoad("", "default");
  report("loaded", ")" +
         title + R"(");
});
</script></head><body>)" +
         link + R"(<p>)" + title + R"(</p></body></html>)";
}

std::vector<std::string> Reports(const WebStandin& server, const std::string& kind) {
  std::vector<std::string> names;
  for (const WebRequest& r : server.RequestsTo("/report"))
    if (r.Param("kind") == kind) names.push_back(r.Param("fn"));
  return names;
}

// The user's sign-in and the client's powers stay with the local page: the
// service's site gets its load notice and close and nothing of the user
// (not even when it asks for the replay or events come while it is
// shown); a link from it to another site opens in the user's browser and
// that site never sees the view; back on the local page, the page gets
// everything, the cipher password never.
TEST(BrowserDisplayTest, SiteAndForeignPagesGetNothingTheLocalPageGetsEverything) {
  WebStandin web;
  TempDir dir;
  std::filesystem::create_directories(dir.path() + "/site/Action");
  std::filesystem::create_directories(dir.path() + "/foreign");
  WebStandin foreign(WebStandin::Options{false, {"--static-dir", dir.path() + "/foreign"}});
  WebStandin site(WebStandin::Options{false, {"--static-dir", dir.path() + "/site"}});
  ASSERT_TRUE(web.running() && foreign.running() && site.running());
  std::string foreign_page = foreign.base_url() + "/page.html";
  WriteFile(dir.path() + "/foreign/page.html", ProbePage("foreign", "", false, ""));
  WriteFile(
      dir.path() + "/site/Action/MiniIndex_other.aspx",
      ProbePage(
          "site", "", false,
          "<a id='out' href='" + foreign_page +
              "' style='display:block;width:200px;height:150px;background:#ddd'>elsewhere</a>"));
  std::filesystem::create_directories(dir.path() + "/program/html");
  WriteFile(dir.path() + "/program/html/Default.html",
            ProbePage("local default", web.base_url(), true, ""));

  DemoServices services;
  services.base_url = web.base_url();
  services.program_dir = dir.path() + "/program";
  services.site = brx::util::Utf8ToWide(site.base_url() + "/");
  ControlContext context;
  context.skin_folder = DefaultSkin();
  context.events = &services.events;
  auto frame = std::make_unique<COBFrameWnd>(&services, &context, &uilib::CreateBrowserHost);
  ASSERT_NE(0u, frame->Create(0, L"Ombrix", 0x00CF0000, 0, 0, 0, 300, 650));
  const std::wstring reply =
      LR"({"Status":0,"Data":{"SessionID":"sess-42","CipherPassword":"cipher-42","UserAccount":{"UserAccountId":7}}})";
  payload::SEVENT_RESPONSE_UserLogin login(FromHandle{FromHandle::kClient, 0}, reply, true, L"demo",
                                           false);
  services.events.FireEvent(&login);
  frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kVisible);
  ASSERT_NE(nullptr, frame->browser());

  // The local page: every method, and the sign-in without the cipher.
  auto got_sign_in = [&](size_t n) {
    return RunUntil([&] {
      auto got = Reports(web, "got");
      return static_cast<size_t>(std::count(got.begin(), got.end(), "UserLogin")) >= n;
    });
  };
  ASSERT_TRUE(got_sign_in(1));
  for (const WebRequest& r : web.RequestsTo("/report")) {
    EXPECT_EQ(std::string::npos, r.query.find("cipher-42")) << r.query;
    if (r.Param("fn") == "UserLogin") {
      EXPECT_NE(std::string::npos, r.Param("args").find("sess-42"));
    }
  }
  ASSERT_TRUE(RunUntil([&] { return Reports(web, "has").size() == 9; }));
  EXPECT_TRUE(Reports(web, "lacks").empty());

  // The site.
  ASSERT_TRUE(uilib::test_driver::Click(frame->paint_manager(), L"eventbtn"));
  ASSERT_TRUE(RunUntil([&] { return !Reports(site, "loaded").empty(); }));
  EXPECT_EQ((std::vector<std::string>{"CB_OnLoad", "CB_CloseAction"}), Reports(site, "has"));
  EXPECT_EQ(7u, Reports(site, "lacks").size());
  services.events.FireEvent(&login);
  EXPECT_FALSE(frame->browser()->CallFunction("UserLogin", {L"direct"}));

  // A click on its link to another site.
  uilib::RECT window{};
  uilib::GetWindowRect(*frame, &window);
  uilib::RECT slot = frame->paint_manager().FindControl(L"ie")->GetPos();
  std::string at = std::to_string(window.left + slot.left + 40) + " " +
                   std::to_string(window.top + slot.top + 40);
  ASSERT_EQ(0, std::system(("xdotool mousemove " + at + " click 1").c_str()));
  ASSERT_TRUE(RunUntil([&] { return !services.shell.requests().empty(); }));
  EXPECT_EQ(foreign_page, services.shell.requests().at(0).target);
  EXPECT_NE(std::wstring::npos, frame->browser()->CurrentUrl().find(L"MiniIndex_other.aspx"));

  // Closed: back on the local page, which gets the sign-in again.
  frame->CloseAction();
  ASSERT_TRUE(got_sign_in(2));
  EXPECT_FALSE(frame->site_shown());
  EXPECT_TRUE(Reports(site, "got").empty());
  EXPECT_TRUE(foreign.Requests().empty());
  EXPECT_TRUE(services.acted.empty()) << brx::util::WideToUtf8(services.acted.at(0));
  for (const WebRequest& r : web.RequestsTo("/report"))
    EXPECT_EQ(std::string::npos, r.query.find("cipher-42"));
  frame.reset();
}

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
  frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kVisible);
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
  RunUntil([&] {
    return uilib::GetWindowRect(*card, &rect) &&
           rect.bottom - rect.top < MiniUserCard::kCreateHeight;
  });
  EXPECT_EQ(MiniUserCard::kWidth, rect.right - rect.left);
  EXPECT_EQ(main.left - MiniUserCard::kWidth, rect.left);
  // Shrunk towards the page's height from the 600 it was made with (the
  // toolkit keeps a floor of its own under the page's 100 or so).
  EXPECT_LT(rect.bottom - rect.top, MiniUserCard::kCreateHeight);
  EXPECT_GT(rect.bottom - rect.top, 40);
  uilib::gtk_testing::Iterate(300);
  shoot(*card, "user-card.png");

  // The search view: the page takes the whole window below the caption
  // and shows its search field.
  frame->ShowMiniCard({L"hide", L"0", L""});
  uilib::ShowWindow(*card, uilib::SW_HIDE);
  ASSERT_TRUE(uilib::test_driver::Click(frame->paint_manager(), L"lookForbtn"));
  uilib::CControlUI* ie = frame->paint_manager().FindControl(L"ie");
  EXPECT_TRUE(RunUntil([&] { return ie->GetPos().bottom - ie->GetPos().top == 626; }));
  uilib::gtk_testing::Iterate(500);
  shoot(*frame, "main-window-search.png");
  frame.reset();
}

}  // namespace
}  // namespace ombrix::test
