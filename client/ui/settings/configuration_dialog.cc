#include "client/ui/settings/configuration_dialog.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "client/core/config_keys.h"
#include "client/core/config_store.h"
#include "client/core/core_events.h"
#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "client/ui/dialogs/warning_dialog.h"
#include "client/ui/settings/folder_size_walk.h"
#include "client/ui/settings/store_folder_choice.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/shell.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "uilib/controls/button_ui.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace {

constexpr const wchar_t* kTabButtons[5] = {L"normalSetBtn", L"accelSetBtn", L"soundsetBtn",
                                           L"folderSetBtn", L"pwdSecuritySetBtn"};
constexpr const wchar_t* kTabContainers[5] = {L"regularSetContainer", L"accelSetContainer",
                                              L"soundSetContainer", L"folderSetContainer",
                                              L"pwdsecSetContainer"};
constexpr const wchar_t* kKeyEdits[4] = {L"OneShotAccel", L"ConShotAccel", L"partShotAccel",
                                         L"hideShowOmbrix"};
constexpr wchar_t kLaunchingWithGame[] = L"LaunchingWithGame";
constexpr wchar_t kAutoLoginOn[] = L"您已经设置了自动登录";
constexpr wchar_t kAutoLoginOff[] = L"您没有设置自动登录";
constexpr wchar_t kChooseFolderTitle[] = L"选择翎岚文件夹的保存位置";
constexpr wchar_t kChangePasswordPage[] =
    L"/PTInfo/SafeCenter/GetPwd/ChgPwdStepInputAcc.aspx?pwdchoose=chgpwd";
// Posted by the folder walks when they end.
constexpr UINT kQuotaMeasured = WM_USER + 0x160;
constexpr UINT kChosenFolderMeasured = WM_USER + 0x161;

void Check(COptionUI* option, bool on) {
  if (option != nullptr) option->Selected(on, false);
}
bool Checked(const COptionUI* option) { return option != nullptr && option->IsSelected(); }
void Enable(CControlUI* control, bool on) {
  if (control != nullptr) control->SetEnabled(on);
}
std::wstring TextOf(const CControlUI* control) {
  return control != nullptr ? control->GetText() : std::wstring();
}

}  // namespace

CConfigurationDialog::CConfigurationDialog(ConfigurationDialogHost host)
    : OBUIWindow(std::make_unique<CDialogBuilderCallbackEx>(host.controls), true),
      host_(std::move(host)) {
  skin_source_ = (host_.controls != nullptr ? host_.controls->skin_folder : std::wstring()) +
                 L"/configuration_dialog.xml";
}

CConfigurationDialog::~CConfigurationDialog() = default;

HWND CConfigurationDialog::CreateDialogWindow(HWND owner) {
  owner_ = owner;
  // Created hidden: the visible bit of the usual dialog style is left out.
  HWND hwnd = Create(owner, L"OBConfigurationDialog", 0x86C80000 & ~WS_VISIBLE, 129);
  if (hwnd != 0) {
    quota_walk_ = std::make_unique<FolderSizeWalk>(hwnd, kQuotaMeasured);
    chosen_walk_ = std::make_unique<FolderSizeWalk>(hwnd, kChosenFolderMeasured);
  }
  return hwnd;
}

bool CConfigurationDialog::measuring() const {
  return (quota_walk_ && quota_walk_->busy()) || (chosen_walk_ && chosen_walk_->busy());
}

std::wstring CConfigurationDialog::GameId() const {
  return host_.config->games().GetCurrentGameId();
}

void CConfigurationDialog::InitControls() {
  for (int i = 0; i < 5; ++i) {
    tab_buttons_[i] = Find<CButtonUI>(kTabButtons[i]);
    tab_containers_[i] = Find(kTabContainers[i]);
  }
  page1_ = Find(L"Container1");
  page2_ = Find(L"Container2");
  apply_ = Find<CButtonUI>(L"SetBtn");
  ok_ = Find(L"OKBtn");

  duration_.Init(Find<CButtonUI>(L"durationUpBtn"), Find<CRichEditUI>(L"durationEdit"),
                 Find<CButtonUI>(L"durationDownBtn"), 1, 3600, 1, 5, SpinValue::Kind::kInteger);
  interval_.Init(Find<CButtonUI>(L"intervalUpBtn"), Find<CRichEditUI>(L"intervalEdit"),
                 Find<CButtonUI>(L"intervalDownBtn"), 0.1f, 999.9f, 0.1f, 0.1f,
                 SpinValue::Kind::kDecimal);
  timer_shot_.Init(Find<CButtonUI>(L"timerShotUpBtn"), Find<CRichEditUI>(L"timerShotEdit"),
                   Find<CButtonUI>(L"timerShotDownBtn"), 1, 60, 1, 5, SpinValue::Kind::kInteger);
  quota_.Init(Find<CButtonUI>(L"quotaUpBtn"), Find<CRichEditUI>(L"quotaEdit"),
              Find<CButtonUI>(L"quotaDownBtn"), 1, 9999, 10, 500, SpinValue::Kind::kInteger);

  auto_start_ = Find<COptionUI>(L"checkRemPassword");
  auto_login_ = Find<COptionUI>(L"checkAutoLogin");
  launching_with_game_ = Find<COptionUI>(L"checkLaunchingWithGame");
  launching_tip_ = Find(L"checkLaunchingWithGameTipContainer");
  exit_with_game_ = Find<COptionUI>(L"checkExitWithGame");
  if (launching_tip_ != nullptr) launching_tip_->SetVisible(false);

  navigate_edit_ = Find<CRichEditUI>(L"navigateEdit");
  navigate_folder_ = Find(L"navigateFolder");
  save_default_ = Find<COptionUI>(L"saveToDefaultFolder");
  save_documents_ = Find<COptionUI>(L"saveTomyDocument");
  save_custom_ = Find<COptionUI>(L"saveToMySet");
  remind_quota_ = Find<COptionUI>(L"remindQuota");
  for (COptionUI* option : {save_default_, save_documents_, save_custom_})
    if (option != nullptr) option->SetGroup(L"1");

  auto_login_text_ = Find(L"textAutoLoginMessage");
  cancel_auto_login_ = Find(L"setAutoLoginBtn");

  mute_ = Find<COptionUI>(L"muteSound");
  one_shot_sound_ = Find<COptionUI>(L"OTShot");
  many_shot_sound_ = Find<COptionUI>(L"CTShot");

  for (int i = 0; i < 4; ++i) key_edits_[i] = Find<CRichEditUI>(kKeyEdits[i]);
  time_shot_ = Find<COptionUI>(L"TimeShot");

  paint_manager_.AddNotifier(this);
  LoadNormal();
  LoadAccel();
  LoadSound();
  LoadFolder();
  LoadAutoLoginText();
  SetDirty(false);
  SelectPage(1);
}

LRESULT CConfigurationDialog::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_KEYUP) {
    if (wparam == VK_ESCAPE) Close();
    return 0;
  }
  if (msg == kQuotaMeasured) {
    OnQuotaMeasured();
    return 0;
  }
  if (msg == kChosenFolderMeasured) {
    OnChosenFolderMeasured();
    return 0;
  }
  if (msg == WM_CLOSE) {  // the window manager's close: as Cancel, nothing saved
    Close();
    return 0;
  }
  return OBUIWindow::HandleMessage(msg, wparam, lparam);
}

void CConfigurationDialog::Show(int tab) {
  if (GetHWND() == 0) return;  // never made: the owner stays usable
  EndFolderCheck(false);
  LoadNormal();
  LoadAccel();
  LoadSound();
  LoadFolder();
  LoadAutoLoginText();
  SetDirty(false);
  CenterWindow();
  uilib::ShowWindow(GetHWND(), SW_SHOW);
  if (owner_ != 0) uilib::EnableWindow(owner_, false);
  // Every tab is shown on the page that holds it; a dialog last left on
  // the security page would otherwise show an empty page.
  switch (tab) {
    case 1:
      SelectPage(1);
      SelectTab(kNormal);
      break;
    case 2:
      SelectPage(1);
      SelectTab(kAccel);
      break;
    case 3:
      SelectPage(1);
      SelectTab(kFolder);
      break;
    default:
      break;
  }
  paint_manager_.SetFocus(nullptr);
  uilib::SetForegroundWindow(GetHWND());
}

void CConfigurationDialog::Close() {
  EndFolderCheck(false);
  if (owner_ != 0) {
    uilib::EnableWindow(owner_, true);
    uilib::SetForegroundWindow(owner_);
    uilib::ShowWindow(owner_, SW_SHOW);
  }
  uilib::ShowWindow(GetHWND(), SW_HIDE);
}

void CConfigurationDialog::SelectTab(uint32_t tab) {
  if (tab < 1 || tab > 5 || tab == current_tab_) return;
  for (int i = 0; i < 5; ++i) {
    if (tab_containers_[i] != nullptr) tab_containers_[i]->SetVisible(false);
    Enable(tab_buttons_[i], true);
  }
  Enable(tab_buttons_[tab - 1], false);
  if (tab_containers_[tab - 1] != nullptr) tab_containers_[tab - 1]->SetVisible(true);
  current_tab_ = tab;
  if (tab == kPasswordSecurity) LoadAutoLoginText();
}

void CConfigurationDialog::SelectPage(uint32_t page) {
  if (page1_ != nullptr) page1_->SetVisible(page == 1);
  if (page2_ != nullptr) page2_->SetVisible(page == 2);
  current_page_ = page;
  SelectTab(page == 1 ? kNormal : kPasswordSecurity);
}

void CConfigurationDialog::SetDirty(bool dirty) {
  dirty_ = dirty;
  Enable(apply_, dirty);
}

void CConfigurationDialog::LoadNormal() {
  Check(auto_start_, host_.config->IsAutoStartEnabled());
  Check(auto_login_, host_.config->system().IsAutoLogin());
  // The user's own value wins; the machine's is read only when the user
  // has none. No value at all means "launch with the game".
  uint32_t value = 1;
  bool read =
      brx::util::ReadLaunchingWithGame(
          brx::util::EditionRegistryPath(brx::util::kCurrentUserRoot, host_.edition_key), &value) ||
      brx::util::ReadLaunchingWithGame(
          brx::util::EditionRegistryPath(brx::util::kLocalMachineRoot, host_.edition_key), &value);
  bool checked = read && value == 0;
  Check(launching_with_game_, checked);
  if (launching_tip_ != nullptr) launching_tip_->SetVisible(checked);
  Check(exit_with_game_, host_.config->games().IsExitWithGame(GameId()));
}

void CConfigurationDialog::LoadAccel() {
  const GameConfigSet& games = host_.config->games();
  const std::wstring game = GameId();
  const std::wstring keys[4] = {games.GetOneShotKey(game), games.GetManyShotKey(game),
                                games.GetRegionOneShotKey(game), games.GetShowHideKey(game)};
  for (int i = 0; i < 4; ++i)
    if (key_edits_[i] != nullptr && !keys[i].empty()) key_edits_[i]->SetText(keys[i]);
  duration_.SetValue(static_cast<float>(games.GetManyShotDuration(game)));
  interval_.SetValue(games.GetManyShotInterval(game));
  int timed = games.GetTimeShotInterval(game);
  Check(time_shot_, timed >= 1);
  timer_shot_.SetEnabled(timed >= 1);
  if (timed >= 1) timer_shot_.SetValue(static_cast<float>(timed));
}

void CConfigurationDialog::LoadSound() {
  // Every box and its enabled state is set both ways, so a cancelled
  // change never survives into the next showing.
  const SystemConfig& system = host_.config->system();
  bool one = system.IsOneShotSound();
  bool many = system.IsManyShotSound();
  bool mute = !one && !many;
  Check(mute_, mute);
  Check(one_shot_sound_, one);
  Check(many_shot_sound_, many);
  SetSoundBoxesEnabled(!mute);
}

void CConfigurationDialog::SetSoundBoxesEnabled(bool enabled) {
  Enable(one_shot_sound_, enabled);
  Enable(many_shot_sound_, enabled);
}

void CConfigurationDialog::SetFolderEditEnabled(bool enabled) {
  Enable(navigate_edit_, enabled);
  Enable(navigate_folder_, enabled);
}

void CConfigurationDialog::LoadFolder() {
  const SystemConfig& system = host_.config->system();
  const std::wstring type = system.GetStoreType();
  Check(save_default_, type == L"default");
  Check(save_documents_, type == L"mydocument");
  Check(save_custom_, type == L"custom");
  if (navigate_edit_ != nullptr)
    navigate_edit_->SetText(type == L"custom" ? system.GetStorePath() : L"");
  SetFolderEditEnabled(type == L"custom");
  bool remind = system.GetConfigValue(config_keys::kQuotaEnable, L"0") == L"1";
  Check(remind_quota_, remind);
  quota_.SetValue(static_cast<float>(system.GetQuotaSize()));
  quota_.SetEnabled(remind);
}

void CConfigurationDialog::LoadAutoLoginText() {
  bool on = host_.config->system().IsAutoLogin();
  Enable(cancel_auto_login_, on);
  if (auto_login_text_ != nullptr) auto_login_text_->SetText(on ? kAutoLoginOn : kAutoLoginOff);
}

bool CConfigurationDialog::Save() {
  SystemConfig& system = host_.config->system();
  GameConfigSet& games = host_.config->games();
  const std::wstring game = GameId();
  // A typed folder is checked before anything is written, so a refusal
  // loses none of the other edits.
  StoreFolderChoice custom;
  const bool to_custom = !Checked(save_default_) && !Checked(save_documents_) &&
                         Checked(save_custom_) && !TextOf(navigate_edit_).empty();
  if (to_custom) {
    custom = CheckStoreFolder(TextOf(navigate_edit_));
    if (!custom.refusal.empty()) {
      Warn(custom.refusal);
      return false;
    }
  }

  host_.config->SetAutoStart(Checked(auto_start_));
  if (Checked(auto_login_)) {
    system.SetAutoLogin(true);
    if (host_.login_password) system.SetPassword(host_.login_password());
  } else {
    system.SetAutoLogin(false);
  }
  uint32_t launching = Checked(launching_with_game_) ? 0 : 1;
  brx::util::WriteRegistryDword(
      launching, brx::util::EditionRegistryPath(brx::util::kLocalMachineRoot, host_.edition_key),
      kLaunchingWithGame);
  brx::util::WriteRegistryDword(
      launching, brx::util::EditionRegistryPath(brx::util::kCurrentUserRoot, host_.edition_key),
      kLaunchingWithGame);
  games.SetExitWithGame(game, Checked(exit_with_game_));

  const std::wstring keys[4] = {TextOf(key_edits_[0]), TextOf(key_edits_[1]), TextOf(key_edits_[2]),
                                TextOf(key_edits_[3])};
  if (!keys[0].empty()) games.SetOneShotKey(game, keys[0]);
  if (!keys[1].empty()) games.SetManyShotKey(game, keys[1]);
  if (!keys[2].empty()) games.SetRegionOneShotKey(game, keys[2]);
  if (!keys[3].empty()) games.SetShowHideKey(game, keys[3]);
  int duration = static_cast<int>(duration_.value());
  games.SetManyShotDuration(game, duration);
  games.SetManyShotInterval(game, std::min(interval_.value(), static_cast<float>(duration)));
  games.SetTimeShotInterval(game, Checked(time_shot_) ? static_cast<int>(timer_shot_.value()) : 0);

  system.SetOneShotSound(Checked(one_shot_sound_));
  system.SetManyShotSound(Checked(many_shot_sound_));

  if (Checked(save_default_)) {
    system.SetStoreType(L"default");
  } else if (Checked(save_documents_)) {
    system.SetStoreType(L"mydocument");
  } else if (to_custom) {
    // The type first: setting it clears the stored path.
    system.SetStoreType(L"custom");
    system.SetStorePath(custom.folder);
  }
  if (Checked(remind_quota_)) {
    system.SetConfigValue(config_keys::kQuotaEnable, L"1");
    system.SetQuotaSize(static_cast<int>(quota_.value()));
  } else {
    system.SetConfigValue(config_keys::kQuotaEnable, L"0");
  }

  if (host_.events != nullptr) {
    payload::SEVENT_CONFIG_CHANGE_SYSTEM system_changed(payload::kConfigFromSettingsDialog, 0);
    host_.events->FireEvent(&system_changed);
    payload::SEVENT_CONFIG_CHANGE_GAME game_changed(game, payload::kConfigFromSettingsDialog, 0);
    host_.events->FireEvent(&game_changed);
  }
  return true;
}

bool CConfigurationDialog::RunQuotaCheck() {
  if (!quota_walk_) return false;
  // The folder the screenshots really go to (never empty: a fresh install
  // keeps them below the program folder). The reminder box is the
  // dialog's own setting; this check does not consult it.
  quota_walk_->Start(host_.config->system().GetSnapshotDirectory(), host_.store_walk);
  return true;
}

void CConfigurationDialog::OnQuotaMeasured() {
  std::optional<FolderSize> size = quota_walk_->Take();
  if (!size) return;
  const int megabytes = host_.config->system().GetQuotaSize();
  // What a cut-short walk counted is already a lower bound.
  if (!ExceedsQuota(size->bytes, megabytes)) {
    if (!size->complete)
      LogWarn(L"settings: the screenshot folder is too big to be measured against its quota\n");
    return;
  }
  if (!uilib::IsWindowVisible(GetHWND())) Show(3);
  if (host_.show_quota_overflow) host_.show_quota_overflow(megabytes);
}

void CConfigurationDialog::ChooseFolder() {
  // Opened where the field points, so a second browse starts from the
  // first one's choice.
  const std::wstring before = TextOf(navigate_edit_);
  std::wstring folder = before;
  if (!host_.choose_folder || !host_.choose_folder(GetHWND(), kChooseFolderTitle, &folder)) return;
  StoreFolderChoice choice = CheckStoreFolder(folder);
  if (!choice.refusal.empty()) {
    Warn(choice.refusal);
    return;
  }
  if (!chosen_walk_) return;
  // The quota check must be able to measure the folder the screenshots
  // will go to. Until that is known the choice stands in the field and
  // nothing can be saved.
  folder_before_check_ = before;
  checking_folder_ = true;
  if (navigate_edit_ != nullptr) navigate_edit_->SetText(choice.folder);
  Enable(ok_, false);
  Enable(apply_, false);
  Enable(navigate_folder_, false);
  chosen_walk_->Start(SystemConfig::NormalizeSnapshotDirectory(choice.folder), host_.store_walk);
}

void CConfigurationDialog::OnChosenFolderMeasured() {
  std::optional<FolderSize> size = chosen_walk_->Take();
  if (!size) return;
  EndFolderCheck(size->complete);
  if (!size->complete) Warn(kStoreFolderTooBig);
}

void CConfigurationDialog::EndFolderCheck(bool accepted) {
  if (!checking_folder_) return;
  checking_folder_ = false;
  if (chosen_walk_) chosen_walk_->Stop();
  if (!accepted && navigate_edit_ != nullptr) navigate_edit_->SetText(folder_before_check_);
  Enable(ok_, true);
  Enable(navigate_folder_, Checked(save_custom_));
  SetDirty(dirty_ || accepted);
}

void CConfigurationDialog::Warn(const std::wstring& text) {
  if (!warning_) {
    warning_ = std::make_unique<CWarningDialog>(
        host_.controls != nullptr ? host_.controls->skin_folder : L"");
    warning_->CreateOwned(GetHWND(), L"OBWarningDialog");
  }
  warning_->Show(L"提示", text);
}

void CConfigurationDialog::CancelAutoLogin() {
  host_.config->system().SetAutoLogin(false);
  Enable(cancel_auto_login_, false);
  if (auto_login_text_ != nullptr) auto_login_text_->SetText(kAutoLoginOff);
  Check(auto_login_, false);
}

void CConfigurationDialog::Notify(TNotifyUI& msg) {
  CControlUI* sender = msg.pSender;
  if (sender == nullptr) return;
  for (SpinEdit* spin : {&duration_, &interval_, &timer_shot_, &quota_}) {
    if (spin->HandleNotify(msg)) {
      if (msg.sType == L"buttondown") SetDirty(true);
      return;
    }
  }
  const std::wstring name = sender->GetName();
  if (msg.sType == L"click") {
    for (uint32_t i = 0; i < 5; ++i) {
      if (sender == tab_buttons_[i]) {
        SelectTab(i + 1);
        return;
      }
    }
    if (name == L"Container1Btn2") {
      SelectPage(1);
    } else if (name == L"Container2Btn1") {
      SelectPage(2);
    } else if (name == L"OKBtn") {
      if (Save()) Close();
    } else if (sender == apply_) {
      if (Save()) SetDirty(false);
    } else if (name == L"CancelBtn" || name == L"CloseBtn") {
      Close();
    } else if (sender == navigate_folder_) {
      ChooseFolder();
    } else if (name == L"openFolder") {
      std::wstring path = host_.config->system().GetStorePath();
      if (!path.empty() && host_.shell != nullptr)
        host_.shell->OpenFile(brx::util::WideToUtf8(path));
    } else if (name == L"setChangePasswordBtn") {
      if (host_.shell != nullptr)
        host_.shell->OpenUrl(brx::util::WideToUtf8(host_.account_site + kChangePasswordPage));
    } else if (sender == cancel_auto_login_) {
      CancelAutoLogin();
    }
    return;
  }
  if (msg.sType == L"selectchanged") {
    SetDirty(true);
    if (sender == mute_) {
      if (Checked(mute_)) {
        Check(one_shot_sound_, false);
        Check(many_shot_sound_, false);
      }
      SetSoundBoxesEnabled(!Checked(mute_));
    } else if (sender == save_custom_ || sender == save_documents_ || sender == save_default_) {
      SetFolderEditEnabled(Checked(save_custom_));
    } else if (sender == remind_quota_) {
      quota_.SetEnabled(Checked(remind_quota_));
    } else if (sender == time_shot_) {
      timer_shot_.SetEnabled(Checked(time_shot_));
    } else if (sender == launching_with_game_) {
      if (launching_tip_ != nullptr) launching_tip_->SetVisible(Checked(launching_with_game_));
    }
    return;
  }
  if (msg.sType == L"textchanged") {
    for (CRichEditUI* edit : key_edits_)
      if (sender == edit) SetDirty(true);
  }
}
