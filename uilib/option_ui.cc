#include "uilib/option_ui.h"

#include <cwchar>

#include "uilib/image_spec.h"
#include "uilib/paint_manager_ui.h"

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
  if (m_bSelected) m_uButtonState |= UISTATE_SELECTED;
  else m_uButtonState &= ~UISTATE_SELECTED;
  if (m_bSelected && !m_sGroupName.empty() && m_pManager) {
    for (COptionUI* other : m_pManager->GetOptionGroup(m_sGroupName)) {
      if (other != this && other->IsSelected()) other->Selected(false, false);
    }
  }
  if (bTriggerEvent && m_pManager) m_pManager->SendNotify(this, L"selectchanged");
  Invalidate();
}

bool COptionUI::Activate() {
  if (!CControlUI::Activate()) return false;
  if (!m_sGroupName.empty()) Selected(true);
  else Selected(!m_bSelected);
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
  if (name == L"group") SetGroup(pstrValue);
  else if (name == L"selected") Selected(ParseBool(pstrValue), false);
  else if (name == L"selectedimage") SetSelectedImage(pstrValue);
  else if (name == L"selectedtextcolor") {
    if (ParseColor(pstrValue ? pstrValue : L"", &color)) SetSelectedTextColor(color);
  } else {
    CButtonUI::SetAttribute(pstrName, pstrValue);
  }
}

void COptionUI::PaintStatusImage(HDC hDC) {
  if (m_bSelected && !m_sSelectedImage.empty()) {
    if (DrawImage(hDC, m_sSelectedImage)) return;
    m_sSelectedImage.clear();
  }
  CButtonUI::PaintStatusImage(hDC);
}

void COptionUI::PaintText(HDC hDC) {
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
