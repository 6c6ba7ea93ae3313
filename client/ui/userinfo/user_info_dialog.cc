#include "client/ui/userinfo/user_info_dialog.h"

#include <json/json.h>

#include <algorithm>
#include <cwchar>

#include "client/core/event_ids.h"
#include "client/core/user_account_record.h"
#include "client/core/web_events.h"
#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "runtime/util/json_parse.h"
#include "runtime/util/text_convert.h"
#include "uilib/controls/combo_ui.h"
#include "uilib/controls/container_ui.h"
#include "uilib/builder/dialog_builder.h"
#include "uilib/controls/label_ui.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace {

constexpr wchar_t kNoRole[] = L"N/A";

std::wstring JsonText(const Json::Value& object, const char* key) {
  const Json::Value& v = object[key];
  if (v.isString()) return brx::util::Utf8ToWide(v.asString());
  if (v.isNumeric() || v.isBool()) return brx::util::Utf8ToWide(v.asString());
  return L"";
}

CControlUI* Sub(CControlUI* root, const wchar_t* name) {
  auto* box = static_cast<CContainerUI*>(root->GetInterface(kInterfaceContainer));
  return box != nullptr ? box->FindSubControl(name) : nullptr;
}

}  // namespace

CUserInfoDialog::CUserInfoDialog(UserInfoHost* host, EventChain* events,
                                 const ControlContext* controls)
    : OBUIWindow(std::make_unique<CDialogBuilderCallbackEx>(controls), true),
      host_(host),
      events_(events),
      skin_folder_(controls != nullptr ? controls->skin_folder : std::wstring()) {
  skin_source_ = skin_folder_ + L"/OBUserInfoDialog.xml";
}

CUserInfoDialog::~CUserInfoDialog() {
  if (events_ != nullptr)
    for (EventChain::Handle handle : subscriptions_) events_->Unsubscribe(handle);
}

HWND CUserInfoDialog::CreateDialogWindow(HWND owner) {
  return Create(owner, L"OBUserInfoDialog", 0x86C80000 & ~WS_VISIBLE, 0x81);
}

std::wstring CUserInfoDialog::MaskAccount(const std::wstring& account) {
  if (account.size() <= 3) return account;
  return account.substr(0, 3) + std::wstring(account.size() - 3, L'*');
}

bool CUserInfoDialog::ParseRoles(const std::wstring& data, std::vector<GameRole>* roles) {
  Json::Value root;
  if (!brx::util::ParseUntrustedJson(brx::util::WideToUtf8(data), &root) || !root.isArray())
    return false;
  roles->clear();
  for (const Json::Value& item : root) {
    if (roles->size() >= static_cast<size_t>(kMaxRoles)) break;
    if (!item.isObject()) continue;
    GameRole role{JsonText(item, "ID"),         JsonText(item, "GameId"),
                  JsonText(item, "GameName"),   JsonText(item, "GameArea"),
                  JsonText(item, "GameServer"), JsonText(item, "CharacterName"),
                  JsonText(item, "JobName"),    JsonText(item, "CharacterLevel"),
                  JsonText(item, "Privacy")};
    size_t dash = role.GameServer.find(L'-');
    if (dash != std::wstring::npos) role.GameServer.erase(dash, 1);
    roles->push_back(std::move(role));
  }
  std::stable_sort(roles->begin(), roles->end(), [](const GameRole& a, const GameRole& b) {
    long la = std::wcstol(a.CharacterLevel.c_str(), nullptr, 10);
    long lb = std::wcstol(b.CharacterLevel.c_str(), nullptr, 10);
    if (la != lb) return la > lb;
    return a.GameName < b.GameName;
  });
  return true;
}

void CUserInfoDialog::InitControls() {
  paint_manager_.AddNotifier(this);
  set_button_ = Find(L"set_button");
  nickname_ = Find<CRichEditUI>(L"nickname_edit");
  signature_ = Find<CRichEditUI>(L"signature_edit");
  picture_ = Find(L"user_picture_label");
  user_name_ = Find(L"user_name_label");
  role_label_ = Find<CLabelUI>(L"role_name_label");
  role_append_ = Find<CLabelUI>(L"role_name_appendlabel");
  province_ = Find<CComboUI>(L"province_combo");
  city_ = Find<CComboUI>(L"city_combo");
  error_ = Find(L"nickname_edit_error_info");
  role_list_ = Find<CContainerUI>(L"game_role_list");
  no_role_tip_ = Find(L"noroletiplabel");
  scroll_mark_ = paint_manager_.FindControlQuiet(L"game_role_scrollmark");

  if (set_button_ != nullptr) set_button_->SetEnabled(false);
  if (signature_ != nullptr) {
    signature_->SetLimitText(50);
    signature_->SetText(L"");
  }
  if (nickname_ != nullptr) {
    nickname_->SetLimitText(16);
    nickname_->SetText(L"");
  }
  if (error_ != nullptr) {
    error_->SetVisible(false);
    error_->SetText(L"");
  }
  if (user_name_ != nullptr) user_name_->SetText(L"");
  SetRoleLabel(L"");

  if (role_list_ != nullptr) {
    const std::wstring row_layout = skin_folder_ + L"/OBRoleInfoRow.xml";
    for (int i = 0; i < kMaxRoles; ++i) {
      CDialogBuilder builder;
      CControlUI* root = builder.Create(row_layout, nullptr, nullptr, &paint_manager_);
      if (root == nullptr) break;
      root->SetVisible(false);
      role_list_->Add(root);
      RoleRow row;
      row.root = root;
      row.option = static_cast<COptionUI*>(Sub(root, L"role_option"));
      row.privacy = static_cast<CComboUI*>(Sub(root, L"role_privacy"));
      row.name = Sub(root, L"role_name");
      rows_.push_back(row);
    }
  }

  city_info_.SetCombos(province_, city_);
  city_info_.LoadCityInfo(skin_folder_ + L"/CityInfo.txt");

  if (events_ != nullptr) {
    subscriptions_.push_back(events_->Subscribe(SEVENT_RESPONSE_GetGameUserProfileList, this,
                                                &CUserInfoDialog::OnRoleList));
    subscriptions_.push_back(events_->Subscribe(SEVENT_RESPONSE_UpdateUserInfo, this,
                                                &CUserInfoDialog::OnNicknameResult));
    subscriptions_.push_back(events_->Subscribe(SEVENT_RESPONSE_UpdateUserHeadImage, this,
                                                &CUserInfoDialog::OnHeadImageUpdated));
    subscriptions_.push_back(events_->Subscribe(SEVENT_RESPONSE_GetCurrentUserQtidByEncrypt, this,
                                                &CUserInfoDialog::OnAvatarKey));
    subscriptions_.push_back(events_->Subscribe(SEVENT_RESPONSE_GetUserAccountByAccount, this,
                                                &CUserInfoDialog::OnAccountRefreshed));
    subscriptions_.push_back(events_->Subscribe(SEVENT_RESPONSE_UpdateUserInfo, this,
                                                &CUserInfoDialog::OnHeadPictureRefresh));
  }
}

LRESULT CUserInfoDialog::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (ScrollRolesByMouse(msg, wparam, lparam)) return 0;
  if (msg == WM_KEYDOWN && ScrollRolesByKey(static_cast<UINT>(wparam))) return 0;
  if (msg == WM_KEYUP) {
    if (wparam == VK_ESCAPE) {
      HideError();
      HideDialog();
    }
    return 0;
  }
  if (msg == WM_CLOSE) {  // the window manager's close: as Cancel, nothing sent
    HideError();
    HideDialog();
    return 0;
  }
  LRESULT result = OBUIWindow::HandleMessage(msg, wparam, lparam);
  // The rows in view depend on the list's height.
  if (msg == WM_SIZE) ShowRowsInView();
  return result;
}

void CUserInfoDialog::ShowDialog(const wchar_t* picture) {
  const UserAccountRecord* user = host_->CurrentUser();
  std::wstring image = picture != nullptr ? picture : L"";
  if (image.empty() && user != nullptr) image = user->HeadImageUrl;
  if (picture_ != nullptr) picture_->SetBkImage(image.c_str());
  SetModified(false);
  ClearRowFlags();
  if (user != nullptr) {
    if (nickname_ != nullptr) nickname_->SetText(user->NickName);
    if (signature_ != nullptr) signature_->SetText(user->Mood);
  }
  CenterWindow();
  uilib::ShowWindow(GetHWND(), SW_SHOW);
  ShowRowsInView();
  paint_manager_.SetFocus(nullptr);
  uilib::SetForegroundWindow(GetHWND());
  close_after_save_ = false;
  HideError();
  host_->RequestAvatarKey();
}

void CUserInfoDialog::Reset() {
  HideError();
  HideDialog();
  SetRoleLabel(L"");
  if (signature_ != nullptr) signature_->SetText(L"");
  if (nickname_ != nullptr) nickname_->SetText(L"");
  if (user_name_ != nullptr) user_name_->SetText(L"");
  roles_.clear();
  ClearRowFlags();
  RebuildRows();
  close_after_save_ = false;
  avatar_key_.clear();
  city_info_.SelectProvinceCity(L"-", L"-");
  SetModified(false);
}

void CUserInfoDialog::FillFromUser() {
  const UserAccountRecord* user = host_->CurrentUser();
  if (user == nullptr) return;
  if (user_name_ != nullptr) user_name_->SetText(MaskAccount(user->Account));
  stored_nickname_ = user->NickName;
  if (nickname_ != nullptr) nickname_->SetText(user->NickName);
  stored_mood_ = user->Mood;
  if (signature_ != nullptr) signature_->SetText(user->Mood);
  city_info_.SelectProvinceCity(user->Province, user->City);
  stored_province_ = province_ != nullptr ? province_->GetText() : L"";
  stored_city_ = city_ != nullptr ? city_->GetText() : L"";
}

void CUserInfoDialog::RebuildRows() {
  const UserAccountRecord* user = host_->CurrentUser();
  for (size_t i = 0; i < rows_.size(); ++i) {
    RoleRow& row = rows_[i];
    if (i >= roles_.size()) {
      row.root->SetVisible(false);
      row.id.clear();
      continue;
    }
    const GameRole& role = roles_[i];
    row.id = role.ID;
    const std::pair<const wchar_t*, const std::wstring*> texts[] = {
        {L"role_game", &role.GameName},          {L"role_server_up", &role.GameArea},
        {L"role_server_down", &role.GameServer}, {L"role_name", &role.CharacterName},
        {L"role_occupation", &role.JobName},     {L"role_level", &role.CharacterLevel}};
    for (const auto& [name, text] : texts)
      if (CControlUI* label = Sub(row.root, name)) label->SetText(*text);
    if (row.privacy != nullptr) {
      int item = role.Privacy.starts_with(L"1") ? 0 : role.Privacy.starts_with(L"2") ? 1 : -1;
      row.privacy->SelectItem(item);
    }
    row.changed = false;
  }
  if (no_role_tip_ != nullptr) no_role_tip_->SetVisible(roles_.empty());
  first_row_ = 0;
  ShowRowsInView();

  int display = -1;
  for (size_t i = 0; i < roles_.size() && i < rows_.size(); ++i)
    if (user != nullptr && rows_[i].id == user->DisplayRoleId) display = static_cast<int>(i);
  if (display < 0 && !roles_.empty() && !rows_.empty()) display = 0;
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].option != nullptr)
      rows_[i].option->Selected(static_cast<int>(i) == display, false);
  SetRoleLabel(display >= 0 ? roles_[display].CharacterName : L"");
  stored_display_row_ = display;
  // The display role is in view, at the bottom when it lies further down.
  if (display >= RolesInView()) ScrollRoles(display - RolesInView() + 1);
}

void CUserInfoDialog::SetRoleLabel(const std::wstring& name) {
  if (role_label_ == nullptr) return;
  role_label_->SetText(name.empty() || SelectedRow() < 0 ? kNoRole : name.c_str());
  if (role_append_ == nullptr) return;
  RECT label = role_label_->GetPos();
  RECT pos = role_append_->GetPos();
  int width = role_label_->GetTextWidth();
  pos.left = label.left + width + 12;
  pos.right = label.left + width + 22 + role_append_->GetTextWidth();
  pos.top = label.top;
  pos.bottom = label.bottom;
  role_append_->SetPos(pos);
}

int CUserInfoDialog::SelectedRow() const {
  for (size_t i = 0; i < rows_.size() && i < roles_.size(); ++i)
    if (rows_[i].option != nullptr && rows_[i].option->IsSelected()) return static_cast<int>(i);
  return -1;
}

void CUserInfoDialog::SetModified(bool modified) {
  modified_ = modified;
  if (set_button_ != nullptr) set_button_->SetEnabled(modified);
}

void CUserInfoDialog::ClearRowFlags() {
  for (RoleRow& row : rows_) row.changed = false;
}

bool CUserInfoDialog::ErrorVisible() const { return error_ != nullptr && error_->IsVisible(); }

void CUserInfoDialog::HideError() {
  if (error_ != nullptr) error_->SetVisible(false);
}

void CUserInfoDialog::ShowError(const std::wstring& text) {
  if (error_ == nullptr) return;
  error_->SetText(text);
  error_->SetVisible(true);
  error_->Invalidate();
}

void CUserInfoDialog::HideDialog() { uilib::ShowWindow(GetHWND(), SW_HIDE); }

std::wstring CUserInfoDialog::NicknameError() const {
  const std::wstring text = nickname_ != nullptr ? nickname_->GetText() : L"";
  // Counted in the ANSI code page: two bytes per Chinese character.
  std::string bytes = brx::util::WideToAnsi(text);
  if (bytes.size() > 259) bytes.resize(259);
  if (text.empty()) return L"昵称不能为空";
  if (bytes.size() > kMaxNicknameBytes) return L"昵称最多为八个汉字";
  return L"";
}

bool CUserInfoDialog::CheckNickname() {
  HideError();
  const std::wstring error = NicknameError();
  if (error.empty()) {
    SetModified(true);
    return true;
  }
  SetModified(false);
  ClearRowFlags();
  ShowError(error);
  return false;
}

void CUserInfoDialog::Save() {
  // A nickname the local check rejects is never sent; the dialog stays
  // open with the error showing. The record's own nickname is checked too
  // (it may be empty), not only one the user typed, and the other edits
  // stay pending for the next try.
  if (ErrorVisible()) return;
  const std::wstring nickname_error = NicknameError();
  if (!nickname_error.empty()) {
    ShowError(nickname_error);
    return;
  }
  const std::wstring nickname = nickname_ != nullptr ? nickname_->GetText() : L"";
  const std::wstring province = province_ != nullptr ? province_->GetText() : L"";
  const std::wstring city = city_ != nullptr ? city_->GetText() : L"";
  const std::wstring mood = signature_ != nullptr ? signature_->GetText() : L"";
  const int selected = SelectedRow();
  bool changed = nickname != stored_nickname_ || province != stored_province_ ||
                 city != stored_city_ || mood != stored_mood_ ||
                 (selected >= 0 && selected != stored_display_row_);
  if (changed) {
    std::map<std::wstring, std::wstring> fields{
        {L"NickName", nickname}, {L"Province", province}, {L"City", city}, {L"Mood", mood}};
    if (selected >= 0) {
      fields[L"DisplayRoleId"] = rows_[selected].id;
      fields[L"DisplayRoleName"] =
          rows_[selected].name != nullptr ? rows_[selected].name->GetText() : L"";
    }
    stored_province_ = province;
    stored_city_ = city;
    stored_mood_ = mood;
    stored_display_row_ = selected;
    host_->UpdateUserInfo(fields);
  }
  bool any_row_changed = false;
  Json::Value list(Json::arrayValue);
  for (size_t i = 0; i < rows_.size() && i < roles_.size(); ++i) {
    const RoleRow& row = rows_[i];
    any_row_changed = any_row_changed || row.changed;
    Json::Value item(Json::objectValue);
    item["ID"] = brx::util::WideToUtf8(row.id);
    int privacy = row.privacy != nullptr ? row.privacy->GetCurSel() : -1;
    if (privacy == 0) item["Privacy"] = "1";
    if (privacy == 1) item["Privacy"] = "2";
    list.append(item);
  }
  if (any_row_changed) {
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "\t";
    host_->UpdateGameProfile(brx::util::Utf8ToWide(Json::writeString(writer, list)));
  }
  SetModified(false);
  ClearRowFlags();
}

void CUserInfoDialog::OpenAvatarEditor() {
  if (avatar_key_.empty()) return;
  RECT rc{};
  uilib::GetWindowRect(GetHWND(), &rc);
  rc.left += 35;
  rc.right += 35;
  rc.top += 35;
  rc.bottom += 35;
  host_->OpenAvatarEditor(avatar_key_, rc);
}

void CUserInfoDialog::Notify(TNotifyUI& msg) {
  CControlUI* sender = msg.pSender;
  if (sender == nullptr) return;
  const std::wstring name = sender->GetName();
  if (msg.sType == L"click") {
    if (name == L"close_button" || name == L"cancel_button") {
      HideError();
      HideDialog();
    } else if (name == L"ok_button") {
      close_after_save_ = true;
      Save();
      if (nickname_ != nullptr && nickname_->GetText() == stored_nickname_ && !ErrorVisible()) {
        HideError();
        HideDialog();
      }
    } else if (sender == set_button_) {
      Save();
    } else if (name == L"change_picture_button") {
      OpenAvatarEditor();
    }
  } else if (msg.sType == L"textchanged") {
    if (sender == nickname_) {
      CheckNickname();
    } else if (sender == signature_) {
      SetModified(true);
    }
  } else if (msg.sType == L"itemselect") {
    // The selector's own selections are not the user's.
    if (city_info_.selecting()) return;
    if (sender == province_) {
      SetModified(true);
      const std::wstring picked = province_->GetText();
      city_info_.SelectProvinceCity(picked, picked);
    } else if (sender == city_) {
      SetModified(true);
    }
  } else if (msg.sType == L"selectchanged") {
    SetModified(true);
  }

  for (RoleRow& row : rows_) {
    if (msg.sType == L"selectchanged" && row.option != nullptr) {
      if (sender == row.option) {
        for (RoleRow& other : rows_)
          if (&other != &row && other.option != nullptr) other.option->Selected(false, false);
        if (row.option->IsSelected()) {
          size_t index = static_cast<size_t>(&row - rows_.data());
          SetRoleLabel(index < roles_.size() ? roles_[index].CharacterName : L"");
        }
      }
    } else if (msg.sType == L"itemselect" && sender == row.privacy) {
      SetModified(true);
      row.changed = true;
    }
  }
}

void CUserInfoDialog::OnRoleList(const EventParameter* event) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_GetGameUserProfileList*>(event);
  if (!reply->ok) return;
  const bool was_modified = modified_;
  if (!ParseRoles(reply->text, &roles_)) return;
  RebuildRows();
  if (!was_modified) {
    SetModified(false);
    ClearRowFlags();
  }
}

void CUserInfoDialog::OnNicknameResult(const EventParameter* event) {
  // The sign-in's nickname step gets the same reply; a hidden dialog has
  // nothing waiting for it.
  if (!uilib::IsWindowVisible(GetHWND())) return;
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_UpdateUserInfo*>(event);
  Json::Value root;
  if (!brx::util::ParseUntrustedJson(brx::util::WideToUtf8(reply->param), &root) ||
      !root.isObject())
    return;
  const Json::Value& status_value = root["Status"];
  const bool has_status = !status_value.isNull();
  int status = 0;
  if (status_value.isString())
    status = std::atoi(status_value.asCString());
  else if (status_value.isNumeric())
    status = status_value.asInt();
  if (has_status && (status == -9 || status == -10)) {
    ShowError(status == -9 ? L"注册昵称中包含敏感字符" : L"此昵称已被注册，请另换一个");
    if (nickname_ != nullptr) {
      nickname_->SetFocus();
      nickname_->SetSelAll();
    }
    return;
  }
  if (has_status) {
    if (const UserAccountRecord* user = host_->CurrentUser()) stored_nickname_ = user->NickName;
  }
  if (close_after_save_ && !ErrorVisible()) {
    HideError();
    HideDialog();
  }
}

void CUserInfoDialog::OnHeadImageUpdated(const EventParameter* event) {
  if (static_cast<const payload::SEVENT_RESPONSE_UpdateUserHeadImage*>(event)->ok)
    SetModified(true);
}

void CUserInfoDialog::OnAvatarKey(const EventParameter* event) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_GetCurrentUserQtidByEncrypt*>(event);
  if (reply->ok) avatar_key_ = reply->text;
}

void CUserInfoDialog::OnAccountRefreshed(const EventParameter* event) {
  if (!static_cast<const payload::SEVENT_RESPONSE_GetUserAccountByAccount*>(event)->ok) return;
  const bool was_modified = modified_;
  FillFromUser();
  if (!was_modified) {
    SetModified(false);
    ClearRowFlags();
  }
}

void CUserInfoDialog::OnHeadPictureRefresh(const EventParameter* event) {
  if (!static_cast<const payload::SEVENT_RESPONSE_UpdateUserInfo*>(event)->ok) return;
  const UserAccountRecord* user = host_->CurrentUser();
  if (picture_ != nullptr && user != nullptr) picture_->SetBkImage(user->HeadImageUrl.c_str());
}

int CUserInfoDialog::RolesInView() const {
  const int count = static_cast<int>(std::min(roles_.size(), rows_.size()));
  if (role_list_ == nullptr || rows_.empty()) return count;
  const int row_height = rows_[0].root->GetFixedHeight();
  const int list_height = role_list_->GetPos().Height();
  // Before the first layout every row counts as in view.
  if (row_height <= 0 || list_height <= 0) return count;
  return std::clamp(list_height / row_height, 1, std::max(count, 1));
}

void CUserInfoDialog::ScrollRoles(int rows) {
  const int count = static_cast<int>(std::min(roles_.size(), rows_.size()));
  const int first = std::clamp(first_row_ + rows, 0, std::max(0, count - RolesInView()));
  if (first == first_row_) return;
  first_row_ = first;
  ShowRowsInView();
}

bool CUserInfoDialog::ScrollRolesByMouse(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (role_list_ == nullptr) return false;
  if (msg == WM_MOUSEWHEEL) {
    POINT pt{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    uilib::ScreenToClient(GetHWND(), &pt);
    if (!role_list_->GetPos().Contains(pt)) return false;
    // Three rows a notch, as lists usually scroll.
    int notches = static_cast<int16_t>(HIWORD(wparam)) / 120;
    ScrollRoles(-3 * notches);
    return true;
  }
  const POINT pt{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  if (msg == WM_LBUTTONUP && dragging_mark_) {
    dragging_mark_ = false;
    return true;
  }
  if (msg == WM_MOUSEMOVE && dragging_mark_) {
    if ((wparam & MK_LBUTTON) == 0) {
      dragging_mark_ = false;
      return false;
    }
    const RECT list = role_list_->GetPos();
    const int count = static_cast<int>(std::min(roles_.size(), rows_.size()));
    const int length = scroll_mark_->GetPos().Height();
    const int travel = list.Height() - length;
    if (travel <= 0) return true;
    const int top = std::clamp(pt.y - drag_offset_ - static_cast<int>(list.top), 0, travel);
    // Rounded to the nearest row, so the mark lands where it was let go.
    const int wanted = (top * (count - RolesInView()) + travel / 2) / travel;
    ScrollRoles(wanted - first_row_);
    return true;
  }
  if (msg != WM_LBUTTONDOWN || scroll_mark_ == nullptr || !scroll_mark_->IsVisible()) return false;
  const RECT list = role_list_->GetPos();
  const RECT mark = scroll_mark_->GetPos();
  // The bar's strip: the mark's width and a little more, for a finger's
  // worth of room.
  const int strip = std::max(8, static_cast<int>(mark.Width()) + 4);
  if (pt.x < list.right - strip || pt.x >= list.right || pt.y < list.top || pt.y >= list.bottom)
    return false;
  if (pt.y >= mark.top && pt.y < mark.bottom) {
    dragging_mark_ = true;
    drag_offset_ = pt.y - mark.top;
  } else {
    ScrollRoles(pt.y < mark.top ? -RolesInView() : RolesInView());
  }
  return true;
}

bool CUserInfoDialog::ScrollRolesByKey(UINT vk) {
  // A field with the focus keeps its keys.
  if (role_list_ == nullptr || paint_manager_.GetFocus() != nullptr) return false;
  const int count = static_cast<int>(std::min(roles_.size(), rows_.size()));
  switch (vk) {
    case VK_UP:
      ScrollRoles(-1);
      return true;
    case VK_DOWN:
      ScrollRoles(1);
      return true;
    case VK_PRIOR:
      ScrollRoles(-RolesInView());
      return true;
    case VK_NEXT:
      ScrollRoles(RolesInView());
      return true;
    case VK_HOME:
      ScrollRoles(-count);
      return true;
    case VK_END:
      ScrollRoles(count);
      return true;
    default:
      return false;
  }
}

void CUserInfoDialog::ShowRowsInView() {
  const int count = static_cast<int>(std::min(roles_.size(), rows_.size()));
  const int in_view = RolesInView();
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
    rows_[i].root->SetVisible(i < count && i >= first_row_ && i < first_row_ + in_view);
  if (scroll_mark_ == nullptr || role_list_ == nullptr) return;
  // A thin mark at the list's right edge: its length is the share of the
  // rows in view, its place the share above them.
  const RECT list = role_list_->GetPos();
  const bool needed = count > in_view && list.Height() > 0;
  scroll_mark_->SetVisible(needed);
  if (!needed) return;
  const int length = std::max(12, list.Height() * in_view / count);
  const int top = (list.Height() - length) * first_row_ / std::max(1, count - in_view);
  const int width = std::max(1, scroll_mark_->GetFixedWidth());
  scroll_mark_->SetFixedXY(SIZE{list.Width() - width, top});
  scroll_mark_->SetFixedHeight(length);
}
