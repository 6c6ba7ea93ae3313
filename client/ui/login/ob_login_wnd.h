#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/core/web_user.h"
#include "client/ui/base/ob_ui_window.h"
#include "client/ui/login/login_links.h"

class CWarningDialog;
class SystemConfig;
namespace uilib {
class COptionUI;
class CRichEditUI;
}  // namespace uilib

// The sign-in window: account and password with remember and auto-login,
// guest entry, the nickname step after a first sign-in, and the hand-over
// to the main window. Every state shows at most one container of the
// skin. Timers are window timers, so their expiries run on the GUI thread
// like everything else here. GUI thread only.
class COBLoginWnd : public OBUIWindow {
 public:
  // Where the sign-in stands. kNormal, kLoggingIn, kQuickLoginFailed and the
  // two nickname steps each show their container; the others are steps
  // on the way to one of them or to the hand-over (kFinished).
  enum class State {
    kNone = 0,
    kNormal = 1,
    kLoggingIn = 2,
    kQuickLogin = 3,
    kLoggedIn = 4,
    kQuickLoginFailed = 5,
    kGuest = 6,
    kGuestDone = 7,
    kSignInWithAccount = 8,
    kSignInWithoutAccount = 9,
    kFinished = 10,
  };

  struct Links {
    EventChain* events = nullptr;  // the numbered chain; outlives the window
    SystemConfig* config = nullptr;
    IWebUser* user = nullptr;
    ILoginFrame* frame = nullptr;  // the main window; may be null
    ITrayTarget* tray = nullptr;   // the tray icon; may be null
    // Asks for the friends of the user's game account (their reply event
    // carries `origin`).
    std::function<void(const FromHandle& origin)> request_game_friends;
    // Whether the current game's "ExitWithGame" option is on.
    std::function<bool()> exit_with_game;
    std::string register_url;
    std::string recover_url;
    std::string home_page;
  };

  COBLoginWnd(const std::wstring& skin_folder, Links links);
  ~COBLoginWnd() override;

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBLoginWnd"; }
  uilib::UINT GetClassStyle() const override { return 8; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI& msg) override;

  // Shut-down: forgets the main window and the tray before they go.
  void ForgetFrameAndTray() {
    links_.frame = nullptr;
    links_.tray = nullptr;
  }

  // Back to the account entry after a sign-out.
  void Show();
  void FocusInput();
  // The stored password as it stood right after the last sign-in.
  const std::wstring& GetLoginPassword() const { return password_copy_; }
  static bool IsFullScreenWindowShown();

  State state() const { return state_; }
  CWarningDialog* warning_dialog() const { return warning_.get(); }

 protected:
  void InitControls() override;

 private:
  static constexpr uintptr_t kAnimationTimer = 1;
  static constexpr uintptr_t kAutoLoginTimer = 2;
  static constexpr uintptr_t kAutoLoginSendTimer = 3;
  static constexpr uintptr_t kGuestTimer = 4;

  void SetState(State state);
  void ShowAccountEntry();
  void ShowProgress();
  // Right after a sign-in: the nickname step when the user has none, else
  // the hand-over.
  void AfterSignIn();
  void ShowNickNameWithAccount();
  void ShowNickNameWithoutAccount();
  void StartQuickLogin();
  void FinishLogin(bool guest);
  void OnLoginClick();
  void SendLogin(const std::wstring& account, const std::wstring& password);
  void CheckAutoLogin();
  void SelectNameOption(bool suggested);
  void OnTimer(uintptr_t id);
  void ShowWarning(const std::wstring& text);
  void HideNickNameLabels();

  void StartAnimation();
  void StopAnimation();
  void ShowFrame(size_t index);

  void OnUserLogin(const EventParameter* p);
  void OnUserLoginByTicket(const EventParameter* p);
  void OnSetNickName(const EventParameter* p);
  void OnRequestLogin(const EventParameter* p);
  void OnUpdateUserInfo(const EventParameter* p);
  void OnGameDetach(const EventParameter* p);

  bool FrameWaitsForLogin() const;
  void BringToFront();
  void Enable(const wchar_t* name, bool enable);
  void SetVisible(const wchar_t* name, bool visible);
  void OpenUrl(const std::string& url);
  void RequestGameFriends();

  const std::wstring skin_folder_;
  Links links_;
  std::unique_ptr<CWarningDialog> warning_;
  std::vector<EventChain::Handle> subscriptions_;

  State state_ = State::kNone;
  bool ticket_login_ = false;
  bool quick_login_ = false;
  bool guest_ = false;
  bool password_edited_ = false;
  bool composing_ = false;
  std::wstring password_copy_;

  // The progress animation: frames shown one after another.
  std::vector<uilib::CControlUI*> frames_;
  unsigned cycle_ms_ = 0;
  size_t frame_index_ = 0;
  bool animating_ = false;

  uilib::CRichEditUI* account_edit_ = nullptr;
  uilib::CRichEditUI* password_edit_ = nullptr;
  uilib::COptionUI* remember_ = nullptr;
  uilib::COptionUI* auto_login_ = nullptr;
  uilib::COptionUI* suggested_name_ = nullptr;
  uilib::COptionUI* new_name_ = nullptr;
  uilib::CRichEditUI* could_edit_ = nullptr;
  uilib::CRichEditUI* nickname_edit_ = nullptr;
};
