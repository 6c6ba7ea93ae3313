#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "client/core/event_chain.h"
#include "client/ui/base/ob_ui_window.h"
#include "client/ui/base/sign_in_state.h"
#include "client/ui/controls/control_context.h"
#include "client/ui/frame/frame_services.h"
#include "client/ui/minicard/mini_user_card.h"
#include "client/ui/script/frame_script_target.h"
#include "client/ui/script/jscript_dispatch.h"
#include "uilib/controls/browser_slot_ui.h"

namespace uilib {
class CRichEditUI;
}
class COBPicButtonUI;
class COBListUI;
class FrameWindows;

// The main window: the hosted page in the middle ("ie"), the post editor
// with its screenshot button below, the tool buttons. Drives the page
// through the script bridge when client events arrive, and serves the
// page's callbacks. Closing only hides it. GUI thread only.
//
// The page is made when the window is first shown or a sign-in completes,
// so a client waiting at the login window carries no web engine; what the
// page is to be told before it has loaded waits for it. Only the local
// page (the install's html folder) hears from the client and may act for
// the user; the service's site, which the view may show too, gets its
// load notice and its close button; the view never leaves the two.
class COBFrameWnd : public OBUIWindow,
                    public FrameScriptTarget,
                    private uilib::BrowserSlotListener {
 public:
  static constexpr int kMaxPostLength = 140;
  static constexpr int kUploadTimeoutMs = 20000;
  // The storage check runs this long after the frame is shown normally.
  static constexpr int kDelayedCheckMs = 1000;
  // Page calls kept for a page that has not loaded yet; the oldest go first.
  static constexpr size_t kMaxWaitingPageCalls = 32;
  // What the service's site may call of window.external.
  static const std::vector<std::string>& SiteMethods();

  COBFrameWnd(FrameServices* services, const ControlContext* context,
              MiniUserCard::BrowserFactory browsers);
  ~COBFrameWnd() override;

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBFrameWndCore"; }
  uilib::UINT GetClassStyle() const override { return 0x0008; /* CS_DBLCLKS */ }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI& msg) override;

  // A sign-in completed: 2 with an account, 3 as a guest; `mode` is how
  // the login window was shown (1 visible, 2 minimised, 3 hidden).
  void ShowAfterSignIn(SignInState state, LoginStood login_stood);

  // FrameScriptTarget (the page's callbacks).
  void OnPageLoad(const std::wstring& page_name) override;
  void HideAndSignOut() override;
  void RequestUserLogout() override;
  void ResetAboutUserCount() override;
  void ResetMessageCount() override;
  void ResetFansCount() override;
  void ResetMirrorBlogCount() override;
  void ShowMiniCard(const ScriptArgs& args) override;
  void OpenOriginImage(const std::wstring& url) override;
  void ShowDefaultPage() override;
  void CloseAction() override;
  void SetKnowStatus(const std::wstring& text) override;
  void SendKnowStatus();

  void RefreshCommitButton();
  // The tray's new-items prompt: "1" diaries, "2" mentions, "3" private
  // messages, "4" new fans.
  void ShowRemind(const std::wstring& which);
  // Shows the frame when it is hidden after a sign-in with an account,
  // unless a game covers the screen.
  void ShowFrameIfHidden();
  // The tray asks for the storage check; it runs once per sign-in.
  void StartDelayedCheck();
  // Back to the default page from the site or the search view.
  void ReturnToDefaultPage();

  SignInState sign_in_state() const { return sign_in_; }
  bool posting() const { return posting_; }
  bool uploading() const { return uploading_; }
  bool site_shown() const { return site_shown_; }
  const std::wstring& uploaded_image() const { return uploaded_image_; }
  uilib::BrowserHost* browser() const { return browser_.get(); }
  MiniUserCard* card() const { return card_.get(); }
  // The windows the frame has opened so far.
  FrameWindows& windows() const { return *windows_; }
  std::wstring LocalPageUrl() const;

 protected:
  void InitControls() override;
  uilib::LRESULT OnNcHitTest(uilib::WPARAM wparam, uilib::LPARAM lparam, bool& handled) override;

 private:
  void OnSlotChanged(const uilib::RECT& client_rect, bool visible) override;
  void Subscribe();
  // Makes the page (and the card's) unless it exists or was tried.
  void EnsurePage();
  std::string HtmlFolderUrl() const;
  // The view shows a page of the html folder.
  bool PageIsLocal() const;
  void CallPage(const std::string& name, const ScriptArgs& args = {});
  void Navigate(const std::wstring& url);
  bool TextPresent(const std::wstring& text) const;
  std::wstring EditorText() const;
  void SetStatus(const std::wstring& text);
  void HideTips();
  // Not signed in with an account: the user is asked to sign in first.
  void AskToSignIn();
  // The layouts: 0 normal, 1 friends, 2 search; false when the skin lacks
  // the one asked for. The page shows friends and search inside the
  // normal layout, which is shown in every case.
  bool ShowLayout(int index, bool resume);
  void ShowNormalLayout(bool resume);
  void SetGuestMode(bool guest);
  // The search view: the page fills the window. `tell_page`: the page is
  // asked to show its search view too.
  void ShowSearchPage(bool tell_page);

  // The post flow.
  void InsertTopic();
  void Post();
  void UploadPicture(const std::wstring& path);
  void OnScreenshotChosen(const std::wstring& path, const std::wstring& game_id);
  void RemoveAttachment();
  void OnUpload(const EventParameter* p);
  void OnAddBlogDone(const EventParameter* p);

  // Other events.
  void OnServerConfig(const EventParameter* p);
  void OnUserLogin(const EventParameter* p);
  void OnUserLoginByTicket(const EventParameter* p);
  void OnUserLogout(const EventParameter* p);
  void OnDataPrompt(const EventParameter* p);
  void OnDownload(const EventParameter* p);
  void OnUserInfoUpdated(const EventParameter* p);
  void OnFriends(const EventParameter* p);
  void OnSearch(const EventParameter* p);
  // Fills `list` from a reply; false (and the list emptied) when the reply
  // cannot be read.
  bool FillList(COBListUI* list, const std::wstring& json);
  void FollowSelected(COBListUI* list);

  FrameServices* services_;
  const ControlContext* context_;
  MiniUserCard::BrowserFactory browsers_;

  SignInState sign_in_ = SignInState::kNotYet;
  bool posting_ = false;
  bool uploading_ = false;
  bool site_shown_ = false;
  bool search_shown_ = false;
  bool resume_after_sign_in_ = false;
  // A guest pressed commit: the post goes out once signed in with an
  // account (the guest's sign-in passes through the signed-out state).
  bool guest_post_pending_ = false;
  bool know_status_ = false;

  uilib::CRichEditUI* editor_ = nullptr;
  uilib::CControlUI* commit_ = nullptr;
  uilib::CControlUI* topic_num_ = nullptr;
  COBPicButtonUI* pic_button_ = nullptr;
  uilib::CBrowserSlotUI* slot_ = nullptr;
  COBListUI* friends_ = nullptr;
  COBListUI* search_ = nullptr;
  std::vector<std::pair<std::wstring, std::wstring>> saved_pic_images_;
  std::wstring user_images_[3];
  int ie_height_ = 0;
  uilib::RECT ie_inset_{};
  std::wstring frame_background_;

  std::wstring shot_game_id_;
  std::wstring uploaded_image_;
  std::wstring upload_path_;  // the upload whose answer is awaited
  std::wstring pending_post_text_;
  std::vector<std::wstring> saved_sign_in_args_;
  // Downloads the page asked to see (address, file): only those are opened.
  std::set<std::pair<std::wstring, std::wstring>> wanted_downloads_;

  std::vector<EventChain::Handle> subscriptions_;
  std::unique_ptr<uilib::BrowserHost> browser_;
  bool page_tried_ = false;
  // The page has reported its first load; until then calls wait.
  bool page_ready_ = false;
  std::deque<std::pair<std::string, ScriptArgs>> waiting_calls_;
  std::unique_ptr<JScriptDispatch> dispatch_;
  std::unique_ptr<MiniUserCard> card_;
  bool delayed_check_started_ = false;
  // Its windows are owned by the frame's window: the destructor ends them first.
  std::unique_ptr<FrameWindows> windows_;

  friend class FrameWindows;
};
