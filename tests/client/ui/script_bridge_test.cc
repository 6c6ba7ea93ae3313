#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "client/ui/script/frame_script_target.h"
#include "client/ui/script/jscript_dispatch.h"
#include "client/ui/script/jscript_execute_http.h"
#include "client/ui/script/jscript_execute_logic_frame_wnd_core.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/fake_browser_host.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"

namespace ombrix::test {
namespace {

struct RecordingFrame : FrameScriptTarget {
  std::vector<std::wstring> log;
  void OnPageLoad(const std::wstring& page) override { log.push_back(L"load:" + page); }
  void HideAndSignOut() override { log.push_back(L"signout"); }
  void RequestUserLogout() override { log.push_back(L"logout"); }
  void ResetAboutUserCount() override { log.push_back(L"about"); }
  void ResetMessageCount() override { log.push_back(L"message"); }
  void ResetFansCount() override { log.push_back(L"fans"); }
  void ResetMirrorBlogCount() override { log.push_back(L"mirror"); }
  void ShowMiniCard(const ScriptArgs& a) override {
    log.push_back(L"card:" + a[0] + L"," + a[1] + L"," + a[2]);
  }
  void OpenOriginImage(const std::wstring& url) override { log.push_back(L"image:" + url); }
  void ShowDefaultPage() override { log.push_back(L"default"); }
  void CloseAction() override { log.push_back(L"close"); }
  void SetKnowStatus(const std::wstring& text) override { log.push_back(L"know:" + text); }
};

// The main page's bridge as the main window sets it up, with a page at an
// allowed local address.
struct Bridge {
  FakeBrowserHost page;
  RecordingFrame frame;
  std::atomic<int> posted{0};
  std::unique_ptr<JScriptDispatch> dispatch;
  JScriptExecuteHttp* http = nullptr;
  // Where the page's requests may go.
  std::vector<std::string> origins;

  explicit Bridge(std::vector<std::string> allowed_origins = {})
      : origins(std::move(allowed_origins)) {
    dispatch = std::make_unique<JScriptDispatch>(&page, [this] { ++posted; });
    auto executor = std::make_unique<JScriptExecuteHttp>([this] { return origins; });
    http = executor.get();
    dispatch->AddExecutor(std::move(executor));
    dispatch->AddExecutor(std::make_unique<JScriptExecuteLogicFrameWndCore>(&frame));
    page.SetExternal(dispatch.get(), {"file:///opt/ombrix/html/"});
    page.Navigate(L"file:///opt/ombrix/html/Default.html");
    page.FinishLoad(L"default");
  }
  // Waits for `n` result messages in all and hands each to the dispatch,
  // as the window's message loop does.
  bool Deliver(int n) {
    if (!WaitUntil([&] { return posted.load() >= n; })) return false;
    while (delivered < n) {
      dispatch->DeliverResults();
      ++delivered;
    }
    return true;
  }
  int delivered = 0;
};

TEST(ScriptBridge, NamesIdsAndInvokeRules) {
  Bridge b;
  std::vector<int32_t> ids;
  ASSERT_EQ(kDispOk,
            b.dispatch->GetIDsOfNames({"CB_SendHttpRequest", "CB_OnLoad", "CB_SetKnow"}, &ids));
  EXPECT_EQ(0x00000000, ids[0]);
  EXPECT_EQ(0x00010000, ids[1]);
  EXPECT_EQ(0x0001000B, ids[2]);
  // Exact names only; with several names each known one gets its id.
  ids.assign(2, 77);
  EXPECT_EQ(kDispOk, b.dispatch->GetIDsOfNames({"CB_CloseAction", "cb_closeaction"}, &ids));
  EXPECT_EQ(0x0001000A, ids[0]);
  EXPECT_EQ(77, ids[1]);
  EXPECT_EQ(kDispNotImpl, b.dispatch->GetIDsOfNames({"CB_Nothing"}, &ids));
  EXPECT_EQ(kDispNotImpl, b.dispatch->GetIDsOfNames({}, &ids));

  EXPECT_EQ(kDispNotImpl, b.dispatch->Invoke(0x00010000, kDispatchPropertyGet, {L"x", L"default"}));
  EXPECT_EQ(kDispOk, b.dispatch->Invoke(0x0001000C, kDispatchMethod, {}));
  EXPECT_EQ(kDispOk, b.dispatch->Invoke(0x00020000, kDispatchMethod, {}));
  EXPECT_TRUE(b.frame.log.empty());

  // Argument counts: methods that name a count act only on that count.
  struct Row {
    const char* name;
    std::vector<std::wstring> args;
    const wchar_t* effect;  // null: nothing happens
  } rows[] = {
      {"CB_OnLoad", {L"x", L"default"}, L"load:default"},
      {"CB_OnLoad", {L"default"}, nullptr},
      {"CB_OnLoad", {L"a", L"b", L"search"}, nullptr},
      {"CB_UserLogin", {}, L"signout"},
      {"CB_UserLogout", {L"any", L"thing"}, L"logout"},
      {"CB_ResetAboutUserCount", {}, L"about"},
      {"CB_ResetMessageCount", {L"1"}, L"message"},
      {"CB_ResetFansCount", {}, L"fans"},
      {"CB_ResetMirrorBlogCount", {}, L"mirror"},
      {"CB_ShowMiniUserInfoDlg", {L"show", L"20", L"{\"id\":1}"}, L"card:show,20,{\"id\":1}"},
      {"CB_ShowMiniUserInfoDlg", {L"show", L"20"}, nullptr},
      {"CB_GetOriginImage", {L"http://h/a.jpg"}, L"image:http://h/a.jpg"},
      {"CB_GetOriginImage", {}, nullptr},
      {"CB_ShowFrameNormal", {}, L"default"},
      {"CB_CloseAction", {L"x"}, L"close"},
      {"CB_SetKnow", {L"true"}, L"know:true"},
      {"CB_SetKnow", {L"true", L"false"}, nullptr},
  };
  for (const Row& row : rows) {
    b.frame.log.clear();
    EXPECT_TRUE(b.page.SimulateExternalCall(row.name, row.args)) << row.name;
    if (row.effect == nullptr) {
      EXPECT_TRUE(b.frame.log.empty()) << row.name << " with " << row.args.size();
    } else {
      ASSERT_EQ(1u, b.frame.log.size()) << row.name;
      EXPECT_EQ(row.effect, b.frame.log[0]);
    }
  }
  // A name outside the tables does not exist on the page's object.
  EXPECT_FALSE(b.page.SimulateExternalCall("CB_Missing", {}));
  // A wrong count for the request method queues nothing.
  EXPECT_TRUE(
      b.page.SimulateExternalCall("CB_SendHttpRequest", {L"a", L"http://127.0.0.1:1/", L"5"}));
  EXPECT_EQ(0u, b.http->PendingCountForTesting());
}

TEST(ScriptBridge, ExternalOnlyForAllowedPages) {
  Bridge b;
  b.page.Navigate(L"http://elsewhere.example/html/Default.html");
  EXPECT_FALSE(b.page.SimulateExternalCall("CB_CloseAction", {}));
  b.page.Navigate(L"file:///opt/ombrix/htmlx/Default.html");
  EXPECT_FALSE(b.page.SimulateExternalCall("CB_CloseAction", {}));
  b.page.Navigate(L"file:///opt/ombrix/html/sub/page.html");
  EXPECT_TRUE(b.page.SimulateExternalCall("CB_CloseAction", {}));
  EXPECT_TRUE(uilib::UrlAllowed("http://site.example/a", {"http://site.example/"}));
  EXPECT_FALSE(uilib::UrlAllowed("http://site.example.evil/a", {"http://site.example/"}));
  EXPECT_EQ("file:///opt/a%20b/%E4%B8%AD/html", uilib::FileUrl("/opt/a b/中/html"));

  // Where a view kept on the local folder and the site goes.
  using uilib::NavigationVerdict;
  const std::vector<std::string> stay = {"file:///opt/ombrix/html/", "http://site.example/"};
  struct Row {
    uilib::NavigationRequest request;
    NavigationVerdict verdict;
  } rows[] = {
      {{"file:///opt/ombrix/html/Default.html?load=search", false, false, false},
       NavigationVerdict::kFollow},
      {{"http://site.example/Action/x.aspx", false, true, false}, NavigationVerdict::kFollow},
      {{"http://site.example/popup", true, true, false}, NavigationVerdict::kFollow},
      {{"about:blank", false, false, false}, NavigationVerdict::kFollow},
      {{"http://elsewhere.example/", false, true, false}, NavigationVerdict::kOpenElsewhere},
      {{"https://elsewhere.example/", true, true, false}, NavigationVerdict::kOpenElsewhere},
      {{"http://elsewhere.example/", false, false, true}, NavigationVerdict::kOpenElsewhere},
      {{"http://elsewhere.example/", false, false, false}, NavigationVerdict::kRefuse},
      {{"http://site.example.evil/", false, true, false}, NavigationVerdict::kOpenElsewhere},
      {{"file:///etc/passwd", false, true, false}, NavigationVerdict::kRefuse},
      {{"file:///opt/ombrix/htmlx/a.html", false, true, false}, NavigationVerdict::kRefuse},
      {{"javascript:alert(1)", false, true, false}, NavigationVerdict::kRefuse},
      {{"data:text/html,x", false, true, false}, NavigationVerdict::kRefuse},
      {{"ombrix-custom:run", false, true, false}, NavigationVerdict::kRefuse},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.verdict, uilib::DecideNavigation(row.request, stay)) << row.request.url;
  }
  EXPECT_EQ(NavigationVerdict::kFollow,
            uilib::DecideNavigation({"http://anywhere.example/", false, false, false}, {}));
}

TEST(ScriptBridge, TimeoutsAreHeldToSaneLimits) {
  EXPECT_EQ(30, JScriptExecuteHttp::ClampTimeout(L"30"));
  EXPECT_EQ(30, JScriptExecuteHttp::ClampTimeout(L"30.9"));
  EXPECT_EQ(1, JScriptExecuteHttp::ClampTimeout(L"0"));
  EXPECT_EQ(1, JScriptExecuteHttp::ClampTimeout(L"-5"));
  EXPECT_EQ(1, JScriptExecuteHttp::ClampTimeout(L"abc"));
  EXPECT_EQ(120, JScriptExecuteHttp::ClampTimeout(L"99999999999999999999"));
}

// The page's requests against the web stand-in: order, one result per
// message, gzip, clearing, duplicate ids, a refused connection and a page
// function that sends a new request while its result is delivered.
TEST(ScriptBridge, PageHttpRequestsRunInOrderAndClearDropsResults) {
  WebStandin web;
  ASSERT_TRUE(web.running());
  Bridge b({web.base_url(), "http://127.0.0.1:1"});
  std::wstring base = brx::util::Utf8ToWide(web.base_url());
  std::wstring date = base + L"/ClientInterface.axd?CommandName=GetServerDateTime";
  web.Fault("path=/slow&mode=slow&delay_ms=300&count=-1");

  ASSERT_TRUE(
      b.page.SimulateExternalCall("CB_SendHttpRequest", {L"a", base + L"/slow", L"10", L"onA"}));
  ASSERT_TRUE(b.page.SimulateExternalCall("CB_SendHttpRequest", {L"b", date, L"10", L"onB"}));
  ASSERT_TRUE(b.Deliver(1));
  ASSERT_EQ(1u, b.page.page_calls.size());
  EXPECT_EQ("onA", b.page.page_calls[0].name);
  EXPECT_EQ((std::vector<std::wstring>{L"a", L"not found", L"404", L"0"}),
            b.page.page_calls[0].args);
  ASSERT_TRUE(b.Deliver(2));
  ASSERT_EQ(2u, b.page.page_calls.size());
  const auto& second = b.page.page_calls[1];
  EXPECT_EQ("onB", second.name);
  EXPECT_EQ(L"b", second.args[0]);
  EXPECT_NE(std::wstring::npos, second.args[1].find(L"\"Status\": 0")) << second.args[1];
  EXPECT_EQ(L"200", second.args[2]);
  auto logged = web.RequestsTo("/ClientInterface.axd");
  ASSERT_EQ(1u, logged.size());
  EXPECT_EQ("POST", logged[0].method);
  EXPECT_EQ("gzip", logged[0].Param("zip"));
  EXPECT_EQ(0u, logged[0].body_length);

  // Cleared while running: that answer never reaches the page; the next
  // request still does.
  ASSERT_TRUE(b.page.SimulateExternalCall("CB_SendHttpRequest",
                                          {L"c", base + L"/slow?x=1", L"10", L"onC"}));
  ASSERT_TRUE(web.WaitForRequests("/slow", 2));
  ASSERT_TRUE(b.page.SimulateExternalCall("CB_ClearHttpRequest", {}));
  EXPECT_EQ(0u, b.http->PendingCountForTesting());
  ASSERT_TRUE(b.page.SimulateExternalCall("CB_SendHttpRequest", {L"d", date, L"10", L"onD"}));
  ASSERT_TRUE(b.Deliver(3));
  ASSERT_EQ(3u, b.page.page_calls.size());
  EXPECT_EQ("onD", b.page.page_calls[2].name);

  // The same id twice: each answer goes with its own request, in order.
  ASSERT_TRUE(
      b.page.SimulateExternalCall("CB_SendHttpRequest", {L"x", base + L"/slow", L"10", L"first"}));
  ASSERT_TRUE(b.page.SimulateExternalCall("CB_SendHttpRequest", {L"x", date, L"10", L"second"}));
  ASSERT_TRUE(b.Deliver(5));
  ASSERT_EQ(5u, b.page.page_calls.size());
  EXPECT_EQ("first", b.page.page_calls[3].name);
  EXPECT_EQ(L"404", b.page.page_calls[3].args[2]);
  EXPECT_EQ("second", b.page.page_calls[4].name);

  // Nobody listening: no status, an error number; and a page function
  // that sends again from inside its delivery.
  b.page.on_page_call = [&](const FakeBrowserHost::PageCall& call) {
    if (call.name == "refused")
      b.page.SimulateExternalCall("CB_SendHttpRequest", {L"again", date, L"5", L"again"});
  };
  ASSERT_TRUE(b.page.SimulateExternalCall("CB_SendHttpRequest",
                                          {L"r", L"http://127.0.0.1:1/", L"5", L"refused"}));
  ASSERT_TRUE(b.Deliver(6));
  ASSERT_EQ("refused", b.page.page_calls[5].name);
  EXPECT_EQ(L"", b.page.page_calls[5].args[1]);
  EXPECT_EQ(L"0", b.page.page_calls[5].args[2]);
  EXPECT_NE(L"0", b.page.page_calls[5].args[3]);
  ASSERT_TRUE(b.Deliver(7));
  EXPECT_EQ("again", b.page.page_calls[6].name);
  EXPECT_EQ(L"200", b.page.page_calls[6].args[2]);
}

// The page's requests go to the service only; anything else is refused
// before a byte goes out, and answered in its turn. A reply that trickles
// or swells is cut off, the page hears so, and the bridge thread serves
// the next request.
TEST(ScriptBridge, PageRequestsStayWithTheServiceAndAreCutOff) {
  WebStandin web;
  WebStandin other;  // another service on the same machine
  ASSERT_TRUE(web.running());
  ASSERT_TRUE(other.running());
  Bridge b({web.base_url()});
  std::wstring base = brx::util::Utf8ToWide(web.base_url());
  std::wstring date = base + L"/ClientInterface.axd?CommandName=GetServerDateTime";
  std::wstring elsewhere = brx::util::Utf8ToWide(other.base_url()) +
                           L"/ClientInterface.axd?CommandName=GetServerDateTime";
  std::wstring disguised = L"http://" + brx::util::Utf8ToWide(web.host()) + L"@" +
                           brx::util::Utf8ToWide(other.host()) + L"/ClientInterface.axd";
  std::vector<std::wstring> refused = {elsewhere, disguised, L"file:///etc/passwd",
                                       L"ftp://" + brx::util::Utf8ToWide(web.host()) + L"/",
                                       L"not an address"};
  int n = 0;
  for (const std::wstring& url : refused) {
    ASSERT_TRUE(b.page.SimulateExternalCall("CB_SendHttpRequest",
                                            {L"r" + std::to_wstring(n), url, L"5", L"onR"}));
    ++n;
  }
  ASSERT_TRUE(b.page.SimulateExternalCall("CB_SendHttpRequest", {L"ok", date, L"5", L"onOk"}));
  ASSERT_TRUE(b.Deliver(n + 1));
  ASSERT_EQ(static_cast<size_t>(n + 1), b.page.page_calls.size());
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(brx::util::WideToUtf8(refused[i]));
    EXPECT_EQ((std::vector<std::wstring>{L"r" + std::to_wstring(i), L"", L"0", L"5"}),
              b.page.page_calls[i].args);
  }
  EXPECT_EQ(L"200", b.page.page_calls[n].args[2]);
  EXPECT_TRUE(other.Requests().empty());

  // Trickling: one byte every 100 ms would keep an idle limit happy for
  // ever; the request's own time is up after its 2 seconds.
  web.Fault("path=/trickle&mode=trickle&interval_ms=100&hold_ms=60000");
  ASSERT_TRUE(
      b.page.SimulateExternalCall("CB_SendHttpRequest", {L"t", base + L"/trickle", L"2", L"onT"}));
  ASSERT_TRUE(b.Deliver(n + 2));
  EXPECT_EQ((std::vector<std::wstring>{L"t", L"", L"0", L"28"}), b.page.page_calls.back().args);

  // Swelling: a small compressed reply that inflates past the limit, and
  // the same uncompressed.
  web.Fault("path=/huge&mode=huge&size=8000000&count=2");
  ASSERT_TRUE(
      b.page.SimulateExternalCall("CB_SendHttpRequest", {L"z", base + L"/huge", L"10", L"onZ"}));
  ASSERT_TRUE(b.Deliver(n + 3));
  EXPECT_EQ((std::vector<std::wstring>{L"z", L"", L"0", L"63"}), b.page.page_calls.back().args);
  web.Control("settings", "gzip=0");
  ASSERT_TRUE(
      b.page.SimulateExternalCall("CB_SendHttpRequest", {L"h", base + L"/huge", L"10", L"onH"}));
  ASSERT_TRUE(b.Deliver(n + 4));
  EXPECT_EQ((std::vector<std::wstring>{L"h", L"", L"0", L"63"}), b.page.page_calls.back().args);

  ASSERT_TRUE(b.page.SimulateExternalCall("CB_SendHttpRequest", {L"next", date, L"5", L"onNext"}));
  ASSERT_TRUE(b.Deliver(n + 5));
  EXPECT_EQ(L"200", b.page.page_calls.back().args[2]);
}

TEST(ScriptBridge, DispatchGoesAwayWhileARequestHangs) {
  WebStandin web;
  ASSERT_TRUE(web.running());
  web.Fault("path=/hang&mode=timeout&hold_ms=60000");
  auto b = std::make_unique<Bridge>(std::vector<std::string>{web.base_url()});
  ASSERT_TRUE(b->page.SimulateExternalCall(
      "CB_SendHttpRequest",
      {L"h", brx::util::Utf8ToWide(web.base_url()) + L"/hang", L"120", L"cb"}));
  ASSERT_TRUE(web.WaitForRequests("/hang"));
  b.reset();  // must not wait for the server's answer
}

}  // namespace
}  // namespace ombrix::test
