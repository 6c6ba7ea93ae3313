#include "client/host/desktop_user_interface.h"

#include "client/app/ob_application.h"
#include "client/core/config_store.h"
#include "client/core/ui_string_table.h"
#include "client/host/client_composition.h"
#include "client/host/web_logic_adapter.h"
#include "client/host/window_links.h"
#include "client/ui/avatar/avatar_upload_address.h"
#include "client/ui/avatar/ob_update_user_image_dlg.h"
#include "client/ui/frame/frame_windows.h"
#include "client/ui/frame/ob_frame_wnd.h"
#include "client/host/web_frame_services.h"
#include "client/ui/login/ob_login_wnd.h"
#include "client/ui/tray/ob_wnd_tray.h"
#include "client/web/ob_logic_web_game.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_logic_manager.h"
#include "runtime/http/service_hosts.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/shell.h"
#include "runtime/util/edition.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"
#include "uilib/winsys/browser_host.h"
#include "uilib/winsys/notify_icon.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"

namespace {

constexpr uilib::DWORD kOverlappedWindow = 0x00CF0000;  // WS_OVERLAPPEDWINDOW

const wchar_t* OrEmpty(const wchar_t* text) { return text != nullptr ? text : L""; }

// The program's icon resources are pictures beside it: "OBHost<id>.png".
// One that is missing stays unregistered, and its windows and the tray
// show what the desktop shows for a program without an icon.
void RegisterClientIcons(const std::wstring& program_folder) {
  for (int id : {OBWndTray::kIconSignedOut, OBWndTray::kIconSignedIn, OBWndTray::kIconBlink}) {
    const std::wstring path = program_folder + L"/OBHost" + std::to_wstring(id) + L".png";
    if (brx::util::FileExists(path)) {
      uilib::RegisterIconResource(id, brx::util::WideToUtf8(path));
    } else {
      LogWarn(L"UI: the icon picture %ls is missing\n", path.c_str());
    }
  }
}

// The editor's uploaded picture becomes the user's head image on the
// service.
class WebAvatarHost : public AvatarEditorHost {
 public:
  explicit WebAvatarHost(WebLogicManager& web) : web_(web) {}
  void UpdateUserHeadImage(const std::wstring& url) override {
    web_.User().UpdateUserHeadImage(url);
  }

 private:
  WebLogicManager& web_;
};

}  // namespace

DesktopUserInterface::DesktopUserInterface(ClientComposition& composition)
    : DesktopUserInterface(composition, Pages()) {}

DesktopUserInterface::DesktopUserInterface(ClientComposition& composition, Pages pages)
    : composition_(composition), pages_(std::move(pages)) {}

DesktopUserInterface::~DesktopUserInterface() {
  DestroyTrayWindow();
  CloseWindows();
}

void DesktopUserInterface::ShowMessageBox(const wchar_t* text, const wchar_t* caption) {
  LogWarn(L"MessageBox[%ls]%ls\n", OrEmpty(caption), OrEmpty(text));
  uilib::MessageBox(0, text, caption);
}

void DesktopUserInterface::CreateMainWindows(OBApplication* app) {
  if (app == nullptr || composition_.web_logic() == nullptr) return;
  // The main loop waits in brx::base::GetMessage: the toolkit must run
  // there, or no input or painting reaches the windows.
  uilib::AttachUiToThisThread();
  LogWarnA("UI: windows on the %s backend\n", uilib::GetUiBackend().Name());

  ConfigStore& config = app->logic().config();
  WebLogicManager& web = composition_.web_logic()->manager();
  const std::wstring game_id = config.games().GetCurrentGameId();
  const std::wstring skin = L"OBSkin/" + game_id;
  const wchar_t* title = OrEmpty(UIStringTable::GetString(STRING_OMBRIX));

  RegisterClientIcons(app->program_folder());
  uilib::CPaintManagerUI::SetResourceInstance(0);
  uilib::CPaintManagerUI::InitToolTips(skin + L"/tooltips.xml");

  controls_.skin_folder = skin;
  controls_.events = &app->event_chain();
  controls_.user_folder = [&web] { return web.User().GetUserFolder(); };
  controls_.download = [&web](const std::wstring& url, const std::wstring& file) {
    web.Game().GameDownloadFile(url, file);
  };

  WebFrameServices::Links links;
  links.show_login_window = [this] { ShowLoginWindow(); };
  links.login_window_finished = [this] {
    return login_ && login_->state() == COBLoginWnd::State::kFinished;
  };
  links.open_url = [this](const std::string& url) { composition_.shell().OpenUrl(url); };
  links.request_sign_in = [this](const std::wstring&) { ShowLoginWindow(); };
  const std::string site = brx::http::StaticContentHost(brx::util::GetEditionGlobalConfig()) + "/";
  links.site_address = brx::util::Utf8ToWide(site);
  links.shots = &app->logic().catalogue();
  links.edition_key = brx::util::GetEditionKey();
  links.login_password = [this] { return login_ ? login_->GetLoginPassword() : std::wstring(); };
  links.account_site = brx::util::Utf8ToWide(pages_.account_site);
  links.choose_folder = [this](uilib::HWND owner, const std::wstring& chooser_title,
                               std::wstring* folder) {
    if (owner == 0 && frame_) owner = frame_->GetHWND();
    return uilib::ChooseFolder(owner, chooser_title, folder);
  };
  links.community_site = site;
  links.about = {brx::util::GetEditionVersion(), brx::util::GetEditionKeyDesc(), pages_.home_page};
  links.open_avatar_editor = [this, app](const std::wstring& key, const uilib::RECT& at) {
    OpenAvatarEditor(app, key, at);
  };
  avatar_host_ = std::make_unique<WebAvatarHost>(web);
  frame_services_ =
      std::make_unique<WebFrameServices>(web, config, app->program_folder(), std::move(links));

  frame_ = std::make_unique<COBFrameWnd>(frame_services_.get(), &controls_,
                                         [](uilib::HWND host, const uilib::RECT& rect) {
                                           return uilib::CreateBrowserHost(host, rect);
                                         });
  if (frame_->Create(0, title, kOverlappedWindow, 0) == 0) {
    LogError(L"UI: the main window cannot be created\n");
    frame_.reset();
    return;
  }
  frame_link_ = std::make_unique<FrameWindowLink>(*frame_);

  OBWndTray::RegisterMenus();
  OBWndTray::Links tray_links;
  tray_links.events = &app->event_chain();
  tray_links.config = &config.system();
  tray_links.user = &web.User();
  tray_links.frame = frame_link_.get();
  tray_links.skin_folder = skin;
  tray_ = std::make_unique<OBWndTray>(tray_links);
  if (tray_->Create(0, L"OBTray", kOverlappedWindow, 0) == 0)
    LogError(L"UI: the tray window cannot be created\n");

  COBLoginWnd::Links login_links;
  login_links.events = &app->event_chain();
  login_links.config = &config.system();
  login_links.user = &web.User();
  login_links.frame = frame_link_.get();
  login_links.tray = tray_.get();
  login_links.request_game_friends = [&web](const FromHandle& origin) {
    web.Game().GetWYGameUserFriend(origin);
  };
  login_links.exit_with_game = [&config] { return config.games().IsExitWithGame(); };
  login_links.register_url = pages_.register_url;
  login_links.recover_url = pages_.recover_url;
  login_links.home_page = pages_.home_page;
  login_ = std::make_unique<COBLoginWnd>(skin, login_links);
  const bool hidden = app->hidden_login();
  // Made hidden and shown (the visible style's effect) once centred, so it
  // never flashes at the corner.
  if (login_->Create(0, title, kOverlappedWindow, 0) == 0) {
    LogError(L"UI: the login window cannot be created\n");
    login_.reset();
    return;
  }
  PlaceLoginWindow(hidden);

  if (tray_ && tray_->GetHWND() != 0) tray_->SetTargetWindow(login_->GetHWND());
  login_->FocusInput();
  uilib::SendMessage(login_->GetHWND(), uilib::WM_SETICON, 1, OBWndTray::kIconSignedOut);
}

void DesktopUserInterface::PlaceLoginWindow(bool hidden) {
  uilib::HWND hwnd = login_->GetHWND();
  login_->CenterWindow();
  if (hidden) return;
  if (COBLoginWnd::IsFullScreenWindowShown()) {
    // A game covers the screen: appear without taking it from the game.
    uilib::ShowWindow(hwnd, uilib::SW_SHOWNA);
    return;
  }
  uilib::ShowWindow(hwnd, uilib::SW_SHOWNORMAL);
  uilib::SetForegroundWindow(hwnd);
  uilib::SetWindowPos(hwnd, uilib::HWND_TOP, 0, 0, 0, 0, uilib::SWP_NOMOVE | uilib::SWP_NOSIZE);
  uilib::SetFocus(hwnd);
  const bool was_top_most = uilib::IsTopMost(hwnd);
  uilib::SetWindowPos(hwnd, uilib::HWND_TOPMOST, 0, 0, 0, 0, uilib::SWP_NOMOVE | uilib::SWP_NOSIZE);
  if (!was_top_most)
    uilib::SetWindowPos(hwnd, uilib::HWND_NOTOPMOST, 0, 0, 0, 0,
                        uilib::SWP_NOMOVE | uilib::SWP_NOSIZE);
}

void DesktopUserInterface::OpenAvatarEditor(OBApplication* app, const std::wstring& key,
                                            const uilib::RECT& at) {
  if (!frame_ || composition_.web_logic() == nullptr) return;
  const std::wstring upload = AvatarUploadUrl(composition_.web_logic()->manager().ServerConfig());
  if (upload.empty()) {
    LogWarn(L"UI: no upload address for the avatar editor yet\n");
    return;
  }
  CUserInfoDialog* profile = frame_->windows().user_info();
  const uilib::HWND owner = profile != nullptr ? profile->GetHWND() : 0;
  if (avatar_ && avatar_->owner() != owner) avatar_.reset();
  if (!avatar_) {
    COBUpdateUserImageDlg::Setup setup;
    setup.host = avatar_host_.get();
    setup.messages = &app->message_chain();
    setup.browser_factory = [](uilib::HWND host, const uilib::RECT& rect) {
      return uilib::CreateBrowserHost(host, rect);
    };
    setup.program_dir = app->program_folder();
    setup.game_id = app->logic().config().games().GetCurrentGameId();
    setup.upload_url = upload;
    avatar_ = std::make_unique<COBUpdateUserImageDlg>(owner, std::move(setup));
  }
  avatar_->ShowAt(at, key);
}

void DesktopUserInterface::ShowLoginWindow() {
  if (login_) login_->Show();
}

bool DesktopUserInterface::TranslateMessage(const brx::base::Message& msg) {
  return uilib::CPaintManagerUI::TranslateMessage(msg);
}

void DesktopUserInterface::DispatchMessage(const brx::base::Message& msg) {
  const bool closing =
      msg.message == uilib::WM_SYSCOMMAND && msg.wParam == uilib::SC_CLOSE && msg.hwnd != 0;
  const std::wstring window = closing ? uilib::GetWindowClassName(msg.hwnd) : std::wstring();
  uilib::TranslateMessage(&msg);
  uilib::DispatchMessage(&msg);
  // What a window made of the user's close through the window manager,
  // for whoever reads the log after a report.
  if (closing)
    LogWarn(L"UI: %ls took the window manager's close: %ls\n", window.c_str(),
            uilib::IsWindowVisible(msg.hwnd) ? L"still shown" : L"hidden");
}

void DesktopUserInterface::DestroyTrayWindow() { tray_.reset(); }

void DesktopUserInterface::CloseWindows() {
  // The login window points at the tray and the frame link; the frame link
  // at the frame; the frame at its services.
  if (login_) login_->ForgetFrameAndTray();
  login_.reset();
  // The editor points at the profile editor (the frame's) and at the
  // application's message chain.
  avatar_.reset();
  avatar_host_.reset();
  frame_link_.reset();
  frame_.reset();
  frame_services_.reset();
}
