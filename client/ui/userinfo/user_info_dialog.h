#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/ui/base/ob_ui_window.h"
#include "client/ui/controls/control_context.h"
#include "client/ui/userinfo/city_info.h"

struct UserAccountRecord;

namespace uilib {
class CComboUI;
class CContainerUI;
class CLabelUI;
class COptionUI;
class CRichEditUI;
}  // namespace uilib

// What the profile editor asks of the client: the signed-in user's
// record, the web requests and the avatar editor. GUI thread only.
class UserInfoHost {
 public:
  virtual ~UserInfoHost() = default;
  // The signed-in user's record; null when nobody is signed in.
  virtual const UserAccountRecord* CurrentUser() const = 0;
  virtual void UpdateUserInfo(const std::map<std::wstring, std::wstring>& fields) = 0;
  virtual void UpdateGameProfile(const std::wstring& json) = 0;
  virtual void RequestAvatarKey() = 0;
  // Opens the avatar editor at `at` with the key fetched for the user
  // signed in now.
  virtual void OpenAvatarEditor(const std::wstring& key, const uilib::RECT& at) = 0;
};

// One of the user's game roles as the server lists it.
struct GameRole {
  std::wstring ID, GameId, GameName, GameArea, GameServer, CharacterName, JobName, CharacterLevel,
      Privacy;
};

// The profile editor: nickname, mood, province and city, the display role
// and each role's privacy. Created once after the first sign-in, shown
// and hidden many times; GUI thread only.
class CUserInfoDialog : public OBUIWindow {
 public:
  static constexpr int kMaxRoles = 100;
  static constexpr size_t kMaxNicknameBytes = 16;

  CUserInfoDialog(UserInfoHost* host, EventChain* events, const ControlContext* controls);
  ~CUserInfoDialog() override;

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBSysConfigure"; }
  uilib::UINT GetClassStyle() const override { return 2059; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI& msg) override;

  uilib::HWND CreateDialogWindow(uilib::HWND owner);
  // `picture`: the head picture to show; null or empty for the record's.
  void ShowDialog(const wchar_t* picture);
  // At sign-out.
  void Reset();

  // "abc***" for "abcdef": the first three characters, then one star per
  // further character.
  static std::wstring MaskAccount(const std::wstring& account);
  // The roles of a reply's Data text: at most 100, the first "-" of the
  // server name removed, higher level first, then by game name. False
  // (and nothing changed) when the text is not a JSON array.
  static bool ParseRoles(const std::wstring& data, std::vector<GameRole>* roles);

  bool modified() const { return modified_; }
  const std::vector<GameRole>& roles() const { return roles_; }
  int stored_display_row() const { return stored_display_row_; }
  // The role rows in view: the list shows as many as fit, from this one.
  int first_role_in_view() const { return first_row_; }
  int RolesInView() const;
  // Moves the rows in view by `rows` (negative: up), within the roles.
  void ScrollRoles(int rows);
  // The role list scrolls as lists do: the wheel over it, the keys while
  // no field has the focus, and its bar (the mark at its right edge,
  // dragged, or a press beside it for a page). True when taken.
  bool ScrollRolesByMouse(uilib::UINT msg, uilib::WPARAM wparam, uilib::LPARAM lparam);
  bool ScrollRolesByKey(uilib::UINT vk);

 protected:
  void InitControls() override;

 private:
  struct RoleRow {
    std::wstring id;
    uilib::CControlUI* root = nullptr;
    uilib::COptionUI* option = nullptr;
    uilib::CComboUI* privacy = nullptr;
    uilib::CControlUI* name = nullptr;
    bool changed = false;
  };

  void OnRoleList(const EventParameter* event);
  void OnNicknameResult(const EventParameter* event);
  void OnHeadImageUpdated(const EventParameter* event);
  void OnAvatarKey(const EventParameter* event);
  void OnAccountRefreshed(const EventParameter* event);
  void OnHeadPictureRefresh(const EventParameter* event);

  void FillFromUser();
  void RebuildRows();
  // Shows the rows in view, hides the others, and places the scroll mark.
  void ShowRowsInView();
  void SetRoleLabel(const std::wstring& name);
  int SelectedRow() const;
  // The local nickname rule's error text, empty when the name may be sent.
  std::wstring NicknameError() const;
  bool CheckNickname();
  void Save();
  void SetModified(bool modified);
  void ClearRowFlags();
  void HideError();
  void ShowError(const std::wstring& text);
  bool ErrorVisible() const;
  void HideDialog();
  void OpenAvatarEditor();

  UserInfoHost* host_;
  EventChain* events_;
  std::wstring skin_folder_;

  uilib::CControlUI* set_button_ = nullptr;
  uilib::CRichEditUI* nickname_ = nullptr;
  uilib::CRichEditUI* signature_ = nullptr;
  uilib::CControlUI* picture_ = nullptr;
  uilib::CControlUI* user_name_ = nullptr;
  uilib::CLabelUI* role_label_ = nullptr;
  uilib::CLabelUI* role_append_ = nullptr;
  uilib::CComboUI* province_ = nullptr;
  uilib::CComboUI* city_ = nullptr;
  uilib::CControlUI* error_ = nullptr;
  uilib::CContainerUI* role_list_ = nullptr;
  uilib::CControlUI* no_role_tip_ = nullptr;
  uilib::CControlUI* scroll_mark_ = nullptr;
  int first_row_ = 0;
  bool dragging_mark_ = false;
  int drag_offset_ = 0;  // from the mark's top to the pointer

  std::vector<RoleRow> rows_;
  CityInfo city_info_;
  std::wstring stored_nickname_, stored_province_, stored_city_, stored_mood_;
  int stored_display_row_ = -1;
  std::vector<GameRole> roles_;
  bool modified_ = false;
  bool close_after_save_ = false;
  std::wstring avatar_key_;
  std::vector<EventChain::Handle> subscriptions_;
};
