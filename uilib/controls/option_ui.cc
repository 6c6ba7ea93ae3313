#include "uilib/controls/option_ui.h"

#include <cwchar>

#include "uilib/paint/image_spec.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/paint/render_engine.h"

namespace uilib {

COptionUI::COptionUI() = default;
COptionUI::~COptionUI() = default;

LPCTSTR COptionUI::GetClass() const { return L"OptionUI"; }

void* COptionUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"Option") == 0) return this;
  return CButtonUI::GetInterface(pstrName);
}

void COptionUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
  CButtonUI::SetManager(pManager, pParent, bInit);
}

void COptionUI::SetGroup(LPCTSTR pStrGroupName) {
  m_sGroupName = pStrGroupName ? pStrGroupName : L"";
  // A selected option joining a group clears the others of it.
  if (m_bSelected && !m_sGroupName.empty() && m_pManager) {
    for (COptionUI* other : m_pManager->GetOptionGroup(m_sGroupName)) {
      if (other != this && other->IsSelected()) other->Selected(false, false);
    }
  }
}

void COptionUI::Selected(bool bSelected, bool bTriggerEvent) {
  if (m_bSelected == bSelected) return;
  m_bSelected = bSelected;
  if (m_bSelected)
    m_uButtonState |= UISTATE_SELECTED;
  else
    m_uButtonState &= ~UISTATE_SELECTED;
  if (m_bSelected && !m_sGroupName.empty() && m_pManager) {
    for (COptionUI* other : m_pManager->GetOptionGroup(m_sGroupName)) {
      if (other != this && other->IsSelected()) other->Selected(false, false);
    }
  }
  Invalidate();
  // Last: a notifier may close (and free) the window.
  if (bTriggerEvent && m_pManager) m_pManager->SendNotify(this, L"selectchanged");
}

bool COptionUI::Activate() {
  if (!CControlUI::Activate()) return false;
  if (!m_sGroupName.empty())
    Selected(true);
  else
    Selected(!m_bSelected);
  return true;
}

void COptionUI::SetEnabled(bool bEnable) {
  CControlUI::SetEnabled(bEnable);
  if (!IsEnabled()) m_uButtonState = m_bSelected ? UISTATE_SELECTED : 0;
}

void COptionUI::SetSelectedImage(LPCTSTR pStrImage) {
  m_sSelectedImage = pStrImage ? pStrImage : L"";
  Invalidate();
}

void COptionUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  std::wstring name = pstrName ? pstrName : L"";
  uint32_t color;
  if (name == L"group")
    SetGroup(pstrValue);
  else if (name == L"selected")
    Selected(ParseBool(pstrValue), false);
  else if (name == L"selectedimage")
    SetSelectedImage(pstrValue);
  else if (name == L"selectedtextcolor") {
    if (ParseColor(pstrValue ? pstrValue : L"", &color)) SetSelectedTextColor(color);
  } else {
    CButtonUI::SetAttribute(pstrName, pstrValue);
  }
}

bool COptionUI::HasImages() const {
  return !m_sSelectedImage.empty() || !m_sNormalImage.empty() || !m_sHotImage.empty() ||
         !m_sPushedImage.empty();
}

void COptionUI::PaintStatusImage(HDC hDC) {
  m_uButtonState &= ~UISTATE_PUSHED;
  if (m_bSelected && !m_sSelectedImage.empty()) {
    if (DrawImage(hDC, m_sSelectedImage)) return;
    m_sSelectedImage.clear();
  }
  if (HasImages()) {
    CButtonUI::PaintStatusImage(hDC);
    return;
  }
  // A skin without images still shows a check box (a ring for a group).
  const int size = 13;
  const int top = (m_rcItem.top + m_rcItem.bottom - size) / 2;
  RECT box{m_rcItem.left + 1, top, m_rcItem.left + 1 + size, top + size};
  const DWORD edge =
      !IsEnabled() ? 0xFFB0B0B0 : ((m_uButtonState & UISTATE_HOT) ? 0xFF3C8CDC : 0xFF707070);
  CRenderEngine::DrawColor(hDC, box, 0xFFFFFFFF);
  CRenderEngine::DrawBorder(hDC, box, 1, edge);
  if (m_bSelected) {
    RECT mark{box.left + 3, box.top + 3, box.right - 3, box.bottom - 3};
    CRenderEngine::DrawColor(hDC, mark, IsEnabled() ? 0xFF2B5D8C : 0xFFB0B0B0);
  }
}

void COptionUI::PaintText(HDC hDC) {
  if (!HasImages() && m_rcTextPadding.left < 18) {
    // Leave room for the drawn check box.
    RECT saved = m_rcTextPadding;
    m_rcTextPadding.left = 18;
    DWORD saved_color = m_dwTextColor;
    if (m_bSelected && m_dwSelectedTextColor) m_dwTextColor = m_dwSelectedTextColor;
    CLabelUI::PaintText(hDC);
    m_dwTextColor = saved_color;
    m_rcTextPadding = saved;
    return;
  }
  if (m_bSelected && m_dwSelectedTextColor) {
    DWORD saved = m_dwTextColor;
    m_dwTextColor = m_dwSelectedTextColor;
    CLabelUI::PaintText(hDC);
    m_dwTextColor = saved;
    return;
  }
  CButtonUI::PaintText(hDC);
}

}  // namespace uilib
