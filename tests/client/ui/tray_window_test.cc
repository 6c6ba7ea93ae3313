#include <gtest/gtest.h>

#include "client/core/event_ids.h"
#include "client/core/system_config.h"
#include "client/core/ui_string_table.h"
#include "client/core/web_events.h"
#include "client/ui/tray/ob_prompt_dialog.h"
#include "client/ui/tray/ob_wnd_tray.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/notify_icon.h"
#include "uilib/winsys/popup_menu.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace ombrix::test {
namespace {

class FakeUser : public SignedOutWebUser {
 public:
  bool IsLoggedIn() const override { return signed_in; }
  const UserAccountRecord& record() const override {
    record_.NickName = nick;
    return record_;
  }
  int32_t new_mirror_blog_count() const override { return diary; }
  int32_t new_about_user_count() const override { return mentions; }
  int32_t new_message_count() const override { return messages; }
  int32_t new_fans_count() const override { return fans; }

  bool signed_in = false;
  std::wstring nick;
  int diary = 0, mentions = 0, messages = 0, fans = 0;

 private:
  mutable UserAccountRecord record_;
};

class FakeTrayFrame : public ITrayFrame {
 public:
  HWND GetFrameHwnd() const override { return hwnd; }
  SignInState GetSignInState() const override { return sign_in_state; }
  void StartDelayedCheck() override { calls.push_back(L"check"); }
  void ShowSettings() override { calls.push_back(L"settings"); }
  void ShowRemind(const std::wstring& which) override { calls.push_back(L"remind" + which); }

  HWND hwnd = 0;
  SignInState sign_in_state = SignInState::kNotYet;
  std::vector<std::wstring> calls;
};

class TrayWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessBackend();
    UIStringTable::Build(2052);
    OBWndTray::RegisterMenus();
    config_ = std::make_unique<SystemConfig>(brx::util::Utf8ToWide(temp_.path()));
    config_->Load();
    frame_window_ = std::make_unique<TestWindow>(FixtureLayout(L"nosize.xml"), true, nullptr);
    ASSERT_NE(frame_window_->CreateDefault(), 0u);
    frame_.hwnd = *frame_window_;
    target_ = std::make_unique<TestWindow>(FixtureLayout(L"nosize.xml"), true, nullptr);
    ASSERT_NE(target_->CreateDefault(), 0u);

    OBWndTray::Links links;
    links.events = &events_;
    links.config = config_.get();
    links.user = &user_;
    links.frame = &frame_;
    links.skin_folder = DefaultSkin();
    links.hover_interval = std::chrono::milliseconds(20);
    tray_ = std::make_unique<OBWndTray>(links);
    ASSERT_NE(tray_->Create(0, L"OBTray", WS_OVERLAPPEDWINDOW, 0), 0u);
    icon_ = HeadlessBackend::Current()->GetNotifyIconForTesting();
    ASSERT_NE(icon_, nullptr);
  }
  void TearDown() override {
    tray_.reset();
    UIStringTable::Destroy();
  }

  void Advance(uint32_t ms) {
    HeadlessBackend::Current()->AdvanceClock(ms);
    test_driver::Pump();
  }
  // The user acts on the icon; the callback runs.
  void Mouse(UINT message) {
    ASSERT_TRUE(HeadlessBackend::Current()->PostTrayMouseForTesting(message));
    test_driver::Pump();
  }
  std::vector<UINT> LastMenu(std::vector<bool>* enabled = nullptr) {
    auto menus = HeadlessBackend::Current()->ShownMenus();
    std::vector<UINT> ids;
    if (menus.empty()) return ids;
    for (const MenuItem& item : menus.back().items()) {
      ids.push_back(item.id);
      if (enabled != nullptr) enabled->push_back(item.enabled);
    }
    return ids;
  }
  void Choose(UINT command) {
    HeadlessBackend::Current()->QueueMenuChoice(command);
    Mouse(WM_RBUTTONUP);
  }
  static bool QuitPosted() {
    MSG msg;
    while (::uilib::PeekMessage(&msg, true))
      if (msg.message == WM_QUIT) return true;
    return false;
  }

  TempDir temp_;
  EventChain events_;
  std::unique_ptr<SystemConfig> config_;
  FakeUser user_;
  FakeTrayFrame frame_;
  std::unique_ptr<TestWindow> frame_window_;
  std::unique_ptr<TestWindow> target_;
  std::unique_ptr<OBWndTray> tray_;
  NotifyIcon* icon_ = nullptr;
};

TEST_F(TrayWindowTest, IconTipAndBlinkFollowTheUser) {
  const std::wstring product = UIStringTable::GetString(STRING_OMBRIX);
  EXPECT_TRUE(icon_->IsAdded());
  EXPECT_FALSE(IsWindowVisible(*tray_));
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconSignedOut);
  EXPECT_EQ(icon_->GetTip(), product + L"-" + UIStringTable::GetString(STRING_LOGIN_STATE_OFFLINE));

  // Signed in with an over-long nickname: cut to fit, icon changed.
  user_.signed_in = true;
  user_.nick = std::wstring(200, L'名');
  payload::SEVENT_RESPONSE_UserLogin failed(FromHandle{}, L"", false, L"", true);
  events_.FireEvent(&failed);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconSignedOut) << "a failed sign-in changes nothing";
  payload::SEVENT_RESPONSE_UserLogin ok(FromHandle{}, L"", true, L"a", false);
  events_.FireEvent(&ok);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconSignedIn);
  EXPECT_EQ(icon_->GetTip().size(), OBWndTray::kTipLimit);
  EXPECT_TRUE(icon_->GetTip().starts_with(product + L"-名"));
  user_.nick.clear();
  payload::SEVENT_RESPONSE_UpdateUserInfo update(FromHandle{}, L"", true);
  events_.FireEvent(&update);
  EXPECT_EQ(icon_->GetTip(), product + L"-" + UIStringTable::GetString(STRING_LOGIN_STATE_ONLINE));

  // New items blink only in account mode, and stop on the steady icon.
  user_.fans = 2;
  Advance(500);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconSignedIn) << "not in account mode yet";
  frame_.sign_in_state = SignInState::kAccount;
  Advance(500);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconBlink);
  Advance(499);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconBlink);
  Advance(1);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconSignedIn);
  Advance(500);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconBlink);
  user_.fans = 0;
  Advance(500);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconSignedIn);
  Advance(1500);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconSignedIn);
  // A diary entry alone counts only while the option shows them.
  user_.diary = 1;
  EXPECT_TRUE(tray_->HasNewItems());
  config_->SetConfigValue(L"root.user.shownewmessage", L"0");
  EXPECT_FALSE(tray_->HasNewItems());
  Advance(1000);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconSignedIn);

  // Signed out again.
  user_.signed_in = false;
  payload::SEVENT_RESPONSE_UserLogout logout;
  events_.FireEvent(&logout);
  EXPECT_EQ(icon_->GetIconId(), OBWndTray::kIconSignedOut);
  tray_.reset();
  NotifyIcon* left = HeadlessBackend::Current()->GetNotifyIconForTesting();
  EXPECT_TRUE(left == nullptr || !left->IsAdded()) << "the icon goes with the tray";
}

TEST_F(TrayWindowTest, MenusDoubleClickAndThePrompt) {
  // No target: only "quit".
  Mouse(WM_RBUTTONUP);
  EXPECT_EQ(LastMenu(), std::vector<UINT>{OBWndTray::kCmdQuit});

  // A hidden target: settings (grayed while signed out), show, quit.
  tray_->SetTargetWindow(*target_);
  std::vector<bool> enabled;
  Choose(OBWndTray::kCmdShow);
  EXPECT_EQ(LastMenu(&enabled), (std::vector<UINT>{OBWndTray::kCmdSettings, 0, OBWndTray::kCmdShow,
                                                   OBWndTray::kCmdQuit}));
  EXPECT_FALSE(enabled[0]);
  EXPECT_TRUE(IsWindowVisible(*target_));
  EXPECT_TRUE(frame_.calls.empty()) << "the check is the frame's only";
  user_.signed_in = true;
  enabled.clear();
  Choose(OBWndTray::kCmdHide);
  EXPECT_EQ(LastMenu(&enabled), (std::vector<UINT>{OBWndTray::kCmdSettings, 0, OBWndTray::kCmdHide,
                                                   OBWndTray::kCmdQuit}));
  EXPECT_TRUE(enabled[0]);
  EXPECT_FALSE(IsWindowVisible(*target_));
  Choose(OBWndTray::kCmdSettings);
  EXPECT_EQ(frame_.calls, std::vector<std::wstring>{L"settings"});
  EXPECT_FALSE(QuitPosted());

  // A double-click restores a minimised target; the frame also gets its
  // start-up check.
  ::uilib::ShowWindow(*target_, SW_MINIMIZE);
  Mouse(WM_LBUTTONDBLCLK);
  EXPECT_FALSE(IsIconic(*target_));
  EXPECT_TRUE(IsWindowVisible(*target_));
  EXPECT_EQ(GetForegroundWindow(), target_->GetHWND());
  tray_->SetTargetWindow(frame_.hwnd);
  Mouse(WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(frame_.hwnd));
  EXPECT_EQ(frame_.calls.back(), L"check");

  // The prompt comes with the first new-item reply, hidden, owned by the
  // frame; resting on the icon shows it, moving away hides it.
  user_.mentions = 3;
  payload::SEVENT_RESPONSE_GetDataPrompt prompt_reply(FromHandle{}, L"");
  events_.FireEvent(&prompt_reply);
  OBPromptDialog* prompt = tray_->prompt_dialog();
  ASSERT_NE(prompt, nullptr);
  events_.FireEvent(&prompt_reply);
  EXPECT_EQ(tray_->prompt_dialog(), prompt) << "created once";
  EXPECT_EQ(GetWindowOwner(*prompt), frame_.hwnd);
  EXPECT_FALSE(IsWindowVisible(*prompt));
  // Both of the tray's windows key out the transparent colour.
  for (HWND hwnd : {prompt->GetHWND(), tray_->GetHWND()}) {
    COLORREF key = 0;
    uint8_t alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
    EXPECT_NE(0u, flags & LWA_COLORKEY);
    EXPECT_EQ(OBUIWindow::kColorKey, key);
  }
  HeadlessBackend::Current()->SetCursorPos({5000, 5000});
  Mouse(WM_MOUSEMOVE);
  ASSERT_TRUE(WaitUntil([&] {
    test_driver::Pump();
    return IsWindowVisible(*prompt);
  }));
  EXPECT_EQ(prompt->paint_manager().FindControl(L"botton_aboutme")->GetText(), L"   提到我的 (3)");
  EXPECT_EQ(prompt->paint_manager().FindControl(L"botton_new")->GetText(), L"   有新日记 (0)");
  RECT rc;
  GetWindowRect(*prompt, &rc);
  RECT work = GetWorkArea();
  EXPECT_LE(rc.right, work.right) << "kept inside the work area";
  EXPECT_LE(rc.bottom, work.bottom);
  HeadlessBackend::Current()->SetCursorPos({10, 10});
  ASSERT_TRUE(WaitUntil([&] {
    test_driver::Pump();
    return !IsWindowVisible(*prompt);
  }));

  // With new items a double-click opens the first category.
  Mouse(WM_LBUTTONDBLCLK);
  EXPECT_EQ(frame_.calls.back(), L"remind2");
  Choose(OBWndTray::kCmdQuit);
  EXPECT_TRUE(QuitPosted());
}

}  // namespace
}  // namespace ombrix::test
