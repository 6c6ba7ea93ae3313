#include "client/ui/controls/ob_user_button_ui.h"

#include <cwchar>

#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

COBUserButtonUI::COBUserButtonUI() : CButtonUI(FocusUse::kRepaintOnly) {
  SetTextStyle(DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

COBUserButtonUI::~COBUserButtonUI() = default;

LPCTSTR COBUserButtonUI::GetClass() const { return L"OBUserButtonUI"; }

void* COBUserButtonUI::GetInterface(LPCTSTR name) {
  if (std::wcscmp(name, L"OBUserButton") == 0) return this;
  return CButtonUI::GetInterface(name);
}

UINT COBUserButtonUI::GetControlFlags() const {
  return IsEnabled() ? UIFLAG_TABSTOP | UIFLAG_SETCURSOR : UIFLAG_TABSTOP;
}

void COBUserButtonUI::SetAttribute(LPCTSTR name, LPCTSTR value) {
  if (std::wcscmp(name, L"containerhotimage") == 0)
    container_hot_image_ = value;
  else
    CButtonUI::SetAttribute(name, value);
}

SIZE COBUserButtonUI::EstimateSize(SIZE available) {
  if (GetFixedHeight() != 0) return CButtonUI::EstimateSize(available);
  int font_height = m_pManager != nullptr ? m_pManager->GetDefaultFontHeight() : 12;
  return SIZE{GetFixedWidth(), font_height + 8};
}

void COBUserButtonUI::LeaveContainer() {
  if (m_pParent != nullptr && !saved_container_image_.empty()) {
    m_pParent->SetBkImage(saved_container_image_.c_str());
    saved_container_image_.clear();
  }
}

void COBUserButtonUI::ResetHover() {
  m_uButtonState &= ~(UISTATE_HOT | UISTATE_PUSHED | UISTATE_CAPTURED);
  LeaveContainer();
  Invalidate();
}

void COBUserButtonUI::OnHotChanged(bool hot) {
  if (!hot) {
    LeaveContainer();
    return;
  }
  if (m_pParent != nullptr && !container_hot_image_.empty()) {
    // A second enter without a leave keeps the first saved image.
    if (saved_container_image_.empty()) saved_container_image_ = m_pParent->GetBkImage();
    m_pParent->SetBkImage(container_hot_image_.c_str());
  }
}
