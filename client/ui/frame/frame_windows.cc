#include "client/ui/frame/frame_windows.h"

#include <utility>

#include "client/core/config_store.h"
#include "client/ui/controls/ob_user_button_ui.h"
#include "client/ui/dialogs/about_dialog.h"
#include "client/ui/dialogs/feed_dialog.h"
#include "client/ui/dialogs/warning_dialog.h"
#include "client/ui/frame/ob_frame_wnd.h"
#include "client/ui/picture/ob_album_wnd.h"
#include "client/ui/picture/ob_pic_wnd.h"
#include "client/ui/settings/confirm_dialog.h"
#include "runtime/util/text_convert.h"
#include "uilib/winsys/win_api.h"

namespace {

const FromHandle kFromFrame{FromHandle::kClient, 0};

// The album's "delete?" question on the skinned confirmation dialog. The
// dialog's window is made on the first question, owned by the window that
// asks (the album), and goes with this object.
class ConfirmPrompt : public IConfirmPrompt {
 public:
  explicit ConfirmPrompt(const ControlContext* context) : dialog_(context) {}

  void Ask(uilib::HWND parent, const std::wstring&, const std::wstring&,
           std::function<void()> on_yes, std::function<void()> on_no) override {
    if (dialog_.GetHWND() == 0 && dialog_.CreateDialogWindow(parent) == 0) {
      // Without the question nothing is deleted.
      if (on_no) on_no();
      return;
    }
    dialog_.SetCallbacks(
        [yes = std::move(on_yes)](uintptr_t) {
          if (yes) yes();
        },
        [no = std::move(on_no)](uintptr_t) {
          if (no) no();
        });
    dialog_.Show();
  }

 private:
  CConfirmDialog dialog_;
};

}  // namespace

FrameWindows::FrameWindows(COBFrameWnd* frame, FrameServices* services,
                           const ControlContext* context)
    : frame_(frame), services_(services), context_(context) {}

FrameWindows::~FrameWindows() = default;

void FrameWindows::ShowFeedback() {
  if (!feed_) {
    feed_ = std::make_unique<CFeedDialog>(
        context_->skin_folder, services_->Events(),
        [services = services_](const std::wstring& content, const std::wstring& title) {
          services->SendFeedback(content, title);
        });
    feed_->CreateOwned(frame_->GetHWND(), L"OBFeedDialog");
  }
  feed_->Show();
}

void FrameWindows::ShowWarning(const std::wstring& title, const std::wstring& text) {
  if (!warning_) {
    warning_ = std::make_unique<CWarningDialog>(context_->skin_folder);
    warning_->CreateOwned(frame_->GetHWND(), L"OBWarningDialog");
  }
  warning_->Show(title, text);
}

void FrameWindows::OpenPicker() {
  if (!picker_) {
    picker_ = std::make_unique<COBPicWnd>(this);
    if (picker_->Create(frame_->GetHWND()) == 0) {
      picker_.reset();
      return;
    }
  }
  if (!picker_->shown()) picker_->ShowPictures();
  SetOpenerEnabled(L"picbtn", false);
  frame_->RefreshCommitButton();
}

void FrameWindows::OpenAlbum() {
  if (!album_) {
    album_ = std::make_unique<COBAlbumWnd>(this);
    if (album_->Create(frame_->GetHWND()) == 0) {
      album_.reset();
      return;
    }
  }
  if (!album_->shown()) album_->ShowPictures();
  SetOpenerEnabled(L"insertpicbtn", false);
}

COBContextMenu* FrameWindows::EnsureContextMenu() {
  if (menu_) return menu_.get();
  ConfigurationDialogHost host = services_->SettingsHost();
  host.controls = context_;
  if (host.events == nullptr) host.events = services_->Events();
  host.show_quota_overflow = [this](int megabytes) { ShowQuotaNote(megabytes); };
  config_ = host.config;
  // Without a configuration store there is nothing to set.
  if (config_ == nullptr) return nullptr;
  menu_ = std::make_unique<COBContextMenu>(this, std::move(host));
  if (!menu_->Create()) {
    menu_.reset();
    return nullptr;
  }
  menu_->SetSignedOut(frame_->sign_in_state() != SignInState::kAccount);
  return menu_.get();
}

void FrameWindows::ShowContextMenu() {
  if (COBContextMenu* menu = EnsureContextMenu()) menu->ShowAt();
}

void FrameWindows::ShowSettings(int tab) {
  if (EnsureContextMenu() != nullptr) menu_->settings()->Show(tab);
}

CUserInfoDialog* FrameWindows::EnsureUserInfo() {
  if (!user_info_) {
    user_info_ = std::make_unique<CUserInfoDialog>(this, services_->Events(), context_);
    if (user_info_->CreateDialogWindow(frame_->GetHWND()) == 0) user_info_.reset();
  }
  return user_info_.get();
}

void FrameWindows::ShowUserInfo() {
  services_->RequestProfile(kFromFrame);
  if (!user_info_) return;
  if (auto* user = frame_->Find<COBUserButtonUI>(L"userbtn")) user->ResetHover();
  user_info_->ShowDialog(nullptr);
}

void FrameWindows::ResetUserInfo() {
  if (user_info_) user_info_->Reset();
}

void FrameWindows::SetGuestMode(bool guest) {
  if (menu_) menu_->SetSignedOut(guest);
}

bool FrameWindows::RunQuotaCheck() {
  CConfigurationDialog* dialog = EnsureContextMenu() != nullptr ? menu_->settings() : nullptr;
  return dialog != nullptr && dialog->RunQuotaCheck();
}

void FrameWindows::ShowQuotaNote(int megabytes) {
  CConfigurationDialog* dialog = settings();
  if (dialog == nullptr) return;
  if (!quota_) {
    quota_ = std::make_unique<CQuotaOverflowDialog>(context_->skin_folder, this);
    quota_->CreateOwned(dialog->GetHWND(), L"OBQuotaOverflowDialog");
  }
  quota_->Show(megabytes);
}

void FrameWindows::SetOpenerEnabled(const wchar_t* name, bool enabled) {
  if (uilib::CControlUI* opener = frame_->Find(name)) opener->SetEnabled(enabled);
}

// ---- IPictureWindowHost

ShotCatalogue& FrameWindows::GetShotCatalogue() {
  ShotCatalogue* shots = services_->Shots();
  return shots != nullptr ? *shots : no_shots_;
}

void FrameWindows::GetGameIds(std::vector<std::wstring>* ids) { *ids = services_->GameIds(); }

std::wstring FrameWindows::GetSkinFolder() { return context_->skin_folder; }

void FrameWindows::EnableOpener(PictureOpener opener) {
  // A guest never gets the album's opener back.
  if (opener == PictureOpener::kAlbum && frame_->sign_in_state() == SignInState::kGuest) return;
  SetOpenerEnabled(opener == PictureOpener::kPicker ? L"insertpicbtn" : L"picbtn", true);
  frame_->RefreshCommitButton();
}

std::unique_ptr<IConfirmPrompt> FrameWindows::CreateConfirmPrompt() {
  return std::make_unique<ConfirmPrompt>(context_);
}

// ---- ContextMenuHost

uilib::HWND FrameWindows::MainWindow() const { return frame_->GetHWND(); }

bool FrameWindows::IsSignedOutState() const {
  return frame_->sign_in_state() == SignInState::kGuest;
}

void FrameWindows::ChangeUser() { frame_->HideAndSignOut(); }

void FrameWindows::ShowAbout() {
  if (!about_) {
    about_ = std::make_unique<CAboutDialog>(context_->skin_folder, services_->AboutInfo());
    about_->CreateOwned(frame_->GetHWND(), L"OBAboutDialog");
  }
  about_->Show();
}

void FrameWindows::OpenCommunitySite() { services_->OpenCommunitySite(); }

void FrameWindows::AskYesNo(int kind, const std::wstring& first_line,
                            const std::wstring& second_line) {
  if (!yes_no_) {
    yes_no_ = std::make_unique<CYesNoDialog>(context_->skin_folder, this);
    yes_no_->CreateOwned(frame_->GetHWND(), L"OBYesNoDialog");
  }
  yes_no_->Show(kind, first_line, second_line);
}

// ---- UserInfoHost

const UserAccountRecord* FrameWindows::CurrentUser() const { return services_->CurrentUser(); }

void FrameWindows::UpdateUserInfo(const std::map<std::wstring, std::wstring>& fields) {
  services_->UpdateUserInfo(fields);
}

void FrameWindows::UpdateGameProfile(const std::wstring& json) {
  services_->UpdateGameProfile(json);
}

void FrameWindows::RequestAvatarKey() { services_->RequestAvatarKey(); }

void FrameWindows::OpenAvatarEditor(const std::wstring& key, const uilib::RECT& at) {
  services_->OpenAvatarEditor(key, at);
}

// ---- IYesNoFrame

void FrameWindows::HideAndSignOut() { frame_->HideAndSignOut(); }

void FrameWindows::ShowDefaultPage() { frame_->ReturnToDefaultPage(); }

// ---- IQuotaDialogOwner

void FrameWindows::CloseSettings() {
  if (CConfigurationDialog* dialog = settings()) dialog->Close();
}

void FrameWindows::ShowScreenshotFolderPage() {
  if (CConfigurationDialog* dialog = settings()) dialog->Show(3);
}

void FrameWindows::OpenScreenshotFolder() {
  if (config_ == nullptr) return;
  std::wstring path = config_->system().GetStorePath();
  if (!path.empty()) services_->OpenWithShell(path);
}
