#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/core/event_ids.h"
#include "client/core/message_ids.h"
#include "client/core/web_events.h"
#include "client/ui/controls/ob_list_ui.h"
#include "client/ui/controls/ob_pic_button_ui.h"
#include "client/ui/frame/list_users_json.h"
#include "client/ui/frame/ob_frame_wnd.h"
#include "client/ui/frame/origin_image_name.h"
#include "client/ui/picture/picture_item.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/fake_browser_host.h"
#include "tests/client/ui/fake_frame_services.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/win_api.h"

namespace ombrix::test {
namespace {

const FromHandle kFrame{FromHandle::kClient, 0};
const FromHandle kGame{FromHandle::kGameClient, 3};

struct FrameFixture {
  FakeFrameServices services;
  ControlContext context;
  FakeBrowserHost* page = nullptr;
  int browsers_made = 0;
  std::unique_ptr<COBFrameWnd> frame;
  uilib::CRichEditUI* editor = nullptr;
  uilib::CControlUI* commit = nullptr;

  // `signed_in`: a sign-in has shown the frame and its page has loaded.
  explicit FrameFixture(bool signed_in = true) {
    UseHeadlessBackend();
    // Relative, as the client names it ("OBSkin/<game>" below the program
    // folder it runs in).
    context.skin_folder = std::filesystem::relative(std::filesystem::path(DefaultSkin())).wstring();
    context.events = &services.events;
    frame = std::make_unique<COBFrameWnd>(
        &services, &context,
        [this](uilib::HWND, const uilib::RECT&) -> std::unique_ptr<uilib::BrowserHost> {
          ++browsers_made;
          auto host = std::make_unique<FakeBrowserHost>();
          if (page == nullptr) page = host.get();  // the first is the main page
          return host;
        });
    EXPECT_NE(0u, frame->Create(0, L"Ombrix", 0x00CF0000, 0, 0, 0, 300, 650));
    editor = dynamic_cast<uilib::CRichEditUI*>(frame->paint_manager().FindControl(L"txtrich"));
    commit = frame->paint_manager().FindControl(L"commitbtn");
    if (!signed_in) return;
    frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kVisible);
    PageLoads();
  }
  // The main page finishes loading and says so.
  void PageLoads() {
    ASSERT_NE(nullptr, page);
    page->FinishLoad(L"Ombrix default");
    page->SimulateExternalCall("CB_OnLoad", {L"", L"default"});
  }
  bool Shown(const wchar_t* name) {
    return frame->paint_manager().FindControl(name)->IsOwnVisible();
  }
  void Type(const std::wstring& text) {
    editor->SetText(text);
    frame->RefreshCommitButton();
  }
  std::wstring Status() { return frame->paint_manager().FindControl(L"topicnum")->GetText(); }
  void Shot(const std::wstring& path) {
    PictureItem shot{0, path, L"", L"g7"};
    uilib::SendMessage(*frame, ombrix::messages::kScreenshotChosen, 0,
                       reinterpret_cast<uilib::LPARAM>(&shot));
  }
  void UploadDone(const std::wstring& file, bool ok, const FromHandle& from = kFrame) {
    payload::SEVENT_RESPONSE_Upload reply(from, L"", ok, file, ok ? L"http://img/" + file : L"");
    services.events.FireEvent(&reply);
  }
  void BlogDone(bool ok, const FromHandle& from = kFrame) {
    payload::SEVENT_RESPONSE_Addblog reply(from, L"{\"Status\":0}", ok);
    services.events.FireEvent(&reply);
  }
  bool Attached() {
    return dynamic_cast<COBPicButtonUI*>(frame->paint_manager().FindControl(L"insertpicbtn"))
        ->IsAttached();
  }
};

TEST(FrameWnd, CommitButtonAndTopicRules) {
  FrameFixture f;
  ASSERT_NE(nullptr, f.editor);
  ASSERT_NE(nullptr, f.commit);
  struct Row {
    std::wstring text;
    bool enabled;
  } rows[] = {{L"", false},
              {L"   ", false},
              {L" \u3000 ", false},
              {L" a", true},
              {std::wstring(140, L'x'), true},
              {std::wstring(141, L'x'), false}};
  for (const Row& row : rows) {
    f.Type(row.text);
    EXPECT_EQ(row.enabled, f.commit->IsEnabled()) << row.text.size();
  }
  // The topic goes in once, its inner text selected; left as it is, the
  // post is refused with a warning.
  f.Type(L"");
  uilib::PumpPendingMessages();
  ASSERT_TRUE(uilib::test_driver::Click(f.frame->paint_manager(), L"topicbtn"));
  ASSERT_TRUE(uilib::test_driver::Click(f.frame->paint_manager(), L"topicbtn"));
  EXPECT_EQ(L"#请在这里输入自定义话题#", f.editor->GetText());
  EXPECT_EQ(L"请在这里输入自定义话题", f.editor->GetSelText());
  ASSERT_TRUE(f.commit->IsEnabled());
  uilib::test_driver::PressKey(*f.frame, uilib::VK_RETURN);
  EXPECT_TRUE(f.services.blogs.empty());
  EXPECT_EQ(L"请修改自定义话题！", f.Status());
}

// The post with a screenshot, its answers and each way they can go wrong.
TEST(FrameWnd, PostingWithAScreenshot) {
  FrameFixture f;
  f.Type(L"hello");
  f.Shot(L"/shots/1.png");
  ASSERT_EQ(1u, f.services.uploads.size());
  EXPECT_EQ((std::vector<std::wstring>{L"/shots/1.png", L"20000"}), f.services.uploads[0]);
  EXPECT_TRUE(f.frame->uploading());
  EXPECT_FALSE(f.commit->IsEnabled());
  // A second screenshot while the first is still uploading: the first
  // answer is not taken for the second picture.
  f.Shot(L"/shots/2.png");
  f.UploadDone(L"/shots/1.png", true);
  EXPECT_TRUE(f.frame->uploading());
  EXPECT_EQ(L"", f.frame->uploaded_image());
  f.UploadDone(L"/shots/2.png", true, kGame);  // another origin's upload
  EXPECT_TRUE(f.frame->uploading());
  f.UploadDone(L"/shots/2.png", true);
  EXPECT_FALSE(f.frame->uploading());
  ASSERT_TRUE(f.commit->IsEnabled());

  // Enter posts once; again while the post is out does nothing.
  uilib::test_driver::PressKey(*f.frame, uilib::VK_RETURN);
  uilib::test_driver::PressKey(*f.frame, uilib::VK_RETURN);
  ASSERT_EQ(1u, f.services.blogs.size());
  EXPECT_EQ((std::vector<std::wstring>{L"hello", L"http://img//shots/2.png", L"", L"Game g7"}),
            f.services.blogs[0]);
  EXPECT_TRUE(f.frame->posting());
  EXPECT_EQ(L"发布中...", f.Status());

  // A failure: the page is told, the button works again, and the retry
  // still carries the picture.
  f.BlogDone(false);
  EXPECT_FALSE(f.frame->posting());
  EXPECT_TRUE(f.commit->IsEnabled());
  EXPECT_EQ(1u, f.page->CallsOf("Other_ShowMessage").size());
  uilib::test_driver::PressKey(*f.frame, uilib::VK_RETURN);
  ASSERT_EQ(2u, f.services.blogs.size());
  EXPECT_EQ(f.services.blogs[0], f.services.blogs[1]);

  // A game's post succeeding meanwhile leaves the user's post alone but
  // reaches the page.
  f.BlogDone(true, kGame);
  EXPECT_TRUE(f.frame->posting());
  EXPECT_EQ(L"hello", f.editor->GetText());
  EXPECT_TRUE(f.Attached());
  EXPECT_EQ(1u, f.page->CallsOf("Blog_InsertSingle").size());

  // Our answer while the page shows the web site: the frame still settles.
  uilib::test_driver::Click(f.frame->paint_manager(), L"eventbtn");
  EXPECT_EQ(L"http://site.example/Action/MiniIndex_other.aspx?sessionid=s1",
            f.page->navigations.back());
  f.page->FinishLoad(L"活动");
  f.BlogDone(true);
  EXPECT_FALSE(f.frame->posting());
  EXPECT_EQ(L"", f.editor->GetText());
  EXPECT_FALSE(f.Attached());
  EXPECT_EQ(L"", f.frame->uploaded_image());
  EXPECT_EQ(L"发布成功", f.Status());
  EXPECT_EQ(1u, f.page->CallsOf("Blog_InsertSingle").size());
  EXPECT_FALSE(f.commit->IsEnabled());

  // A failed upload takes the picture off instead of posting without it.
  f.Shot(L"/shots/3.png");
  f.UploadDone(L"/shots/3.png", false);
  EXPECT_FALSE(f.Attached());
  EXPECT_FALSE(f.frame->uploading());
  EXPECT_FALSE(f.commit->IsEnabled());
  EXPECT_EQ(L"图片上传失败，请重新选择截图", f.Status());

  // Requests that cannot go out leave no flag behind.
  f.services.accept_requests = false;
  f.Shot(L"/shots/4.png");
  EXPECT_FALSE(f.frame->uploading());
  EXPECT_FALSE(f.Attached());
  f.Type(L"text only");
  uilib::test_driver::PressKey(*f.frame, uilib::VK_RETURN);
  EXPECT_FALSE(f.frame->posting());
  EXPECT_TRUE(f.commit->IsEnabled());
}

TEST(FrameWnd, GuestPostResumesAfterSignIn) {
  FrameFixture f;
  f.frame->ShowAfterSignIn(SignInState::kGuest, LoginStood::kVisible);
  EXPECT_EQ(1u, f.page->CallsOf("RandomLook").size());
  EXPECT_FALSE(f.frame->paint_manager().FindControl(L"confbtn")->IsEnabled());
  f.Type(L"from a guest");
  uilib::test_driver::PressKey(*f.frame, uilib::VK_RETURN);
  EXPECT_TRUE(f.services.blogs.empty());
  EXPECT_EQ(L"sign in: 登录后继续刚才的操作!", f.services.log.back());
  f.frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kVisible);
  ASSERT_EQ(1u, f.services.blogs.size());
  EXPECT_EQ(L"from a guest", f.services.blogs[0][0]);
  // Posting is no reminder: only the user button asks to come back to one.
  EXPECT_TRUE(f.page->CallsOf("RemindShow").empty());
  EXPECT_TRUE(f.frame->paint_manager().FindControl(L"confbtn")->IsEnabled());
}

// Client events become page calls; the page's callbacks act on the frame.
TEST(FrameWnd, EventsAndPageCallbacks) {
  FrameFixture f;
  FakeBrowserHost& page = *f.page;
  EXPECT_EQ(1u, page.navigations.size());
  EXPECT_NE(std::wstring::npos, page.navigations[0].find(L"/html/Default.html"));
  ASSERT_TRUE(page.SimulateExternalCall("CB_OnLoad", {L"", L"default"}));
  EXPECT_EQ(L"http://127.0.0.1:9/ClientInterface.axd",
            page.CallsOf("Config_UrlPrompt").back().args[0]);
  EXPECT_EQ(L"1001", page.CallsOf("User_SetCurrentUserID").back().args[0]);
  EXPECT_EQ(L"false", page.CallsOf("GetKnow").back().args[0]);
  ASSERT_TRUE(page.SimulateExternalCall("CB_SetKnow", {L"true"}));
  EXPECT_EQ(L"1", f.services.config[L"root.user.knowstatus"]);

  payload::SEVENT_RESPONSE_UserLogin login(kFrame, L"{\"login\":1}", true, L"demo", false);
  f.services.events.FireEvent(&login);
  EXPECT_EQ(L"{\"login\":1}", page.CallsOf("UserLogin").back().args[0]);
  EXPECT_EQ(0x9D, uilib::GetWindowIconId(*f.frame, true));
  payload::SEVENT_RESPONSE_GetDataPrompt prompt(kFrame, L"{\"n\":2}");
  f.services.events.FireEvent(&prompt);
  EXPECT_EQ(1u, page.CallsOf("Notify_DataPrompt").size());
  payload::SEVENT_RESPONSE_UserLogout logout;
  f.services.events.FireEvent(&logout);
  EXPECT_EQ(1u, page.CallsOf("UserLogout").size());

  // The site's pages use the bridge too; back on the default page the
  // sign-in is replayed.
  uilib::test_driver::Click(f.frame->paint_manager(), L"eventbtn");
  page.FinishLoad(L"活动");
  ASSERT_TRUE(page.SimulateExternalCall("CB_CloseAction", {}));
  EXPECT_EQ(f.frame->LocalPageUrl(), page.navigations.back());
  page.FinishLoad(L"Ombrix default");
  ASSERT_TRUE(page.SimulateExternalCall("CB_OnLoad", {L"", L"default"}));
  EXPECT_EQ(2u, page.CallsOf("UserLogin").size());
  EXPECT_FALSE(f.frame->site_shown());
  ASSERT_TRUE(page.SimulateExternalCall("CB_ResetFansCount", {}));
  EXPECT_EQ(L"reset15", f.services.log.back());

  // The search view gives the page the whole window; the page brings the
  // normal view back. A new-items prompt shows a hidden frame.
  auto& pm = f.frame->paint_manager();
  int height = pm.FindControl(L"IEContainer")->GetFixedHeight();
  uilib::test_driver::Click(pm, L"lookForbtn");
  EXPECT_EQ(L"load_search", page.CallsOf("Notify_ShowPage").back().args[0]);
  EXPECT_FALSE(pm.FindControl(L"BottomContainer")->IsOwnVisible());
  EXPECT_EQ(626, pm.FindControl(L"IEContainer")->GetFixedHeight());
  ASSERT_TRUE(page.SimulateExternalCall("CB_ShowFrameNormal", {}));
  EXPECT_EQ(L"load_default", page.CallsOf("Notify_ShowPage").back().args[0]);
  EXPECT_TRUE(pm.FindControl(L"BottomContainer")->IsOwnVisible());
  EXPECT_EQ(height, pm.FindControl(L"IEContainer")->GetFixedHeight());
  uilib::ShowWindow(*f.frame, uilib::SW_HIDE);
  f.frame->ShowRemind(L"3");
  EXPECT_TRUE(uilib::IsWindowVisible(*f.frame));
  EXPECT_EQ(L"3", page.CallsOf("RemindShow").back().args[0]);

  // Signing out (the local page asks to switch the user): after the page
  // is cleared, a later load replays nothing, also after a visit to the
  // site.
  ASSERT_TRUE(page.SimulateExternalCall("CB_UserLogin", {}));
  EXPECT_EQ((std::vector<std::wstring>{L"logout", L"login window"}),
            std::vector<std::wstring>(f.services.log.end() - 2, f.services.log.end()));
  EXPECT_EQ(1u, page.CallsOf("Other_ClearState").size());
  EXPECT_FALSE(uilib::IsWindowVisible(*f.frame));
  EXPECT_EQ(SignInState::kSignedOut, f.frame->sign_in_state());
  uilib::test_driver::Click(f.frame->paint_manager(), L"eventbtn");
  ASSERT_TRUE(page.SimulateExternalCall("CB_CloseAction", {}));
  page.FinishLoad(L"Ombrix default");
  page.SimulateExternalCall("CB_OnLoad", {L"", L"default"});
  EXPECT_EQ(2u, page.CallsOf("UserLogin").size());
}

// What the user's sign-in and the user's own actions reach: the local page
// gets the sign-in (never the cipher password) and may act for the user;
// the service's site gets its load notice and its close button and
// nothing else, even when events arrive while it is shown; links and
// redirects elsewhere go to the user's web browser and the view stays.
TEST(FrameWnd, TheSiteAndForeignPagesGetNothingOfTheUser) {
  FrameFixture f;
  FakeBrowserHost& page = *f.page;
  const std::wstring reply =
      LR"({"Status":0,"Data":{"SessionID":"sess-1","CipherPassword":"cipher-9","UserAccount":{"UserAccountId":1001}}})";
  payload::SEVENT_RESPONSE_UserLogin login(kFrame, reply, true, L"demo", false);
  f.services.events.FireEvent(&login);
  payload::SEVENT_RESPONSE_UserLoginByTicket ticket(kFrame, reply, true, L"demo", false);
  f.services.events.FireEvent(&ticket);
  ASSERT_EQ(2u, page.CallsOf("UserLogin").size());
  for (const auto& call : page.CallsOf("UserLogin")) {
    EXPECT_NE(std::wstring::npos, call.args.at(0).find(L"sess-1"));
    EXPECT_EQ(std::wstring::npos, call.args.at(0).find(L"cipher-9"));
    EXPECT_EQ(std::wstring::npos, call.args.at(0).find(L"CipherPassword"));
  }
  EXPECT_TRUE(page.SimulateExternalCall("CB_SetKnow", {L"true"}));
  EXPECT_EQ(L"1", f.services.config[L"root.user.knowstatus"]);

  // The site.
  uilib::test_driver::Click(f.frame->paint_manager(), L"eventbtn");
  page.FinishLoad(L"活动");
  const size_t calls = page.page_calls.size();
  const size_t log = f.services.log.size();
  EXPECT_TRUE(page.SimulateExternalCall("CB_OnLoad", {L"", L"default"}));
  const std::vector<std::pair<std::string, std::vector<std::wstring>>> privileged = {
      {"CB_UserLogin", {}},
      {"CB_UserLogout", {}},
      {"CB_SendHttpRequest", {L"a", L"http://127.0.0.1:9/ClientInterface.axd", L"5", L"cb"}},
      {"CB_ClearHttpRequest", {}},
      {"CB_GetOriginImage", {L"http://img/big.jpg"}},
      {"CB_SetKnow", {L"false"}},
      {"CB_ResetFansCount", {}},
      {"CB_ShowMiniUserInfoDlg", {L"show", L"0", L"{}"}},
      {"CB_ShowFrameNormal", {}}};
  for (const auto& [name, args] : privileged)
    EXPECT_FALSE(page.SimulateExternalCall(name, args)) << name;
  f.services.events.FireEvent(&login);
  payload::SEVENT_RESPONSE_GetDataPrompt prompt(kFrame, L"{\"n\":2}");
  f.services.events.FireEvent(&prompt);
  f.frame->ShowRemind(L"3");
  EXPECT_EQ(calls, page.page_calls.size()) << page.page_calls.back().name;
  EXPECT_FALSE(page.refused_calls.empty());
  EXPECT_EQ(log, f.services.log.size());
  EXPECT_TRUE(f.services.downloads.empty());
  EXPECT_EQ(L"1", f.services.config[L"root.user.knowstatus"]);
  EXPECT_TRUE(f.frame->site_shown());

  // Elsewhere: to the user's browser, the view stays.
  EXPECT_EQ(uilib::NavigationVerdict::kOpenElsewhere,
            page.SimulateLinkClick("http://elsewhere.example/page"));
  EXPECT_EQ(uilib::NavigationVerdict::kOpenElsewhere,
            page.SimulateRedirect("https://elsewhere.example/r"));
  EXPECT_EQ(uilib::NavigationVerdict::kRefuse, page.SimulateLinkClick("file:///etc/passwd"));
  EXPECT_EQ(
      (std::vector<std::string>{"http://elsewhere.example/page", "https://elsewhere.example/r"}),
      f.services.web_browser);
  EXPECT_EQ(uilib::NavigationVerdict::kFollow,
            page.SimulateLinkClick("http://site.example/Action/Other.aspx"));

  // Closed, back on the local page: the sign-in comes again, still
  // without the cipher password.
  EXPECT_TRUE(page.SimulateExternalCall("CB_CloseAction", {}));
  EXPECT_EQ(f.frame->LocalPageUrl(), page.navigations.back());
  page.FinishLoad(L"Ombrix default");
  EXPECT_TRUE(page.SimulateExternalCall("CB_OnLoad", {L"", L"default"}));
  ASSERT_EQ(3u, page.CallsOf("UserLogin").size());
  EXPECT_EQ(std::wstring::npos, page.CallsOf("UserLogin").back().args.at(0).find(L"cipher-9"));
  EXPECT_FALSE(f.frame->site_shown());
  EXPECT_TRUE(page.SimulateExternalCall("CB_ResetFansCount", {}));
}

// Until a sign-in shows the main window, the client carries no web
// engine: the page and the card's page are made then, and what the page
// was to be told meanwhile reaches it once it has loaded.
TEST(FrameWnd, ThePageIsMadeWhenTheWindowIsFirstShown) {
  FrameFixture f(false);
  EXPECT_EQ(0, f.browsers_made);
  payload::SEVENT_RESPONSE_UserLogin login(kFrame, L"{\"login\":1}", true, L"demo", false);
  f.services.events.FireEvent(&login);
  f.frame->ShowRemind(L"1");
  EXPECT_EQ(0, f.browsers_made);
  EXPECT_EQ(nullptr, f.frame->browser());

  f.frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kVisible);
  ASSERT_NE(nullptr, f.page);
  EXPECT_EQ(2, f.browsers_made);  // the main page and the card's
  EXPECT_TRUE(f.page->page_calls.empty());
  f.PageLoads();
  ASSERT_EQ(1u, f.page->CallsOf("UserLogin").size());
  EXPECT_EQ(L"{\"login\":1}", f.page->CallsOf("UserLogin")[0].args[0]);
  EXPECT_EQ(1u, f.page->CallsOf("GetKnow").size());
  EXPECT_EQ(1u, f.page->CallsOf("User_SetCurrentUserID").size());
  // Shown again later: nothing more is made.
  uilib::ShowWindow(*f.frame, uilib::SW_HIDE);
  uilib::ShowWindow(*f.frame, uilib::SW_SHOW);
  EXPECT_EQ(2, f.browsers_made);

  // Shown before any sign-in (a hidden start, then the window itself).
  FrameFixture g(false);
  uilib::ShowWindow(*g.frame, uilib::SW_SHOW);
  EXPECT_EQ(2, g.browsers_made);
}

// The reminders, the layouts and the editor as the main window's steps
// have them.
TEST(FrameWnd, RemindersLayoutsAndTheEditor) {
  FrameFixture f;
  FakeBrowserHost& page = *f.page;
  auto& pm = f.frame->paint_manager();
  // A reminder shows a hidden frame only when no game covers the screen
  // and the login window has handed over.
  uilib::ShowWindow(*f.frame, uilib::SW_HIDE);
  uilib::HeadlessBackend::Current()->SetOtherProgramFullScreenForTesting(true);
  f.frame->ShowRemind(L"4");
  EXPECT_FALSE(uilib::IsWindowVisible(*f.frame));
  uilib::HeadlessBackend::Current()->SetOtherProgramFullScreenForTesting(false);
  f.services.login_finished = false;
  f.frame->ShowRemind(L"4");
  EXPECT_FALSE(uilib::IsWindowVisible(*f.frame));
  f.services.login_finished = true;
  f.frame->ShowRemind(L"4");
  EXPECT_TRUE(uilib::IsWindowVisible(*f.frame));
  EXPECT_EQ(3u, page.CallsOf("RemindShow").size());

  // A guest asked to sign in by the user button comes back to the
  // reminder, through the frame's own path: a hidden frame shows.
  f.frame->ShowAfterSignIn(SignInState::kGuest, LoginStood::kVisible);
  uilib::test_driver::Click(pm, L"userbtn");  // disabled for guests: nothing
  EXPECT_EQ(L"", f.services.log.empty() ? L"" : f.services.log.back());
  f.frame->HideAndSignOut();
  ASSERT_TRUE(pm.FindControl(L"userbtn")->IsEnabled());
  uilib::test_driver::Click(pm, L"userbtn");
  f.frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kHidden);
  EXPECT_TRUE(uilib::IsWindowVisible(*f.frame));
  EXPECT_EQ(L"4", page.CallsOf("RemindShow").back().args[0]);
  EXPECT_EQ(4u, page.CallsOf("RemindShow").size());
  // Pressing the user button is no post: a typed draft stays unsent.
  EXPECT_TRUE(f.services.blogs.empty());

  // Back from the search layout: the normal layout, the editor focused.
  pm.FindControl(L"LayoutNormal")->SetVisible(false);
  pm.FindControl(L"LayoutSearchFriend")->SetVisible(true);
  pm.SetFocus(nullptr);
  size_t know = page.CallsOf("GetKnow").size();
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"goBack"));
  EXPECT_FALSE(f.Shown(L"LayoutSearchFriend"));
  EXPECT_TRUE(f.Shown(L"LayoutNormal"));
  EXPECT_EQ(f.editor, pm.GetFocus());
  EXPECT_EQ(know + 1, page.CallsOf("GetKnow").size());
  pm.FindControl(L"LayoutNormal")->SetVisible(false);
  pm.FindControl(L"LayoutFriendsList")->SetVisible(true);
  pm.SetFocus(nullptr);
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"goToOmbrix"));
  EXPECT_FALSE(f.Shown(L"LayoutFriendsList"));
  EXPECT_TRUE(f.Shown(L"LayoutNormal"));
  EXPECT_EQ(f.editor, pm.GetFocus());

  // The search view: the page fills the window over the skin's search
  // picture; the page brings the normal view back.
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"lookForbtn"));
  std::wstring background = pm.FindControl(L"OBFrameContainer")->GetBkImage();
  EXPECT_TRUE(std::filesystem::is_regular_file(pm.ResolvePath(background)))
      << pm.ResolvePath(background);
  EXPECT_TRUE(f.Shown(L"LayoutNormal"));
  pm.SetFocus(nullptr);
  ASSERT_TRUE(page.SimulateExternalCall("CB_ShowFrameNormal", {}));
  EXPECT_EQ(f.editor, pm.GetFocus());
  EXPECT_TRUE(f.Shown(L"LayoutNormal"));

  // Typing shows what is left of the post's length beside the editor;
  // the tips go with a post.
  pm.FindControl(L"recommend_tip_1")->SetVisible(true);
  ASSERT_TRUE(uilib::test_driver::TypeInto(pm, L"txtrich", L"你好"));
  EXPECT_NE(std::wstring::npos, f.Status().find(L"138")) << f.Status();
  pm.FindControl(L"recommend_tip_1")->SetVisible(true);
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"commitbtn"));
  ASSERT_EQ(1u, f.services.blogs.size());
  EXPECT_FALSE(f.Shown(L"recommend_tip_1"));
}

TEST(FrameWnd, OriginalPicturesOpenOnlyWhenAskedFor) {
  EXPECT_EQ(L"a.jpg", OriginImageFileName(L"http://h/x/a.jpg"));
  EXPECT_EQ(L"b.jpg.jpg", OriginImageFileName(L"http://h/b.jpg.jpg?x"));
  EXPECT_EQ(L"temp.jpg", OriginImageFileName(L"http://h/a.png"));
  EXPECT_EQ(L"temp.jpg", OriginImageFileName(L"nojpgslash"));
  EXPECT_EQ(L"temp.jpg", OriginImageFileName(L"http://h/..\\..\\evil.jpg"));
  EXPECT_EQ(L"temp.jpg", OriginImageFileName(L"http://h/c:evil.jpg"));
  EXPECT_EQ(L"temp.jpg", OriginImageFileName(L"http://h/a\nb.jpg"));

  FrameFixture f;
  ASSERT_TRUE(f.page->SimulateExternalCall("CB_GetOriginImage", {L"http://img/big.jpg"}));
  ASSERT_EQ(1u, f.services.downloads.size());
  std::wstring file = f.services.downloads[0][1];
  EXPECT_EQ(
      std::filesystem::path(f.services.ProgramDir()) / L"Users" / L"demo" / L"Cache" / L"big.jpg",
      std::filesystem::path(file));
  // A list's head image arriving the same way is not opened.
  payload::SEVENT_RESPONSE_GameDownloadFile head(FromHandle{}, true, L"http://img/head.jpg",
                                                 L"/tmp/head.jpg");
  f.services.events.FireEvent(&head);
  EXPECT_TRUE(f.services.opened.empty());
  payload::SEVENT_RESPONSE_GameDownloadFile done(FromHandle{}, true, L"http://img/big.jpg", file);
  f.services.events.FireEvent(&done);
  f.services.events.FireEvent(&done);
  EXPECT_EQ((std::vector<std::wstring>{file}), f.services.opened);
  // Cached already: opened at once.
  WriteFile(std::filesystem::path(file).string(), "jpg");
  ASSERT_TRUE(f.page->SimulateExternalCall("CB_GetOriginImage", {L"http://img/big.jpg"}));
  EXPECT_EQ(2u, f.services.opened.size());
  EXPECT_EQ(1u, f.services.downloads.size());
}

TEST(FrameWnd, TheCardAndTheBridgeGoBeforeTheFrame) {
  FrameFixture f;
  // The card asks through the main page's bridge.
  ASSERT_TRUE(f.page->SimulateExternalCall("CB_ShowMiniUserInfoDlg", {L"show", L"0", L"{}"}));
  EXPECT_TRUE(f.frame->card()->pinned());
  uilib::test_driver::Click(f.frame->paint_manager(), L"closebtn");
  EXPECT_FALSE(uilib::IsWindowVisible(*f.frame));
  EXPECT_FALSE(f.frame->card()->pinned());
  bool closed_with_dispatch_alive = false;
  f.page->on_close = [&] {
    closed_with_dispatch_alive = f.page->SimulateExternalCall("CB_SetKnow", {L"true"});
  };
  f.frame.reset();
  EXPECT_TRUE(closed_with_dispatch_alive);
}

TEST(FrameWnd, ListsFromReplies) {
  std::vector<OBListRecord> users;
  ASSERT_TRUE(
      ParseListUsers(LR"([{"UserAccountId":1001,"NickName":"me"},
           {"UserAccountId":"7","NickName":"好友","HeadImageUrl":"http://h/7.jpg","ProfileName":"Hero","IsCertificated":1},
           {"UserAccountId":8,"NickName":"plain"}])",
                     L"1001", &users));
  ASSERT_EQ(2u, users.size());
  EXPECT_EQ(L"7", users[0].account);
  EXPECT_EQ(L"好友", users[0].nickname);
  EXPECT_EQ(L"http://h/7.jpg", users[0].head_image);
  EXPECT_EQ(L"Hero", users[0].role_name);
  EXPECT_TRUE(users[0].verified);
  EXPECT_EQ(L"8", users[1].account);
  EXPECT_FALSE(users[1].verified);
  EXPECT_FALSE(ParseListUsers(LR"([{"UserAccountId":7}])", L"1", &users));
  EXPECT_FALSE(ParseListUsers(LR"([{"NickName":"x"}])", L"1", &users));
  EXPECT_FALSE(ParseListUsers(LR"({"UserAccountId":7,"NickName":"x"})", L"1", &users));
  EXPECT_TRUE(ParseListUsers(L"[]", L"1", &users));
  EXPECT_TRUE(users.empty());

  FrameFixture f;
  auto& pm = f.frame->paint_manager();
  auto* search = dynamic_cast<COBListUI*>(pm.FindControl(L"LayoutSearchFriend_oblist"));
  auto* friends = dynamic_cast<COBListUI*>(pm.FindControl(L"LayoutFriendsList_oblist"));
  ASSERT_NE(nullptr, search);
  ASSERT_NE(nullptr, friends);
  payload::SEVENT_RESPONSE_SearchByNickAndProfile found(
      kFrame, L"", true,
      LR"([{"UserAccountId":"1001","NickName":"me"},{"UserAccountId":"9","NickName":"n"}])");
  f.services.events.FireEvent(&found);
  EXPECT_EQ(1, search->user_count());
  EXPECT_TRUE(pm.FindControl(L"LayoutSearchFriend_searchresult")->IsOwnVisible());
  EXPECT_FALSE(pm.FindControl(L"LayoutSearchFriend_NoResults")->IsOwnVisible());
  payload::SEVENT_RESPONSE_SearchByNickAndProfile only_me(
      kFrame, L"", true, LR"([{"UserAccountId":1001,"NickName":"me"}])");
  f.services.events.FireEvent(&only_me);
  EXPECT_EQ(0, search->user_count());
  EXPECT_FALSE(pm.FindControl(L"LayoutSearchFriend_searchresult")->IsOwnVisible());
  EXPECT_TRUE(pm.FindControl(L"LayoutSearchFriend_NoResults")->IsOwnVisible());

  payload::SEVENT_RESPONSE_GetWYGameUserFriend good(kFrame, L"", true,
                                                    LR"([{"UserAccountId":5,"NickName":"a"}])");
  f.services.events.FireEvent(&good);
  EXPECT_EQ(1, friends->user_count());
  payload::SEVENT_RESPONSE_GetWYGameUserFriend broken(
      kFrame, L"", true, LR"([{"UserAccountId":5,"NickName":"a"},{"UserAccountId":6}])");
  f.services.events.FireEvent(&broken);
  EXPECT_EQ(0, friends->user_count());
}

}  // namespace
}  // namespace ombrix::test
