#include "uilib/list_ui.h"

#include <cwchar>

#include "uilib/image_spec.h"
#include "uilib/paint_manager_ui.h"
#include "uilib/render_engine.h"

namespace uilib {

CListLabelElementUI::CListLabelElementUI() { m_uTextStyle = DT_VCENTER | DT_SINGLELINE; m_rcTextPadding = RECT{4, 0, 4, 0}; }

LPCTSTR CListLabelElementUI::GetClass() const { return L"ListLabelElementUI"; }

void* CListLabelElementUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && (std::wcscmp(pstrName, kInterfaceListItem) == 0 || std::wcscmp(pstrName, L"ListLabelElement") == 0))
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
  if (m_cxyFixed.cy == 0) return SIZE{m_cxyFixed.cx, (m_pManager ? m_pManager->GetFont(m_iFont).size : 12) + 10};
  return CLabelUI::EstimateSize(szAvailable);
}

void CListLabelElementUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT tmp;
  if (!IntersectRect(&tmp, rcPaint, m_rcItem)) return;
  if (m_bSelected) CRenderEngine::DrawColor(hDC, m_rcItem, m_dwSelectedBkColor);
  else if (m_bHot) CRenderEngine::DrawColor(hDC, m_rcItem, m_dwHotBkColor);
  CLabelUI::DoPaint(hDC, rcPaint);
}

void CListLabelElementUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  std::wstring name = pstrName ? pstrName : L"";
  uint32_t color;
  if (name == L"selected") {
    if (ParseBool(pstrValue) && m_pOwner) m_pOwner->SelectItem(m_iIndex);
    else Select(ParseBool(pstrValue));
  } else if (name == L"itemselectedbkcolor" || name == L"selectedbkcolor") {
    if (ParseColor(pstrValue ? pstrValue : L"", &color)) m_dwSelectedBkColor = color;
  } else if (name == L"itemhotbkcolor" || name == L"hotbkcolor") {
    if (ParseColor(pstrValue ? pstrValue : L"", &color)) m_dwHotBkColor = color;
  } else {
    CLabelUI::SetAttribute(pstrName, pstrValue);
  }
}

// ---- CListUI

LPCTSTR CListUI::GetClass() const { return L"ListUI"; }

void* CListUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"List") == 0) return this;
  if (pstrName && std::wcscmp(pstrName, L"IListOwner") == 0) return static_cast<IListOwnerUI*>(this);
  return CVerticalLayoutUI::GetInterface(pstrName);
}

UINT CListUI::GetControlFlags() const { return IsEnabled() && IsKeyboardEnabled() ? UIFLAG_TABSTOP : 0; }

void ReindexListItems(CContainerUI& items, IListOwnerUI* owner) {
  for (int i = 0; i < items.GetCount(); ++i) {
    if (auto* item = static_cast<CListLabelElementUI*>(items.GetItemAt(i)->GetInterface(kInterfaceListItem))) {
      item->SetIndex(i);
      item->SetOwner(owner);
    }
  }
}

int SelectionAfterInsert(int selected, int inserted) { return selected >= inserted ? selected + 1 : selected; }

int SelectionAfterRemove(int selected, int removed) {
  if (selected == removed) return -1;
  return selected > removed ? selected - 1 : selected;
}

void CListUI::Reindex() { ReindexListItems(*this, this); }

bool CListUI::Add(CControlUI* pControl) { return AddAt(pControl, GetCount()); }

bool CListUI::AddAt(CControlUI* pControl, int iIndex) {
  if (!CVerticalLayoutUI::AddAt(pControl, iIndex)) return false;
  m_iCurSel = SelectionAfterInsert(m_iCurSel, iIndex);
  Reindex();
  return true;
}

bool CListUI::Remove(CControlUI* pControl) {
  int index = GetItemIndex(pControl);
  return index >= 0 && RemoveAt(index);
}

bool CListUI::RemoveAt(int iIndex) {
  if (!CVerticalLayoutUI::RemoveAt(iIndex)) return false;
  m_iCurSel = SelectionAfterRemove(m_iCurSel, iIndex);
  Reindex();
  return true;
}

void CListUI::RemoveAll() {
  m_iCurSel = -1;
  CVerticalLayoutUI::RemoveAll();
}

bool CListUI::SelectItem(int iIndex, bool bTakeFocus) {
  if (iIndex == m_iCurSel) return true;
  if (iIndex >= GetCount()) return false;
  const int old = m_iCurSel;
  if (auto* prev = old >= 0 ? static_cast<CListLabelElementUI*>(GetItemAt(old)->GetInterface(kInterfaceListItem)) : nullptr)
    prev->Select(false);
  m_iCurSel = iIndex < 0 ? -1 : iIndex;
  if (m_iCurSel >= 0) {
    if (auto* item = static_cast<CListLabelElementUI*>(GetItemAt(m_iCurSel)->GetInterface(kInterfaceListItem)))
      item->Select(true);
  }
  if (bTakeFocus && m_pManager) m_pManager->SetFocus(this);
  if (m_pManager) m_pManager->SendNotify(this, L"itemselect", m_iCurSel, old);
  return true;
}

void CListUI::Event(TEventUI& event) {
  if (event.Type == UIEVENT_KEYDOWN && IsEnabled()) {
    if (event.chKey == VK_UP && m_iCurSel > 0) SelectItem(m_iCurSel - 1);
    else if (event.chKey == VK_DOWN && m_iCurSel + 1 < GetCount()) SelectItem(m_iCurSel + 1);
    return;
  }
  CVerticalLayoutUI::Event(event);
}

}  // namespace uilib
