#include "uilib/controls/list_ui.h"

#include <cwchar>

#include "uilib/paint/image_spec.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/paint/render_engine.h"

namespace uilib {

CListLabelElementUI::CListLabelElementUI() {
  m_uTextStyle = DT_VCENTER | DT_SINGLELINE;
  m_rcTextPadding = RECT{4, 0, 4, 0};
}

LPCTSTR CListLabelElementUI::GetClass() const { return L"ListLabelElementUI"; }

void* CListLabelElementUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && (std::wcscmp(pstrName, kInterfaceListItem) == 0 ||
                   std::wcscmp(pstrName, L"ListLabelElement") == 0))
    return this;
  return CLabelUI::GetInterface(pstrName);
}

UINT CListLabelElementUI::GetControlFlags() const { return 0; }

void CListLabelElementUI::Select(bool bSelect) {
  if (m_bSelected == bSelect) return;
  m_bSelected = bSelect;
  Invalidate();
}

bool CListLabelElementUI::Activate() {
  if (!CControlUI::Activate()) return false;
  if (m_pOwner) m_pOwner->SelectItem(m_iIndex, true);
  return true;
}

void CListLabelElementUI::Event(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (IsEnabled()) Activate();
      return;
    case UIEVENT_MOUSEENTER:
      m_bHot = true;
      Invalidate();
      return;
    case UIEVENT_MOUSELEAVE:
      m_bHot = false;
      Invalidate();
      return;
    case UIEVENT_BUTTONUP:
      return;
    default:
      CLabelUI::Event(event);
  }
}

SIZE CListLabelElementUI::EstimateSize(SIZE szAvailable) {
  if (m_cxyFixed.cy == 0)
    return SIZE{m_cxyFixed.cx, (m_pManager ? m_pManager->GetFont(m_iFont).size : 12) + 10};
  return CLabelUI::EstimateSize(szAvailable);
}

void CListLabelElementUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT tmp;
  if (!IntersectRect(&tmp, rcPaint, m_rcItem)) return;
  if (m_bSelected)
    CRenderEngine::DrawColor(hDC, m_rcItem, m_dwSelectedBkColor);
  else if (m_bHot)
    CRenderEngine::DrawColor(hDC, m_rcItem, m_dwHotBkColor);
  CLabelUI::DoPaint(hDC, rcPaint);
}

void CListLabelElementUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  std::wstring name = pstrName ? pstrName : L"";
  uint32_t color;
  if (name == L"selected") {
    if (ParseBool(pstrValue) && m_pOwner)
      m_pOwner->SelectItem(m_iIndex);
    else
      Select(ParseBool(pstrValue));
  } else if (name == L"itemselectedbkcolor" || name == L"selectedbkcolor") {
    if (ParseColor(pstrValue ? pstrValue : L"", &color)) m_dwSelectedBkColor = color;
  } else if (name == L"itemhotbkcolor" || name == L"hotbkcolor") {
    if (ParseColor(pstrValue ? pstrValue : L"", &color)) m_dwHotBkColor = color;
  } else {
    CLabelUI::SetAttribute(pstrName, pstrValue);
  }
}

// ---- the rows of lists and combos

template <class Rows>
void* CListRowsUI<Rows>::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"IListOwner") == 0)
    return static_cast<IListOwnerUI*>(this);
  return Rows::GetInterface(pstrName);
}

template <class Rows>
UINT CListRowsUI<Rows>::GetControlFlags() const {
  return this->IsEnabled() && this->IsKeyboardEnabled() ? UIFLAG_TABSTOP : 0;
}

template <class Rows>
void CListRowsUI<Rows>::Reindex() {
  for (int i = 0; i < this->GetCount(); ++i) {
    if (auto* item = static_cast<CListLabelElementUI*>(
            this->GetItemAt(i)->GetInterface(kInterfaceListItem))) {
      item->SetIndex(i);
      item->SetOwner(this);
    }
  }
}

template <class Rows>
bool CListRowsUI<Rows>::Add(CControlUI* pControl) {
  return AddAt(pControl, this->GetCount());
}

template <class Rows>
bool CListRowsUI<Rows>::AddAt(CControlUI* pControl, int iIndex) {
  if (!Rows::AddAt(pControl, iIndex)) return false;
  if (m_iCurSel >= iIndex) ++m_iCurSel;
  Reindex();
  return true;
}

template <class Rows>
bool CListRowsUI<Rows>::Remove(CControlUI* pControl) {
  int index = this->GetItemIndex(pControl);
  return index >= 0 && RemoveAt(index);
}

template <class Rows>
bool CListRowsUI<Rows>::RemoveAt(int iIndex) {
  if (!Rows::RemoveAt(iIndex)) return false;
  if (m_iCurSel == iIndex)
    m_iCurSel = -1;
  else if (m_iCurSel > iIndex)
    --m_iCurSel;
  Reindex();
  return true;
}

template <class Rows>
void CListRowsUI<Rows>::RemoveAll() {
  m_iCurSel = -1;
  Rows::RemoveAll();
}

template <class Rows>
bool CListRowsUI<Rows>::SelectItem(int iIndex, bool bTakeFocus) {
  if (iIndex == m_iCurSel) return true;
  if (iIndex >= this->GetCount()) return false;
  const int old = m_iCurSel;
  if (auto* prev = old >= 0 ? static_cast<CListLabelElementUI*>(
                                  this->GetItemAt(old)->GetInterface(kInterfaceListItem))
                            : nullptr)
    prev->Select(false);
  m_iCurSel = iIndex < 0 ? -1 : iIndex;
  if (m_iCurSel >= 0) {
    if (auto* item = static_cast<CListLabelElementUI*>(
            this->GetItemAt(m_iCurSel)->GetInterface(kInterfaceListItem)))
      item->Select(true);
  }
  CPaintManagerUI* manager = this->m_pManager;
  if (bTakeFocus && manager) manager->SetFocus(this);
  // A combo shows the chosen row's text in its own box.
  this->Invalidate();
  if (manager) manager->SendNotify(this, L"itemselect", m_iCurSel, old);
  return true;
}

template <class Rows>
bool CListRowsUI<Rows>::StepSelection(UINT key) {
  if (key != VK_UP && key != VK_DOWN) return false;
  if (key == VK_UP && m_iCurSel > 0)
    SelectItem(m_iCurSel - 1);
  else if (key == VK_DOWN && m_iCurSel + 1 < this->GetCount())
    SelectItem(m_iCurSel + 1);
  return true;
}

template class CListRowsUI<CContainerUI>;
template class CListRowsUI<CVerticalLayoutUI>;

// ---- CListUI

LPCTSTR CListUI::GetClass() const { return L"ListUI"; }

void* CListUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"List") == 0) return this;
  return CListRowsUI::GetInterface(pstrName);
}

void CListUI::Event(TEventUI& event) {
  if (event.Type == UIEVENT_KEYDOWN && IsEnabled()) {
    StepSelection(event.chKey);
    return;
  }
  CVerticalLayoutUI::Event(event);
}

}  // namespace uilib
