#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include <gtest/gtest.h>

#include "client/core/core_events.h"
#include "client/core/event_ids.h"
#include "client/core/system_config.h"
#include "client/core/user_account_record.h"
#include "client/core/web_events.h"
#include "client/ui/dialogs/warning_dialog.h"
#include "client/ui/login/ob_login_wnd.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace ombrix::test {
namespace {

struct LoginCall {
  std::wstring account;
  std::wstring password;
  FromHandle origin;
  bool cipher;
  bool remember;
};

class FakeWeb : public SignedOutWebUser {
 public:
  void UserLogin(const std::wstring& account, const std::wstring& password,
                 const FromHandle& origin, LoginFlags flags) override {
    logins.push_back({account, password, origin, HasFlag(flags, LoginFlags::kCipher),
                      HasFlag(flags, LoginFlags::kRememberPassword)});
  }
  void UserLogout() override { ++logouts; }
  void UpdateNickName(const std::wstring& nick) override { nicknames.push_back(nick); }
  bool IsLoggedIn() const override { return !user.SessionID.empty(); }
  const UserAccountRecord& record() const override { return user; }

  std::vector<LoginCall> logins;
  int logouts = 0;
  std::vector<std::wstring> nicknames;
  int friend_requests = 0;
  UserAccountRecord user;
};

class FakeFrame : public ILoginFrame, public ITrayTarget {
 public:
  HWND GetFrameHwnd() const override { return hwnd; }
  SignInState GetSignInState() const override { return sign_in_state; }
  void ShowAfterSignIn(SignInState state, HWND, LoginStood stood) override {
    handovers.push_back({state, stood});
  }
  void SetTargetWindow(HWND target) override { tray_target = target; }

  HWND hwnd = 0;
  SignInState sign_in_state = SignInState::kNotYet;
  std::vector<std::pair<SignInState, LoginStood>> handovers;
  HWND tray_target = 0;
};

class LoginWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessBackend();
    config_ = std::make_unique<SystemConfig>(brx::util::Utf8ToWide(temp_.path()));
    config_->Load();
    frame_window_ = std::make_unique<TestWindow>(FixtureLayout(L"nosize.xml"), true, nullptr);
    ASSERT_NE(frame_window_->CreateDefault(), 0u);
    frame_.hwnd = *frame_window_;
  }

  void Open() {
    COBLoginWnd::Links links;
    links.events = &events_;
    links.config = config_.get();
    links.user = &web_;
    links.frame = &frame_;
    links.tray = &frame_;
    links.request_game_friends = [this](const FromHandle&) { ++web_.friend_requests; };
    links.exit_with_game = [this] { return exit_with_game_; };
    links.register_url = "https://passport.example/PTNew/phone_default.aspx?from=0";
    login_ = std::make_unique<COBLoginWnd>(DefaultSkin(), links);
    ASSERT_NE(login_->Create(0, L"OBLoginWnd", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 200,
                             150, 0, 0),
              0u);
    SetWindowPos(*login_, 0, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::uilib::ShowWindow(*login_, SW_SHOW);
  }

  template <typename T = CControlUI>
  T* Control(const wchar_t* name) {
    auto* control = dynamic_cast<T*>(login_->paint_manager().FindControl(name));
    EXPECT_NE(control, nullptr) << brx::util::WideToUtf8(name);
    return control;
  }
  bool Visible(const wchar_t* name) { return Control(name)->IsVisible(); }
  bool Enabled(const wchar_t* name) { return Control(name)->IsEnabled(); }
  bool Selected(const wchar_t* name) { return Control<COptionUI>(name)->IsSelected(); }
  std::wstring Text(const wchar_t* name) { return Control(name)->GetText(); }
  void Click(const wchar_t* name) {
    ASSERT_TRUE(test_driver::Click(login_->paint_manager(), name));
  }
  void Advance(uint32_t ms) {
    HeadlessBackend::Current()->AdvanceClock(ms);
    test_driver::Pump();
  }
  void LoginReply(bool ok, FromHandle origin, const std::wstring& text = L"") {
    payload::SEVENT_RESPONSE_UserLogin reply(origin, L"", ok, text, !ok);
    events_.FireEvent(&reply);
  }
  void NickReply(FromHandle origin, bool ok, const std::wstring& reply_text) {
    payload::SEVENT_RESPONSE_UpdateUserInfo reply(origin, reply_text, ok);
    events_.FireEvent(&reply);
  }
  // The index of the one visible progress frame, or -1.
  int VisibleFrame() {
    int shown = -1;
    for (int i = 0; i < 8; ++i)
      if (Control((L"LoggingPic" + std::to_wstring(i)).c_str())->IsOwnVisible())
        shown = shown == -1 ? i : -2;
    return shown;
  }
  static bool QuitPosted() {
    MSG msg;
    while (::uilib::PeekMessage(&msg, true))
      if (msg.message == WM_QUIT) return true;
    return false;
  }

  static constexpr FromHandle kOwn{FromHandle::kClient, 0};
  static constexpr FromHandle kGame{FromHandle::kGameClient, 7};

  TempDir temp_;
  EventChain events_;
  std::unique_ptr<SystemConfig> config_;
  FakeWeb web_;
  FakeFrame frame_;
  bool exit_with_game_ = true;
  std::unique_ptr<TestWindow> frame_window_;
  std::unique_ptr<COBLoginWnd> login_;
};

TEST_F(LoginWindowTest, PasswordRuleRememberCouplingCancelAndHandOver) {
  config_->SetAccount(L"player1");
  config_->SetPassword(L"CIPHERTEXT123");
  Open();
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kNormal);
  EXPECT_TRUE(Visible(L"ContainerNormal"));
  EXPECT_FALSE(Visible(L"ContainerLoggingIn"));
  EXPECT_EQ(Text(L"accountedit"), L"player1");
  EXPECT_EQ(Text(L"pwdedit"), L"CIPHER") << "a placeholder, never the stored value";
  EXPECT_TRUE(Selected(L"checkRemPassword"));
  EXPECT_FALSE(Selected(L"checkAutoLogin"));

  // The untouched placeholder sends the stored cipher password.
  Click(L"loginBtn");
  ASSERT_EQ(web_.logins.size(), 1u);
  EXPECT_EQ(web_.logins[0].password, L"CIPHERTEXT123");
  EXPECT_TRUE(web_.logins[0].cipher);
  EXPECT_TRUE(web_.logins[0].remember);
  EXPECT_EQ(web_.logins[0].origin.kind, FromHandle::kClient);
  EXPECT_EQ(config_->GetConfigValue(L"root.base.normal.autologin", L"?"), L"0");
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kLoggingIn);
  EXPECT_TRUE(Visible(L"ContainerLoggingIn"));
  EXPECT_EQ(Text(L"userAccount"), L"player1");
  // The progress animation runs: 800 ms over 8 frames.
  EXPECT_EQ(VisibleFrame(), 0);
  Advance(100);
  EXPECT_EQ(VisibleFrame(), 1);
  // The close button does nothing while signing in; the system close hides.
  Click(L"closebtn");
  EXPECT_TRUE(IsWindowVisible(*login_));

  // Cancelled, then its success arrives: signed out again.
  Click(L"cancelLoginBtn");
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kNormal);
  Advance(500);
  EXPECT_EQ(VisibleFrame(), 1) << "the animation stops with its state";
  LoginReply(true, kOwn);
  EXPECT_EQ(web_.logouts, 1);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kNormal);

  // Any edit of the password sends the typed one as plain text.
  ASSERT_TRUE(test_driver::TypeInto(login_->paint_manager(), L"pwdedit", L"x"));
  Click(L"loginBtn");
  ASSERT_EQ(web_.logins.size(), 2u);
  EXPECT_EQ(web_.logins[1].password, L"CIPHERx");
  EXPECT_FALSE(web_.logins[1].cipher);
  // Failure with no text: the standard warning, back to the entry.
  LoginReply(false, kOwn);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kNormal);
  CWarningDialog* warning = login_->warning_dialog();
  ASSERT_TRUE(IsWindowVisible(*warning));
  EXPECT_EQ(warning->paint_manager().FindControl(L"messagelabel")->GetText(), L"帐号或密码错误！");
  EXPECT_FALSE(IsWindowEnabled(*login_));
  test_driver::PressKey(*warning, VK_RETURN);
  EXPECT_TRUE(IsWindowEnabled(*login_));

  // Another letter case is another account: plain again.
  Control<CRichEditUI>(L"accountedit")->SetText(L"Player1");
  Control<CRichEditUI>(L"pwdedit")->SetText(L"CIPHER");
  Click(L"loginBtn");
  EXPECT_FALSE(web_.logins.back().cipher);
  EXPECT_EQ(web_.logins.back().password, L"CIPHER");
  LoginReply(false, kOwn, L"服务器忙");
  EXPECT_EQ(warning->paint_manager().FindControl(L"messagelabel")->GetText(), L"服务器忙");
  test_driver::PressKey(*warning, VK_ESCAPE);

  // The two boxes are coupled both ways.
  Click(L"checkAutoLogin");
  EXPECT_TRUE(Selected(L"checkAutoLogin"));
  EXPECT_TRUE(Selected(L"checkRemPassword"));
  Click(L"checkRemPassword");
  EXPECT_FALSE(Selected(L"checkRemPassword"));
  EXPECT_FALSE(Selected(L"checkAutoLogin"));

  // Empty fields warn and send nothing.
  size_t sent = web_.logins.size();
  Control<CRichEditUI>(L"pwdedit")->SetText(L"");
  Click(L"loginBtn");
  EXPECT_EQ(warning->paint_manager().FindControl(L"messagelabel")->GetText(), L"请输入密码！");
  test_driver::PressKey(*warning, VK_ESCAPE);
  Control<CRichEditUI>(L"accountedit")->SetText(L"");
  Click(L"loginBtn");
  EXPECT_EQ(warning->paint_manager().FindControl(L"messagelabel")->GetText(), L"请输入帐号！");
  test_driver::PressKey(*warning, VK_ESCAPE);
  EXPECT_EQ(web_.logins.size(), sent);

  // Signed in without remembering: the stored password goes, the copy
  // stays; a user with a nickname skips the nickname step.
  Control<CRichEditUI>(L"accountedit")->SetText(L"player1");
  Control<CRichEditUI>(L"pwdedit")->SetText(L"secret");
  test_driver::PressKey(*login_, VK_RETURN);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kLoggingIn) << "Enter signs in";
  web_.user.NickName = L"夜行者";
  LoginReply(true, kOwn);
  EXPECT_EQ(config_->GetPassword(), L"");
  EXPECT_EQ(login_->GetLoginPassword(), L"CIPHERTEXT123");
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kFinished);
  EXPECT_FALSE(IsWindowVisible(*login_));
  ASSERT_EQ(frame_.handovers.size(), 1u);
  EXPECT_EQ(frame_.handovers[0], std::make_pair(SignInState::kAccount, LoginStood::kVisible));
  EXPECT_EQ(frame_.tray_target, frame_.hwnd);
  RECT frame_rc;
  GetWindowRect(frame_.hwnd, &frame_rc);
  EXPECT_EQ(frame_rc.left, 200);
  EXPECT_EQ(frame_rc.top, 150);

  // Signing out brings the entry back over the frame.
  ::uilib::ShowWindow(frame_.hwnd, SW_SHOW);
  login_->Show();
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kNormal);
  EXPECT_TRUE(IsWindowVisible(*login_));
  EXPECT_FALSE(IsWindowVisible(frame_.hwnd));
  EXPECT_EQ(frame_.tray_target, login_->GetHWND());
  SendMessage(*login_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(*login_));
}

TEST_F(LoginWindowTest, TheMainWindowTakesTheLoginWindowsPlaceButStaysOnTheScreen) {
  Open();
  // The main window is much taller than the login window.
  SetWindowPos(frame_.hwnd, 0, 0, 0, 300, 650, SWP_NOZORDER);
  RECT work = GetWorkArea();
  struct Case {
    int x, y;              // the login window's corner
    int frame_x, frame_y;  // where the main window goes
  } cases[] = {
      {200, 150, 200, 150},  // fits: the same corner
      {work.right - 100, work.bottom - 100, work.right - 300, work.bottom - 650},  // pulled back in
      {work.left - 50, work.top - 40, work.left, work.top},
  };
  web_.user.NickName = L"夜行者";
  for (const Case& c : cases) {
    login_->Show();
    SetWindowPos(*login_, 0, c.x, c.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Control<CRichEditUI>(L"accountedit")->SetText(L"player1");
    Control<CRichEditUI>(L"pwdedit")->SetText(L"secret");
    Click(L"loginBtn");
    ASSERT_EQ(login_->state(), COBLoginWnd::State::kLoggingIn);
    LoginReply(true, kOwn);
    ASSERT_EQ(login_->state(), COBLoginWnd::State::kFinished);
    RECT rc;
    GetWindowRect(frame_.hwnd, &rc);
    EXPECT_EQ(rc.left, c.frame_x) << c.x << "," << c.y;
    EXPECT_EQ(rc.top, c.frame_y) << c.x << "," << c.y;
    EXPECT_EQ(rc.Width(), 300);
    EXPECT_EQ(rc.Height(), 650);
  }
}

// Whenever the login window comes back (from the tray, after the window
// manager's close), the keyboard is in the field to fill, also when a
// cancelled sign-in had left it nowhere.
TEST_F(LoginWindowTest, ShownAgainTheWindowHasTheKeyboardInTheFieldToFill) {
  Open();
  ASSERT_TRUE(test_driver::TypeInto(login_->paint_manager(), L"accountedit", L"player1"));
  ASSERT_TRUE(test_driver::TypeInto(login_->paint_manager(), L"pwdedit", L"secret"));
  Click(L"loginBtn");
  ASSERT_EQ(login_->state(), COBLoginWnd::State::kLoggingIn);
  Click(L"cancelLoginBtn");
  ASSERT_EQ(login_->state(), COBLoginWnd::State::kNormal);
  test_driver::CloseFromWindowManager(*login_);
  ASSERT_FALSE(IsWindowVisible(*login_));
  // The tray's way: shown, focused, brought forward.
  ::uilib::ShowWindow(*login_, SW_SHOW);
  SetFocus(*login_);
  SetForegroundWindow(*login_);
  ASSERT_NE(login_->paint_manager().GetFocus(), nullptr) << "the first keys would be lost";
  EXPECT_EQ(login_->paint_manager().GetFocus()->GetName(), L"pwdedit")
      << "the password box is the one to fill";
  test_driver::TypeText(*login_, L"again");
  EXPECT_EQ(Text(L"pwdedit"), L"again");
}

TEST_F(LoginWindowTest, AGameInFullScreenThatAsksForTheLoginWindowKeepsTheScreen) {
  Open();
  ::uilib::ShowWindow(*login_, SW_HIDE);
  frame_.sign_in_state = SignInState::kSignedOut;
  payload::SEVENT_USERINFO_REQUESTLOGIN request;
  // The game is another program: only the desktop knows its window.
  HeadlessBackend::Current()->SetOtherProgramFullScreenForTesting(true);
  EXPECT_TRUE(COBLoginWnd::IsFullScreenWindowShown());
  events_.FireEvent(&request);
  EXPECT_FALSE(IsWindowVisible(*login_));
  HeadlessBackend::Current()->SetOtherProgramFullScreenForTesting(false);
  EXPECT_FALSE(COBLoginWnd::IsFullScreenWindowShown());
  events_.FireEvent(&request);
  EXPECT_TRUE(IsWindowVisible(*login_));
  EXPECT_EQ(GetForegroundWindow(), login_->GetHWND());
}

TEST_F(LoginWindowTest, AutoLoginGuestAndNicknameStep) {
  config_->SetAccount(L"player1");
  config_->SetPassword(L"CIPHERTEXT123");
  config_->SetConfigValue(L"root.base.normal.autologin", L"1");
  Open();
  EXPECT_TRUE(Selected(L"checkAutoLogin"));
  EXPECT_TRUE(Selected(L"checkRemPassword"));
  EXPECT_FALSE(Enabled(L"loginBtn"));
  Advance(999);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kNormal);
  Advance(1);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kLoggingIn);
  EXPECT_TRUE(web_.logins.empty());
  Advance(1999);
  EXPECT_TRUE(web_.logins.empty());
  Advance(1);
  ASSERT_EQ(web_.logins.size(), 1u);
  EXPECT_TRUE(web_.logins[0].cipher);
  EXPECT_EQ(web_.logins[0].password, L"CIPHERTEXT123");

  // Success for a user with only a provider nickname: the nickname step.
  web_.user.TGNickName = L"tg";
  LoginReply(true, kOwn);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kSignInWithAccount);
  EXPECT_TRUE(Visible(L"ContainerSignInWithAccount"));
  EXPECT_EQ(Text(L"sugerSideName"), L"tg");
  EXPECT_EQ(web_.friend_requests, 1);
  EXPECT_TRUE(Selected(L"sugerSideName"));
  EXPECT_TRUE(Enabled(L"signInRightNow1"));
  // Typing needs 4-14 bytes; switching options needs 1-16.
  Click(L"newSideName");
  ASSERT_TRUE(test_driver::TypeInto(login_->paint_manager(), L"couldEdit", L"abc"));
  EXPECT_FALSE(Enabled(L"signInRightNow1"));
  Click(L"sugerSideName");
  Click(L"newSideName");
  EXPECT_TRUE(Enabled(L"signInRightNow1"));
  Click(L"signInRightNow1");
  ASSERT_EQ(web_.nicknames, std::vector<std::wstring>{L"abc"});
  EXPECT_FALSE(Enabled(L"signInRightNow1"));
  EXPECT_FALSE(Enabled(L"couldEdit"));
  // A head-image update of another window is not the nickname's answer.
  NickReply({}, true, L"{\"Status\":0}");
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kSignInWithAccount);
  NickReply(kOwn, true, L"{\"Status\":-10}");
  EXPECT_TRUE(Visible(L"LabelNickNameNotAvailable"));
  EXPECT_FALSE(Visible(L"LabelNickNameInvalid"));
  EXPECT_TRUE(Enabled(L"couldEdit"));
  EXPECT_TRUE(Enabled(L"signInRightNow1"));
  test_driver::TypeText(*login_, L"abcd");
  EXPECT_FALSE(Visible(L"LabelNickNameNotAvailable"));
  EXPECT_TRUE(Enabled(L"signInRightNow1"));
  test_driver::PressKey(*login_, VK_RETURN);
  EXPECT_EQ(web_.nicknames.back(), L"abcd");
  NickReply(kOwn, true, L"{\"Status\":\"-9\"}");
  EXPECT_TRUE(Visible(L"LabelNickNameInvalid"));
  NickReply(kOwn, true, L"{\"Status\":0}");
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kFinished);
  ASSERT_EQ(frame_.handovers.size(), 1u);

  // Neither nickname: state 9, counted in two-byte characters.
  login_->Show();
  web_.user = {};
  Click(L"loginBtn");
  LoginReply(true, kOwn);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kSignInWithoutAccount);
  EXPECT_FALSE(Enabled(L"signInRightNow2"));
  ASSERT_TRUE(test_driver::TypeInto(login_->paint_manager(), L"nicknameEdit", L"一二三四五六七八"));
  EXPECT_TRUE(Enabled(L"signInRightNow2")) << "eight Chinese characters are sixteen bytes";
  test_driver::TypeText(*login_, L"九");
  EXPECT_FALSE(Enabled(L"signInRightNow2"));
  // Enter during a composition belongs to the input method; the field
  // tells the window when one starts and ends.
  test_driver::PressKey(*login_, VK_BACK);
  size_t asked = web_.nicknames.size();
  PostMessage(*login_, WM_IME_STARTCOMPOSITION, 0, 0);
  test_driver::PressKey(*login_, VK_RETURN);
  EXPECT_EQ(web_.nicknames.size(), asked);
  PostMessage(*login_, WM_IME_ENDCOMPOSITION, 0, 0);
  test_driver::PressKey(*login_, VK_RETURN);
  EXPECT_EQ(web_.nicknames.back(), L"一二三四五六七八");
  NickReply(kOwn, false, L"");
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kFinished) << "a failed reply finishes";

  // Guest: progress without the account, then the hand-over as a guest.
  login_->Show();
  Click(L"guestBtn");
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kLoggingIn);
  EXPECT_FALSE(Visible(L"loggingText"));
  EXPECT_FALSE(Visible(L"userAccount"));
  Advance(999);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kLoggingIn);
  Advance(1);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kFinished);
  EXPECT_EQ(frame_.handovers.back().first, SignInState::kGuest);
}

TEST_F(LoginWindowTest, GameRequestsTicketAndGameSignIns) {
  Open();
  web_.user.NickName = L"n";
  // Before the first sign-out a game's request for the window shows nothing.
  ::uilib::ShowWindow(*login_, SW_HIDE);
  payload::SEVENT_USERINFO_REQUESTLOGIN request;
  events_.FireEvent(&request);
  EXPECT_FALSE(IsWindowVisible(*login_));
  frame_.sign_in_state = SignInState::kSignedOut;
  events_.FireEvent(&request);
  EXPECT_TRUE(IsWindowVisible(*login_));

  // A sign-in made in a game's panel sticks and hands over.
  LoginReply(true, kGame);
  EXPECT_EQ(web_.logouts, 0);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kFinished);
  ASSERT_EQ(frame_.handovers.size(), 1u);
  events_.FireEvent(&request);
  EXPECT_FALSE(IsWindowVisible(*login_)) << "nothing to show once finished";

  // A ticket sign-in finishes without leaving the progress running on the
  // hidden window.
  login_->Show();
  payload::SEVENT_RESPONSE_UserLoginByTicket ticket(kGame, L"{\"Status\":\"0\"}", true, L"player1",
                                                    false);
  events_.FireEvent(&ticket);
  EXPECT_EQ(login_->state(), COBLoginWnd::State::kFinished);
  EXPECT_EQ(frame_.handovers.size(), 2u);
  EXPECT_FALSE(Visible(L"ContainerLoggingIn"));
  int frame = VisibleFrame();
  Advance(350);
  EXPECT_EQ(VisibleFrame(), frame);
  login_->Show();
  EXPECT_TRUE(Visible(L"ContainerNormal"));

  // A game leaving ends the client only when it had attached.
  payload::SEVENT_GAME_DETACH stranger(L"", 9);
  events_.FireEvent(&stranger);
  EXPECT_FALSE(QuitPosted());
  exit_with_game_ = false;
  payload::SEVENT_GAME_DETACH kept(L"game", 9);
  events_.FireEvent(&kept);
  EXPECT_FALSE(QuitPosted());
  exit_with_game_ = true;
  events_.FireEvent(&kept);
  EXPECT_TRUE(QuitPosted());

  // The window goes with its subscriptions.
  login_.reset();
  EXPECT_EQ(events_.SubscriberCount(SEVENT_RESPONSE_UserLogin), 0u);
  EXPECT_EQ(events_.SubscriberCount(SEVENT_GAME_DETACH), 0u);
}

// Keeps the application log's lines; the logger owns it for good, the
// test shares the lines.
class LogLines : public brx::logmaker::ILogWriter {
 public:
  struct Shared {
    std::mutex mutex;
    std::vector<std::string> lines;
  };
  explicit LogLines(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
  void Write(const brx::logmaker::LogRecord& record) override {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->lines.push_back(record.line);
  }
  void WriteText(const char*) override {}

 private:
  std::shared_ptr<Shared> shared_;
};

TEST_F(LoginWindowTest, ASkinWithoutARequiredControlMakesNoWindowAndSaysWhich) {
  namespace fs = std::filesystem;
  const fs::path skin = fs::path(temp_.Sub("skin"));
  fs::copy(brx::util::WideToUtf8(DefaultSkin()), skin, fs::copy_options::recursive);
  std::string layout;
  {
    std::ifstream in(skin / "login_layout.xml");
    std::stringstream text;
    text << in.rdbuf();
    layout = text.str();
  }
  const std::string required = "name=\"pwdedit\"";
  const size_t at = layout.find(required);
  ASSERT_NE(at, std::string::npos);
  layout.replace(at, required.size(), "name=\"pwdgone\"");
  std::ofstream(skin / "login_layout.xml", std::ios::trunc) << layout;

  auto log = std::make_shared<LogLines::Shared>();
  brx::logmaker::GetAppLogger()->AddWriter(std::make_unique<LogLines>(log));
  COBLoginWnd::Links links;
  links.events = &events_;
  links.config = config_.get();
  links.user = &web_;
  COBLoginWnd login(brx::util::Utf8ToWide(skin.string()), links);
  EXPECT_EQ(login.Create(0, L"OBLoginWnd", WS_POPUP, 0, 0, 0, 0, 0), 0u);
  EXPECT_EQ(login.GetHWND(), 0u);
  std::lock_guard<std::mutex> lock(log->mutex);
  EXPECT_TRUE(std::any_of(log->lines.begin(), log->lines.end(), [](const std::string& line) {
    return line.find("lacks the required control pwdedit") != std::string::npos;
  })) << "no log line names the missing control";
}

}  // namespace
}  // namespace ombrix::test
