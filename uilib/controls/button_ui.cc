#include "uilib/controls/button_ui.h"

#include <cwchar>

#include "uilib/paint/image_spec.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/paint/render_engine.h"
#include "uilib/winsys/win_api.h"

namespace uilib {

CButtonUI::CButtonUI() : CButtonUI(FocusUse::kShown) {}

CButtonUI::CButtonUI(FocusUse focus_use) : m_focusUse(focus_use) {
  m_uTextStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
}

LPCTSTR CButtonUI::GetClass() const { return L"ButtonUI"; }

void* CButtonUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"Button") == 0) return this;
  return CLabelUI::GetInterface(pstrName);
}

UINT CButtonUI::GetControlFlags() const {
  return (IsKeyboardEnabled() ? UIFLAG_TABSTOP : 0) | (IsEnabled() ? UIFLAG_SETCURSOR : 0);
}

bool CButtonUI::Activate() {
  if (!CControlUI::Activate()) return false;
  if (m_pManager) m_pManager->SendNotify(this, L"click");
  return true;
}

void CButtonUI::SetEnabled(bool bEnable) {
  CControlUI::SetEnabled(bEnable);
  if (!IsEnabled()) m_uButtonState = 0;
}

bool CButtonUI::ForwardWhenMouseDisabled(TEventUI& event) {
  if (IsMouseEnabled() || !IsMouseEvent(event.Type)) return false;
  if (m_pParent)
    m_pParent->Event(event);
  else
    CLabelUI::Event(event);
  return true;
}

void CButtonUI::Event(TEventUI& event) {
  if (ForwardWhenMouseDisabled(event)) return;
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
      if (m_focusUse == FocusUse::kShown) CLabelUI::Event(event);
      Invalidate();
      return;
    case UIEVENT_KEYDOWN:
      if (m_focusUse == FocusUse::kRepaintOnly) break;
      if (event.chKey == VK_SPACE) Activate();
      return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (m_rcItem.Contains(event.ptMouse) && IsEnabled()) {
        m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
        Invalidate();
        OnPressed();
      }
      return;
    case UIEVENT_MOUSEMOVE:
      if ((m_uButtonState & UISTATE_CAPTURED) != 0) {
        if (m_rcItem.Contains(event.ptMouse))
          m_uButtonState |= UISTATE_PUSHED;
        else
          m_uButtonState &= ~UISTATE_PUSHED;
        Invalidate();
      }
      return;
    case UIEVENT_BUTTONUP:
      if ((m_uButtonState & UISTATE_CAPTURED) != 0) {
        const bool inside = m_rcItem.Contains(event.ptMouse);
        m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
        Invalidate();
        OnReleased(event, inside);
      }
      return;
    case UIEVENT_MOUSEENTER:
    case UIEVENT_MOUSELEAVE:
      if (IsEnabled()) {
        const bool hot = event.Type == UIEVENT_MOUSEENTER;
        if (hot)
          m_uButtonState |= UISTATE_HOT;
        else
          m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        OnHotChanged(hot);
      }
      return;
    case UIEVENT_SETCURSOR:
      if (m_pManager) SetCursorShape(m_pManager->GetPaintWindow(), CursorShape::kHand);
      return;
    default:
      break;
  }
  CLabelUI::Event(event);
}

void CButtonUI::OnHotChanged(bool) {}

void CButtonUI::OnPressed() {
  if (m_pManager) m_pManager->SendNotify(this, L"buttondown");
}

void CButtonUI::OnReleased(const TEventUI&, bool inside) {
  if (inside) Activate();
}

void CButtonUI::SetNormalImage(LPCTSTR pStrImage) {
  m_sNormalImage = pStrImage ? pStrImage : L"";
  Invalidate();
}
void CButtonUI::SetHotImage(LPCTSTR pStrImage) {
  m_sHotImage = pStrImage ? pStrImage : L"";
  Invalidate();
}
void CButtonUI::SetPushedImage(LPCTSTR pStrImage) {
  m_sPushedImage = pStrImage ? pStrImage : L"";
  Invalidate();
}
void CButtonUI::SetFocusedImage(LPCTSTR pStrImage) {
  m_sFocusedImage = pStrImage ? pStrImage : L"";
  Invalidate();
}
void CButtonUI::SetDisabledImage(LPCTSTR pStrImage) {
  m_sDisabledImage = pStrImage ? pStrImage : L"";
  Invalidate();
}

SIZE CButtonUI::EstimateSize(SIZE szAvailable) {
  if (m_cxyFixed.cy == 0 && m_pManager)
    return SIZE{m_cxyFixed.cx, m_pManager->GetFont(m_iFont).size + 8};
  return CControlUI::EstimateSize(szAvailable);
}

void CButtonUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  std::wstring name = pstrName ? pstrName : L"";
  uint32_t color;
  if (name == L"normalimage")
    SetNormalImage(pstrValue);
  else if (name == L"hotimage")
    SetHotImage(pstrValue);
  else if (name == L"pushedimage")
    SetPushedImage(pstrValue);
  else if (name == L"focusedimage")
    SetFocusedImage(pstrValue);
  else if (name == L"disabledimage")
    SetDisabledImage(pstrValue);
  else if (name == L"hottextcolor") {
    if (ParseColor(pstrValue ? pstrValue : L"", &color)) SetHotTextColor(color);
  } else if (name == L"pushedtextcolor") {
    if (ParseColor(pstrValue ? pstrValue : L"", &color)) SetPushedTextColor(color);
  } else if (name == L"focusedtextcolor") {
    if (ParseColor(pstrValue ? pstrValue : L"", &color)) SetFocusedTextColor(color);
  } else {
    CLabelUI::SetAttribute(pstrName, pstrValue);
  }
}

void CButtonUI::PaintText(HDC hDC) {
  DWORD saved = m_dwTextColor;
  if ((m_uButtonState & UISTATE_PUSHED) != 0 && m_dwPushedTextColor)
    m_dwTextColor = m_dwPushedTextColor;
  else if ((m_uButtonState & UISTATE_HOT) != 0 && m_dwHotTextColor)
    m_dwTextColor = m_dwHotTextColor;
  else if (IsFocused() && m_dwFocusedTextColor)
    m_dwTextColor = m_dwFocusedTextColor;
  CLabelUI::PaintText(hDC);
  m_dwTextColor = saved;
}

void CButtonUI::PaintStatusImage(HDC hDC) {
  if (IsFocused())
    m_uButtonState |= UISTATE_FOCUSED;
  else
    m_uButtonState &= ~UISTATE_FOCUSED;
  if (!IsEnabled())
    m_uButtonState |= UISTATE_DISABLED;
  else
    m_uButtonState &= ~UISTATE_DISABLED;

  std::wstring* chosen = nullptr;
  if ((m_uButtonState & UISTATE_DISABLED) != 0)
    chosen = &m_sDisabledImage;
  else if ((m_uButtonState & UISTATE_PUSHED) != 0)
    chosen = &m_sPushedImage;
  else if ((m_uButtonState & UISTATE_HOT) != 0)
    chosen = &m_sHotImage;
  else if ((m_uButtonState & UISTATE_FOCUSED) != 0)
    chosen = &m_sFocusedImage;
  if (chosen && !chosen->empty()) {
    if (DrawImage(hDC, *chosen)) return;
    chosen->clear();  // never tried again
  }
  if (!m_sNormalImage.empty() && !DrawImage(hDC, m_sNormalImage)) m_sNormalImage.clear();
}

}  // namespace uilib
