#include "client/ui/controls/ob_user_button_ui.h"

#include <cwchar>

#include "uilib/paint_manager_ui.h"
#include "uilib/win_api.h"

using namespace uilib;

COBUserButtonUI::COBUserButtonUI() { SetTextStyle(DT_CENTER | DT_VCENTER | DT_SINGLELINE); }

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
  if (std::wcscmp(name, L"normalimage") == 0) SetNormalImage(value);
  else if (std::wcscmp(name, L"hotimage") == 0) SetHotImage(value);
  else if (std::wcscmp(name, L"pushedimage") == 0) SetPushedImage(value);
  else if (std::wcscmp(name, L"focusedimage") == 0) SetFocusedImage(value);
  else if (std::wcscmp(name, L"disabledimage") == 0) SetDisabledImage(value);
  else if (std::wcscmp(name, L"containerhotimage") == 0) container_hot_image_ = value;
  else {
    CButtonUI::SetAttribute(name, value);
    return;
  }
  Invalidate();
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

void COBUserButtonUI::Event(TEventUI& event) {
  if (ForwardWhenMouseDisabled(event)) return;
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
      Invalidate();
      return;
    // Capture tracking and the hand cursor are the button's own.
    case UIEVENT_MOUSEMOVE:
    case UIEVENT_SETCURSOR:
      CButtonUI::Event(event);
      return;
    case UIEVENT_MOUSEENTER:
      if (IsEnabled()) {
        m_uButtonState |= UISTATE_HOT;
        Invalidate();
        if (m_pParent != nullptr && !container_hot_image_.empty()) {
          // A second enter without a leave keeps the first saved image.
          if (saved_container_image_.empty()) saved_container_image_ = m_pParent->GetBkImage();
          m_pParent->SetBkImage(container_hot_image_.c_str());
        }
      }
      return;
    case UIEVENT_MOUSELEAVE:
      if (IsEnabled()) {
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        LeaveContainer();
      }
      return;
    case UIEVENT_MOUSEHOVER:
      CButtonUI::Event(event);
      return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (m_rcItem.Contains(event.ptMouse) && IsEnabled()) {
        m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
        Invalidate();
      }
      return;
    case UIEVENT_BUTTONUP:
      if (m_uButtonState & UISTATE_CAPTURED) {
        if (m_rcItem.Contains(event.ptMouse)) Activate();
        m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
        Invalidate();
      }
      return;
    default:
      CLabelUI::Event(event);
      return;
  }
}

void COBUserButtonUI::PaintStatusImage(HDC hdc) {
  if (IsFocused()) m_uButtonState |= UISTATE_FOCUSED;
  else m_uButtonState &= ~UISTATE_FOCUSED;
  if (!IsEnabled()) m_uButtonState |= UISTATE_DISABLED;
  else m_uButtonState &= ~UISTATE_DISABLED;

  std::wstring* chosen = nullptr;
  if (m_uButtonState & UISTATE_DISABLED) chosen = &m_sDisabledImage;
  else if (m_uButtonState & UISTATE_PUSHED) chosen = &m_sPushedImage;
  else if (m_uButtonState & UISTATE_HOT) chosen = &m_sHotImage;
  else if (m_uButtonState & UISTATE_FOCUSED) chosen = &m_sFocusedImage;
  if (chosen != nullptr && !chosen->empty()) {
    if (DrawImage(hdc, *chosen)) return;
    chosen->clear();
  }
  if (!m_sNormalImage.empty() && !DrawImage(hdc, m_sNormalImage)) m_sNormalImage.clear();
}
