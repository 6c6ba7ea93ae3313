#include "client/ui/frame/ob_frame_wnd.h"

#include <filesystem>

#include "client/core/event_ids.h"
#include "client/core/message_ids.h"
#include "client/core/user_account_record.h"
#include "client/core/web_events.h"
#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "client/ui/controls/head_image_cache.h"
#include "client/ui/controls/ob_list_ui.h"
#include "client/ui/controls/ob_pic_button_ui.h"
#include "client/ui/frame/frame_windows.h"
#include "client/ui/frame/list_users_json.h"
#include "client/ui/frame/origin_image_name.h"
#include "client/ui/frame/page_sign_in.h"
#include "client/ui/login/ob_login_wnd.h"
#include "client/ui/picture/picture_item.h"
#include "client/ui/script/jscript_execute_http.h"
#include "client/ui/script/jscript_execute_logic_frame_wnd_core.h"
#include "runtime/util/text_convert.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/win_api.h"

using ombrix::messages::kScreenshotChosen;
using ombrix::messages::kScriptResult;

namespace {

constexpr wchar_t kEditorHint[] = L"来，在右侧选择一张游戏截图，发布看法";
constexpr wchar_t kSearchHint[] = L"输入翎岚昵称或雾隐城角色名";
constexpr wchar_t kKnowKey[] = L"root.user.knowstatus";
// Relative to the skin folder, where the paint manager looks.
constexpr wchar_t kSearchBackground[] = L"new/search.jpg";
const wchar_t* const kLayouts[] = {L"LayoutNormal", L"LayoutFriendsList", L"LayoutSearchFriend"};
constexpr int kIconSignedIn = 0x9D;
constexpr int kIconSignedOut = 0x9C;
// Far above the paint manager's own timer ids.
constexpr uintptr_t kDelayedCheckTimer = 0x4F420001;

const wchar_t* const kGuestLocked[] = {L"confbtn", L"picbtn", L"keybtn", L"userbtn", L"lookForbtn"};

}  // namespace

COBFrameWnd::COBFrameWnd(FrameServices* services, const ControlContext* context,
                         MiniUserCard::BrowserFactory browsers)
    : OBUIWindow(std::make_unique<CDialogBuilderCallbackEx>(context), false),
      services_(services),
      context_(context),
      browsers_(std::move(browsers)),
      windows_(std::make_unique<FrameWindows>(this, services, context)) {
  skin_source_ = context->skin_folder + L"/obskin.xml";
  know_status_ = services_->ConfigValue(kKnowKey, L"0") == L"1";
  Subscribe();
}

COBFrameWnd::~COBFrameWnd() {
  windows_.reset();
  if (GetHWND() != 0) uilib::KillTimer(GetHWND(), kDelayedCheckTimer);
  if (EventChain* events = services_->Events()) {
    for (EventChain::Handle handle : subscriptions_) events->Unsubscribe(handle);
  }
  if (slot_ != nullptr) slot_->SetListener(nullptr);
  // The page must lose its window.external before the bridge goes.
  if (browser_) browser_->Close();
  card_.reset();
  dispatch_.reset();
  browser_.reset();
}

void COBFrameWnd::Subscribe() {
  EventChain* events = services_->Events();
  if (events == nullptr) return;
  auto on = [&](int32_t id, void (COBFrameWnd::*method)(const EventParameter*)) {
    subscriptions_.push_back(events->Subscribe(id, this, method));
  };
  on(SEVENT_RESPONSE_DownloadServerConfig, &COBFrameWnd::OnServerConfig);
  on(SEVENT_RESPONSE_UserLogin, &COBFrameWnd::OnUserLogin);
  on(SEVENT_RESPONSE_UserLoginByTicket, &COBFrameWnd::OnUserLoginByTicket);
  on(SEVENT_RESPONSE_UserLogout, &COBFrameWnd::OnUserLogout);
  on(SEVENT_RESPONSE_GetDataPrompt, &COBFrameWnd::OnDataPrompt);
  on(SEVENT_RESPONSE_UpdateUserInfo, &COBFrameWnd::OnUserInfoUpdated);
  on(SEVENT_RESPONSE_Upload, &COBFrameWnd::OnUpload);
  on(SEVENT_RESPONSE_Addblog, &COBFrameWnd::OnAddBlogDone);
  on(SEVENT_RESPONSE_GetWYGameUserFriend, &COBFrameWnd::OnFriends);
  on(SEVENT_RESPONSE_SearchByNickAndProfile, &COBFrameWnd::OnSearch);
  on(SEVENT_RESPONSE_GameDownloadFile, &COBFrameWnd::OnDownload);
}

std::wstring COBFrameWnd::LocalPageUrl() const {
  return brx::util::Utf8ToWide(
      uilib::FileUrl(brx::util::WideToUtf8(services_->ProgramDir()) + "/html/Default.html"));
}

void COBFrameWnd::InitControls() {
  editor_ = Find<uilib::CRichEditUI>(L"txtrich");
  commit_ = Find(L"commitbtn");
  topic_num_ = Find(L"topicnum");
  pic_button_ = Find<COBPicButtonUI>(L"insertpicbtn");
  slot_ = Find<uilib::CBrowserSlotUI>(L"ie");
  if (auto* user = Find<uilib::CButtonUI>(L"userbtn")) {
    user_images_[0] = user->GetNormalImage();
    user_images_[1] = user->GetHotImage();
    user_images_[2] = user->GetPushedImage();
  }
  if (pic_button_ != nullptr) pic_button_->SetMappingWindow(GetHWND());
  if (auto* ie = Find<uilib::CContainerUI>(L"IEContainer")) {
    ie_height_ = ie->GetFixedHeight();
    ie_inset_ = ie->GetInset();
  }
  if (auto* container = Find(L"OBFrameContainer")) frame_background_ = container->GetBkImage();
  friends_ = Find<COBListUI>(L"LayoutFriendsList_oblist");
  search_ = Find<COBListUI>(L"LayoutSearchFriend_oblist");
  if (friends_ != nullptr) {
    friends_->BindPagingControls(Find<uilib::CContainerUI>(L"LayoutFriendsList"));
    friends_->Clear();
  }
  if (search_ != nullptr) {
    search_->BindPagingControls(Find<uilib::CContainerUI>(L"LayoutSearchFriend"));
    search_->Clear();
  }
  if (commit_ != nullptr) commit_->SetEnabled(false);
  if (editor_ != nullptr) {
    editor_->SetRich(false);
    editor_->SetTipText(kEditorHint);
  }
  if (editor_ != nullptr && topic_num_ != nullptr)
    editor_->SetCompanionLabel(topic_num_, kMaxPostLength);
  if (auto* search = Find<uilib::CRichEditUI>(L"userName")) {
    search->SetLimitText(20);
    search->SetTipText(kSearchHint);
  }

  uilib::HWND hwnd = GetHWND();
  dispatch_ = std::make_unique<JScriptDispatch>(
      nullptr, [hwnd] { uilib::PostMessage(hwnd, kScriptResult, 0, 0); });
  FrameServices* services = services_;
  // The service's own origins, as its configuration names them now.
  dispatch_->AddExecutor(std::make_unique<JScriptExecuteHttp>([services] {
    return std::vector<std::string>{
        brx::util::WideToUtf8(services->ServerAddress(L"ClientInterfaceServer")),
        brx::util::WideToUtf8(services->SiteAddress())};
  }));
  dispatch_->AddExecutor(std::make_unique<JScriptExecuteLogicFrameWndCore>(this));
  sign_in_ = SignInState::kNotYet;

  uilib::SIZE size = paint_manager_.GetInitSize();
  if (size.cx != 0) {
    int x = uilib::GetSystemMetrics(uilib::SM_CXFULLSCREEN) - size.cx - 5;
    int y = (uilib::GetSystemMetrics(uilib::SM_CYFULLSCREEN) - size.cy) / 2;
    uilib::SetWindowPos(GetHWND(), 0, x, y, size.cx, size.cy, uilib::SWP_NOZORDER);
  }
}

const std::vector<std::string>& COBFrameWnd::SiteMethods() {
  static const std::vector<std::string> kMethods = {"CB_OnLoad", "CB_CloseAction"};
  return kMethods;
}

std::string COBFrameWnd::HtmlFolderUrl() const {
  return uilib::FileUrl(brx::util::WideToUtf8(services_->ProgramDir()) + "/html/");
}

bool COBFrameWnd::PageIsLocal() const {
  return browser_ != nullptr &&
         uilib::UrlAllowed(brx::util::WideToUtf8(browser_->CurrentUrl()), {HtmlFolderUrl()});
}

void COBFrameWnd::EnsurePage() {
  if (page_tried_ || !browsers_ || GetHWND() == 0) return;
  page_tried_ = true;
  browser_ = browsers_(GetHWND(), uilib::RECT{0, 0, 0, 0});
  if (!browser_) return;
  dispatch_->set_browser(browser_.get());
  std::string html = HtmlFolderUrl();
  std::string site = brx::util::WideToUtf8(services_->SiteAddress());
  uilib::ExternalAccess access;
  access.trusted_prefixes = {html};
  if (!site.empty()) {
    access.limited_prefixes = {site};
    access.limited_methods = SiteMethods();
  }
  browser_->SetExternalAccess(dispatch_.get(), access);
  std::vector<std::string> stay = {html};
  if (!site.empty()) stay.push_back(site);
  FrameServices* services = services_;
  browser_->SetNavigationPolicy(
      stay, [services](const std::string& url) { services->OpenInWebBrowser(url); });
  browser_->Navigate(LocalPageUrl());
  if (slot_ != nullptr) slot_->SetListener(this);
  card_ = std::make_unique<MiniUserCard>(browsers_);
  card_->CreateMiniCard(GetHWND(), browser_.get(), services_->ProgramDir());
}

void COBFrameWnd::OnSlotChanged(const uilib::RECT& client_rect, bool visible) {
  if (!browser_) return;
  browser_->SetRect(client_rect);
  browser_->SetVisible(visible);
}

uilib::LRESULT COBFrameWnd::OnNcHitTest(uilib::WPARAM, uilib::LPARAM lparam, bool& handled) {
  handled = true;
  return CaptionHitTest(lparam, {L"ButtonUI", L"OptionUI", L"TextUI"});
}

uilib::LRESULT COBFrameWnd::HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                                          uilib::LPARAM lparam) {
  switch (msg) {
    case uilib::WM_DESTROY:
      uilib::PostQuitMessage(0);
      return 0;
    case uilib::WM_CLOSE:
      uilib::ShowWindow(GetHWND(), uilib::SW_HIDE);
      return 0;
    case uilib::WM_SHOWWINDOW:
      if (wparam != 0) EnsurePage();
      break;
    case uilib::WM_KEYUP:
      // A disabled or hidden button is never activated, so Enter cannot
      // post twice or post while the editor is out of sight.
      if (wparam == uilib::VK_RETURN && commit_ != nullptr) commit_->Activate();
      break;
    case kScreenshotChosen: {
      // The picker's item lives until this send returns: copy what is kept.
      const auto* shot = reinterpret_cast<const PictureItem*>(lparam);
      if (shot != nullptr) OnScreenshotChosen(shot->path, shot->gameId);
      return 0;
    }
    case uilib::WM_TIMER:
      if (wparam == kDelayedCheckTimer) {
        uilib::KillTimer(GetHWND(), kDelayedCheckTimer);
        windows_->RunQuotaCheck();
        return 0;
      }
      break;
    case kScriptResult:
      if (dispatch_) dispatch_->DeliverResults();
      return 0;
    default:
      break;
  }
  return OBUIWindow::HandleMessage(msg, wparam, lparam);
}

void COBFrameWnd::Notify(uilib::TNotifyUI& msg) {
  if (msg.pSender == nullptr) return;
  const std::wstring name = msg.pSender->GetName();
  if (msg.sType == L"click") {
    static const wchar_t* const kHidesTips[] = {L"userbtn",
                                                L"insertpicbtn",
                                                L"picbtn",
                                                L"topicbtn",
                                                L"menubtn",
                                                L"confbtn",
                                                L"keybtn",
                                                L"lookForbtn",
                                                L"goToOmbrix",
                                                L"findOut",
                                                L"recommend_tip_close_button_1",
                                                L"recommend_tip_close_button_2"};
    for (const wchar_t* tip_name : kHidesTips) {
      if (name == tip_name) HideTips();
    }
    if (name == L"recommend_tip_continue_button") {
      if (auto* c = Find(L"recommend_tip_1")) c->SetVisible(false);
      if (auto* c = Find(L"recommend_tip_2")) c->SetVisible(true);
      if (auto* c = Find(L"recommend_tip_2_arrow")) c->SetVisible(true);
    }
    if (name == L"minbtn") {
      SendMessage(uilib::WM_SYSCOMMAND, uilib::SC_MINIMIZE, 0);
    } else if (name == L"closebtn") {
      uilib::ShowWindow(GetHWND(), uilib::SW_HIDE);
      if (card_) card_->HideMiniCard();
    } else if (name == L"feedbackbtn") {
      windows_->ShowFeedback();
    } else if (name == L"insertpicbtn") {
      windows_->OpenPicker();
    } else if (name == L"picbtn") {
      windows_->OpenAlbum();
    } else if (name == L"menubtn") {
      windows_->ShowContextMenu();
    } else if (name == L"confbtn") {
      windows_->ShowSettings(1);
    } else if (name == L"keybtn") {
      windows_->ShowSettings(2);
    } else if (name == L"commitbtn") {
      Post();
    } else if (name == L"topicbtn") {
      InsertTopic();
    } else if (name == L"userbtn") {
      if (sign_in_ == SignInState::kAccount) {
        windows_->ShowUserInfo();
      } else {
        resume_after_sign_in_ = true;
        AskToSignIn();
      }
    } else if (name == L"eventbtn") {
      site_shown_ = true;
      Navigate(services_->SiteAddress() + L"Action/MiniIndex_" + services_->GameId() +
               L".aspx?sessionid=" + services_->SessionId());
    } else if (name == L"lookForbtn") {
      if (site_shown_) {
        Navigate(LocalPageUrl() + L"?load=search");
      } else {
        ShowLayout(2, false);
      }
    } else if (name == L"findOut") {
      auto* box = Find<uilib::CRichEditUI>(L"userName");
      if (box != nullptr && !box->GetText().empty())
        services_->SearchByNickAndProfile(box->GetText(), L"1", L"100");
    } else if (name == L"followthem") {
      FollowSelected(search_);
      if (auto* box = Find<uilib::CRichEditUI>(L"userName")) box->SetText(L"");
      if (auto* c = Find(L"LayoutSearchFriend_searchresult")) c->SetVisible(false);
      if (auto* c = Find(L"followthem")) c->SetVisible(false);
    } else if (name == L"goToOmbrix") {
      FollowSelected(friends_);
      ShowLayout(0, false);
    } else if (name == L"goBack") {
      if (search_ != nullptr) search_->Clear();
      if (auto* box = Find<uilib::CRichEditUI>(L"userName")) box->SetText(L"");
      if (auto* c = Find(L"LayoutSearchFriend_searchresult")) c->SetVisible(false);
      ShowLayout(0, false);
    }
  } else if (msg.sType == L"selectchanged" && name == L"insertpicbtn") {
    if (pic_button_ != nullptr && !pic_button_->IsAttached()) RemoveAttachment();
    RefreshCommitButton();
  } else if (msg.sType == L"textchanged" && name == L"txtrich") {
    HideTips();
    RefreshCommitButton();
  }
  if (friends_ != nullptr) friends_->HandleNotify(msg);
  if (search_ != nullptr) search_->HandleNotify(msg);
}

void COBFrameWnd::FollowSelected(COBListUI* list) {
  if (list == nullptr) return;
  std::wstring ids = list->GetSelectedAccounts();
  if (!ids.empty()) services_->AddFollowList(ids, FromHandle{FromHandle::kClient, 0});
  list->Clear();
}

bool COBFrameWnd::FillList(COBListUI* list, const std::wstring& json) {
  if (list == nullptr) return false;
  std::vector<OBListRecord> users;
  list->Clear();
  if (!ParseListUsers(json, services_->UserId(), &users)) return false;
  for (const OBListRecord& user : users) {
    if (!list->AddRecord(user)) {
      list->Clear();
      return false;
    }
  }
  if (list->user_count() > 0) list->ShowPage(1);
  return true;
}

void COBFrameWnd::OnFriends(const EventParameter* p) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_GetWYGameUserFriend*>(p);
  if (reply->ok) FillList(friends_, reply->text);
}

void COBFrameWnd::OnSearch(const EventParameter* p) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_SearchByNickAndProfile*>(p);
  if (!reply->ok || !FillList(search_, reply->text)) return;
  // The list holds only found users (no placeholder entry): one found
  // user is a result.
  bool found = search_->user_count() > 0;
  if (auto* c = Find(L"LayoutSearchFriend_searchresult")) c->SetVisible(found);
  if (auto* c = Find(L"followthem")) c->SetVisible(found);
  if (auto* c = Find(L"LayoutSearchFriend_NoResults")) c->SetVisible(!found);
}

void COBFrameWnd::HideTips() {
  for (const wchar_t* name : {L"recommend_tip_1", L"recommend_tip_2", L"recommend_tip_2_arrow"}) {
    if (auto* c = Find(name)) c->SetVisible(false);
  }
  if (auto* c = Find(L"IEContainer")) c->SetVisible(true);
}

void COBFrameWnd::ShowSearchPage(bool tell_page) {
  search_shown_ = true;
  if (auto* c = Find(L"HeadPictureContainer")) c->SetVisible(false);
  if (auto* c = Find(L"BottomContainer")) c->SetVisible(false);
  if (auto* ie = Find<uilib::CContainerUI>(L"IEContainer")) {
    ie->SetFixedHeight(626);
    ie->SetInset(uilib::RECT{0, 0, 0, 0});
  }
  if (auto* container = Find(L"OBFrameContainer")) container->SetBkImage(kSearchBackground);
  if (tell_page) CallPage("Notify_ShowPage", {L"load_search"});
}

void COBFrameWnd::ShowFrameIfHidden() {
  // A game in full screen keeps the screen; a reminder waits in the tray.
  if (COBLoginWnd::IsFullScreenWindowShown()) return;
  if (!services_->HasSession() || sign_in_ != SignInState::kAccount) return;
  if (uilib::IsWindowVisible(GetHWND()) || !services_->LoginWindowFinished()) return;
  uilib::ShowWindow(GetHWND(), uilib::SW_SHOWNORMAL);
  uilib::SetForegroundWindow(GetHWND());
}

void COBFrameWnd::ShowRemind(const std::wstring& which) {
  ShowFrameIfHidden();
  if ((which == L"1" || which == L"2") && site_shown_) {
    Navigate(LocalPageUrl());
    return;
  }
  if (search_shown_) ShowDefaultPage();
  CallPage("RemindShow", {which});
}

void COBFrameWnd::CallPage(const std::string& name, const ScriptArgs& args) {
  if (!page_ready_) {
    if (waiting_calls_.size() == kMaxWaitingPageCalls) waiting_calls_.pop_front();
    waiting_calls_.emplace_back(name, args);
    return;
  }
  // The browser itself calls only the local page, wherever the view is.
  CallPageFunction(args, name, browser_.get());
}

void COBFrameWnd::Navigate(const std::wstring& url) {
  if (browser_) browser_->Navigate(url);
}

void COBFrameWnd::SetStatus(const std::wstring& text) {
  if (topic_num_ != nullptr) topic_num_->SetText(text);
}

// ---- sign-in and page operations

void COBFrameWnd::ShowAfterSignIn(SignInState state, LoginStood login_stood) {
  EnsurePage();
  // A guest's draft goes out after the sign-in only when the guest had
  // pressed commit, not merely because text was left typed.
  bool activate = state == SignInState::kAccount && guest_post_pending_;
  guest_post_pending_ = false;
  bool resume = resume_after_sign_in_;
  if (state == SignInState::kAccount && !activate && editor_ != nullptr) editor_->SetText(L"");
  sign_in_ = state;
  posting_ = false;
  uploading_ = false;
  RefreshCommitButton();
  if (activate && commit_ != nullptr) commit_->Activate();
  windows_->EnsureContextMenu();
  windows_->EnsureUserInfo();
  for (const wchar_t* name : {L"recommend_tip_1", L"recommend_tip_2", L"recommend_tip_2_arrow"}) {
    if (auto* c = Find(name)) c->SetVisible(false);
  }
  services_->SetConfigValue(L"root.user.recommendtipsshowed", L"1");
  uilib::ShowWindow(GetHWND(), login_stood == LoginStood::kVisible  ? uilib::SW_SHOWNORMAL
                               : login_stood == LoginStood::kHidden ? uilib::SW_HIDE
                                                                    : uilib::SW_SHOWNA);
  ShowLayout(0, resume);
  uilib::SetLayeredWindowAttributes(GetHWND(), kColorKey, 255, uilib::LWA_COLORKEY);
  delayed_check_started_ = false;
  uilib::KillTimer(GetHWND(), kDelayedCheckTimer);
  if (login_stood == LoginStood::kVisible) StartDelayedCheck();
}

bool COBFrameWnd::ShowLayout(int index, bool resume) {
  if (index < 0 || index > 2 || Find(kLayouts[index]) == nullptr) return false;
  for (const wchar_t* name : kLayouts) {
    if (auto* layout = Find(name)) layout->SetVisible(false);
  }
  if (index == 0) {
    ShowNormalLayout(resume);
  } else if (index == 2) {
    ShowSearchPage(true);
  }
  if (auto* normal = Find(kLayouts[0])) normal->SetVisible(true);
  return true;
}

void COBFrameWnd::ShowNormalLayout(bool resume) {
  if (sign_in_ == SignInState::kAccount) {
    SetGuestMode(false);
    SendKnowStatus();
  } else if (sign_in_ == SignInState::kGuest) {
    SetGuestMode(true);
  }
  if (resume) ShowRemind(L"4");
  resume_after_sign_in_ = false;
  if (editor_ != nullptr) editor_->SetFocus();
}

void COBFrameWnd::SetGuestMode(bool guest) {
  for (const wchar_t* name : kGuestLocked) {
    if (auto* control = Find(name)) control->SetEnabled(!guest);
  }
  if (guest) CallPage("RandomLook");
  windows_->SetGuestMode(guest);
}

void COBFrameWnd::StartDelayedCheck() {
  if (delayed_check_started_) return;
  delayed_check_started_ = true;
  // A window timer: the check touches windows, so it runs on this thread.
  uilib::SetTimer(GetHWND(), kDelayedCheckTimer, kDelayedCheckMs);
}

void COBFrameWnd::ReturnToDefaultPage() {
  if (site_shown_) {
    Navigate(LocalPageUrl());
  } else if (search_shown_) {
    ShowDefaultPage();
  }
}

void COBFrameWnd::OnPageLoad(const std::wstring& page_name) {
  // Only the local page's load matters: the site's notice changes nothing,
  // and nothing of the user is replayed into it.
  if (page_name.empty() || !PageIsLocal()) return;
  if (!page_ready_) {
    page_ready_ = true;
    std::deque<std::pair<std::string, ScriptArgs>> waiting;
    waiting.swap(waiting_calls_);
    for (const auto& [name, args] : waiting) CallPage(name, args);
  }
  std::wstring server = services_->ServerAddress(L"ClientInterfaceServer");
  if (page_name == L"default") {
    if (!server.empty()) CallPage("Config_UrlPrompt", {server});
    if (services_->HasSession()) CallPage("User_SetCurrentUserID", {services_->UserId()});
    if (site_shown_) {
      if (!saved_sign_in_args_.empty()) CallPage("UserLogin", saved_sign_in_args_);
      site_shown_ = false;
    }
  } else if (page_name == L"search" && site_shown_) {
    site_shown_ = false;
    ShowSearchPage(false);
    if (!server.empty()) CallPage("Config_UrlPrompt", {server});
    if (!saved_sign_in_args_.empty())
      CallPage("UserLogin", {saved_sign_in_args_[0], L"load_search"});
  }
}

void COBFrameWnd::AskToSignIn() {
  if (COBContextMenu* menu = windows_->EnsureContextMenu()) {
    menu->RequestLogin(true);
  } else {
    services_->RequestSignIn(L"登录后继续刚才的操作!");
  }
}

void COBFrameWnd::HideAndSignOut() {
  // A guest on the way to an account keeps what was pressed.
  if (sign_in_ != SignInState::kGuest) {
    guest_post_pending_ = false;
    resume_after_sign_in_ = false;
  }
  if (site_shown_) Navigate(LocalPageUrl());
  uilib::ShowWindow(GetHWND(), uilib::SW_HIDE);
  SetGuestMode(false);
  services_->UserLogout();
  // What waits for the page belongs to the user who leaves.
  waiting_calls_.clear();
  CallPage("Other_ClearState");
  services_->ShowLoginWindow();
  sign_in_ = SignInState::kSignedOut;
  // The next user must not get this one's sign-in replayed into the page.
  saved_sign_in_args_.clear();
  site_shown_ = false;
  windows_->ResetUserInfo();
}

void COBFrameWnd::RequestUserLogout() {
  services_->UserLogout();
  SendMessage(uilib::WM_SETICON, 1, kIconSignedOut);
}

void COBFrameWnd::ResetAboutUserCount() {
  services_->ResetCounter(SEVENT_RESPONSE_ResetAboutUserCount);
}
void COBFrameWnd::ResetMessageCount() {
  services_->ResetCounter(SEVENT_RESPONSE_ResetMessageCount);
}
void COBFrameWnd::ResetFansCount() { services_->ResetCounter(SEVENT_RESPONSE_ResetFansCount); }
void COBFrameWnd::ResetMirrorBlogCount() {
  services_->ResetCounter(SEVENT_RESPONSE_ResetMirrorBlogCount);
}

void COBFrameWnd::ShowMiniCard(const ScriptArgs& args) {
  if (card_) card_->ShowMiniCard(args);
}

void COBFrameWnd::ShowDefaultPage() {
  search_shown_ = false;
  CallPage("Notify_ShowPage", {L"load_default"});
  if (auto* c = Find(L"HeadPictureContainer")) c->SetVisible(true);
  if (auto* c = Find(L"BottomContainer")) c->SetVisible(true);
  if (auto* ie = Find<uilib::CContainerUI>(L"IEContainer")) {
    ie->SetFixedHeight(ie_height_);
    ie->SetInset(ie_inset_);
  }
  if (!frame_background_.empty()) {
    if (auto* container = Find(L"OBFrameContainer"))
      container->SetBkImage(frame_background_.c_str());
  }
  // Last: the editor takes the focus only once its container is back.
  ShowLayout(0, false);
}

void COBFrameWnd::CloseAction() {
  if (site_shown_) Navigate(LocalPageUrl());
}

void COBFrameWnd::SetKnowStatus(const std::wstring& text) {
  know_status_ = text == L"true";
  services_->SetConfigValue(kKnowKey, know_status_ ? L"1" : L"0");
}

void COBFrameWnd::SendKnowStatus() { CallPage("GetKnow", {know_status_ ? L"true" : L"false"}); }

void COBFrameWnd::OpenOriginImage(const std::wstring& url) {
  std::wstring account = services_->HasSession() ? services_->Account() : L"All Users";
  if (account.empty() || account.find(L'/') != std::wstring::npos ||
      account.find(L"..") != std::wstring::npos) {
    account = L"All Users";
  }
  std::filesystem::path folder =
      std::filesystem::path(services_->ProgramDir()) / L"Users" / account / L"Cache";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::wstring file = (folder / OriginImageFileName(url)).wstring();
  if (std::filesystem::exists(file, error)) {
    services_->OpenWithShell(file);
    return;
  }
  if (services_->GameDownloadFile(url, file, FromHandle{FromHandle::kClient, 0})) {
    wanted_downloads_.insert({url, file});
  }
}

// ---- events

void COBFrameWnd::OnServerConfig(const EventParameter*) {
  std::wstring server = services_->ServerAddress(L"ClientInterfaceServer");
  if (!server.empty()) CallPage("Config_UrlPrompt", {server});
}

void COBFrameWnd::OnUserLogin(const EventParameter* p) {
  auto* login = static_cast<const payload::SEVENT_RESPONSE_UserLogin*>(p);
  saved_sign_in_args_ = {SignInTextForPage(login->param)};
  CallPage("UserLogin", saved_sign_in_args_);
  if (login->ok) SendMessage(uilib::WM_SETICON, 1, kIconSignedIn);
}

void COBFrameWnd::OnUserLoginByTicket(const EventParameter* p) {
  auto* login = static_cast<const payload::SEVENT_RESPONSE_UserLoginByTicket*>(p);
  CallPage("UserLogin", {SignInTextForPage(login->param)});
  SendKnowStatus();
  if (login->ok) SendMessage(uilib::WM_SETICON, 1, kIconSignedIn);
}

void COBFrameWnd::OnUserLogout(const EventParameter*) {
  CallPage("UserLogout");
  if (auto* user = Find<uilib::CButtonUI>(L"userbtn")) {
    user->SetNormalImage(user_images_[0].c_str());
    user->SetHotImage(user_images_[1].c_str());
    user->SetPushedImage(user_images_[2].c_str());
    user->Invalidate();
  }
}

void COBFrameWnd::OnDataPrompt(const EventParameter* p) {
  if (sign_in_ == SignInState::kGuest) return;
  CallPage("Notify_DataPrompt", {static_cast<const EVENT_DATA_STRINGPARAM1*>(p)->param});
}

void COBFrameWnd::OnDownload(const EventParameter* p) {
  auto* done = static_cast<const payload::SEVENT_RESPONSE_GameDownloadFile*>(p);
  // Head images of the lists come through here too: only the pictures
  // the page asked to see are opened.
  auto it = wanted_downloads_.find({done->url, done->local_file});
  if (it == wanted_downloads_.end()) return;
  wanted_downloads_.erase(it);
  if (done->ok) services_->OpenWithShell(done->local_file);
}

void COBFrameWnd::OnUserInfoUpdated(const EventParameter* p) {
  if (!static_cast<const payload::SEVENT_RESPONSE_UpdateUserInfo*>(p)->ok) return;
  const UserAccountRecord* user = services_->CurrentUser();
  if (user == nullptr || user->HeadImageUrl.empty()) return;
  std::error_code error;
  // Until the download the field holds the server's addresses, not a file.
  if (!std::filesystem::is_regular_file(std::filesystem::path(user->HeadImageUrl), error)) return;
  ConvertGifToPngInPlace(user->HeadImageUrl);
  if (auto* button = Find<uilib::CButtonUI>(L"userbtn")) {
    std::wstring image = L"file='" + user->HeadImageUrl + L"'";
    button->SetNormalImage(image.c_str());
    button->SetHotImage(image.c_str());
    button->SetPushedImage(image.c_str());
    button->Invalidate();
  }
}
