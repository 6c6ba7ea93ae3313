#include "uilib/controls/combo_ui.h"

#include <cwchar>
#include <vector>

#include "uilib/paint/image_spec.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/popup_menu.h"
#include "uilib/paint/render_engine.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"

namespace uilib {

CComboUI::CComboUI() = default;

LPCTSTR CComboUI::GetClass() const { return L"ComboUI"; }

void* CComboUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"Combo") == 0) return this;
  return CListRowsUI::GetInterface(pstrName);
}

std::wstring CComboUI::GetText() const {
  CControlUI* item = GetItemAt(m_iCurSel);
  return item ? item->GetText() : L"";
}

bool CComboUI::Activate() {
  if (!CControlUI::Activate() || !m_pManager) return false;
  // The visible rows in a list under the box.
  std::vector<std::wstring> rows;
  std::vector<int> items;
  int selected = -1;
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* item = GetItemAt(i);
    if (!item->IsOwnVisible()) continue;
    if (i == m_iCurSel) selected = static_cast<int>(rows.size());
    rows.push_back(item->GetText());
    items.push_back(i);
  }
  POINT top_left{m_rcItem.left, m_rcItem.top};
  POINT bottom_right{m_rcItem.right, m_rcItem.bottom};
  ClientToScreen(m_pManager->GetPaintWindow(), &top_left);
  ClientToScreen(m_pManager->GetPaintWindow(), &bottom_right);
  const RECT field{top_left.x, top_left.y, bottom_right.x, bottom_right.y};
  const HWND owner = m_pManager->GetPaintWindow();
  const int chosen = GetUiBackend().RunDropDown(rows, selected, field, owner);
  // The list runs a loop of its own: the window, and this combo with it,
  // may have gone meanwhile (closed by the window manager or the program).
  if (!IsWindow(owner)) return false;
  if (chosen >= 0 && chosen < static_cast<int>(items.size()))
    SelectItem(items[static_cast<size_t>(chosen)], true);
  return true;
}

void CComboUI::Event(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
      if (IsEnabled() && m_rcItem.Contains(event.ptMouse)) Activate();
      return;
    case UIEVENT_KEYDOWN:
      if (!IsEnabled()) return;
      if (!StepSelection(event.chKey) && event.chKey == VK_SPACE) Activate();
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
    case UIEVENT_DBLCLICK:
    case UIEVENT_MOUSEMOVE:
      return;
    default:
      CContainerUI::Event(event);
  }
}

void CComboUI::SetPos(RECT rc) {
  // Rows are shown in the menu, not laid out in the box.
  CControlUI::SetPos(rc);
}

void CComboUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  std::wstring name = pstrName ? pstrName : L"";
  std::wstring value = pstrValue ? pstrValue : L"";
  uint32_t color;
  RECT rc;
  if (name == L"textcolor") {
    if (ParseColor(value, &color)) m_dwTextColor = color;
  } else if (name == L"font")
    m_iFont = ParseInt(pstrValue);
  else if (name == L"textpadding") {
    if (ParseRect(value, &rc)) m_rcTextPadding = rc;
  } else if (name == L"normalimage")
    m_sNormalImage = value;
  else if (name == L"hotimage")
    m_sHotImage = value;
  else if (name == L"pushedimage")
    m_sPushedImage = value;
  else if (name == L"disabledimage")
    m_sDisabledImage = value;
  else
    CContainerUI::SetAttribute(pstrName, pstrValue);
}

void CComboUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT tmp;
  if (!IntersectRect(&tmp, rcPaint, m_rcItem)) return;
  CControlUI::PaintBkColor(hDC);
  CControlUI::PaintBkImage(hDC);
  std::wstring* image =
      !IsEnabled() ? &m_sDisabledImage : (m_bHot ? &m_sHotImage : &m_sNormalImage);
  if (image->empty()) image = &m_sNormalImage;
  if (!image->empty() && !DrawImage(hDC, *image)) image->clear();
  if (m_sNormalImage.empty() && m_dwBorderColor == 0) {
    CRenderEngine::DrawBorder(hDC, m_rcItem, 1, m_bHot ? 0xFF3C8CDC : 0xFFA0A0A0);
    // The drop-down arrow.
    const int cx = m_rcItem.right - 10, cy = (m_rcItem.top + m_rcItem.bottom) / 2;
    for (int i = 0; i < 4; ++i)
      CRenderEngine::DrawColor(hDC, RECT{cx - 4 + i, cy - 2 + i, cx + 4 - i, cy - 1 + i},
                               0xFF505050);
  }
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left;
  rc.top += m_rcTextPadding.top;
  rc.right -= m_rcTextPadding.right;
  rc.bottom -= m_rcTextPadding.bottom;
  DWORD color = IsEnabled() ? m_dwTextColor
                            : (m_pManager ? m_pManager->GetDefaultDisabledColor() : 0xFFA7A6AA);
  CRenderEngine::DrawText(hDC, m_pManager, rc, GetText(), color, m_iFont,
                          DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  CControlUI::PaintBorder(hDC);
}

}  // namespace uilib
