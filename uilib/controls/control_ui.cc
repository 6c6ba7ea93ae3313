#include "uilib/controls/control_ui.h"

#include <cwchar>
#include <string>

#include "uilib/paint/image_spec.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/paint/render_engine.h"

namespace uilib {

bool ParseBool(LPCTSTR value) { return value && std::wcscmp(value, L"true") == 0; }

int ParseInt(LPCTSTR value) {
  if (!value) return 0;
  return static_cast<int>(std::wcstol(value, nullptr, 10));
}

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
  if (m_pManager) m_pManager->ReapObjects(this);
}

void CControlUI::SetName(LPCTSTR pstrName) {
  std::wstring old = m_sName;
  m_sName = pstrName ? pstrName : L"";
  if (m_pManager && old != m_sName) m_pManager->NameChanged(this, old);
}

LPCTSTR CControlUI::GetClass() const { return L"ControlUI"; }

void* CControlUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"Control") == 0) return this;
  return nullptr;
}

void CControlUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
  if (m_pManager && m_pManager != pManager) m_pManager->ReapObjects(this);
  m_pManager = pManager;
  m_pParent = pParent;
  if (bInit && m_pManager) Init();
}

void CControlUI::Init() {
  if (m_pManager) {
    m_pManager->NameChanged(this, L"");
    if (m_sToolTip.empty() && !m_sName.empty())
      m_sToolTip = CPaintManagerUI::GetToolTipFor(m_sName);
  }
  DoInit();
}

CControlUI* CControlUI::FindControl(const FindControlProc& Proc, void* pData, UINT uFlags) {
  if ((uFlags & UIFIND_VISIBLE) != 0 && !m_bVisible) return nullptr;
  if ((uFlags & UIFIND_ENABLED) != 0 && !m_bEnabled) return nullptr;
  if ((uFlags & UIFIND_HITTEST) != 0) {
    if (!m_bMouseEnabled || !m_rcItem.Contains(*static_cast<POINT*>(pData))) return nullptr;
  }
  return Proc(this, pData);
}

void CControlUI::SetText(LPCTSTR pstrText) {
  std::wstring text = pstrText ? pstrText : L"";
  if (m_sText == text) return;
  m_sText = text;
  Invalidate();
}

void CControlUI::SetBkColor(DWORD dwBackColor) {
  if (m_dwBackColor == dwBackColor) return;
  m_dwBackColor = dwBackColor;
  Invalidate();
}

void CControlUI::SetBorderColor(DWORD dwColor) {
  m_dwBorderColor = dwColor;
  Invalidate();
}

void CControlUI::SetBorderSize(int nSize) {
  m_nBorderSize = nSize;
  Invalidate();
}

void CControlUI::SetBkImage(LPCTSTR pStrImage) {
  std::wstring image = pStrImage ? pStrImage : L"";
  if (m_sBkImage == image) return;
  m_sBkImage = image;
  Invalidate();
}

bool CControlUI::DrawImage(HDC hDC, const std::wstring& image, const std::wstring& modify) {
  return CRenderEngine::DrawImageString(hDC, m_pManager, m_rcItem, m_rcItem, image, modify);
}

void CControlUI::SetPos(RECT rc) {
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  if (m_rcItem == rc) {
    m_bUpdateNeeded = false;
    return;
  }
  RECT old = m_rcItem;
  m_rcItem = rc;
  m_bUpdateNeeded = false;
  if (m_pManager) {
    m_pManager->Invalidate(old);
    m_pManager->Invalidate(m_rcItem);
  }
}

void CControlUI::SetPadding(RECT rcPadding) {
  m_rcPadding = rcPadding;
  NeedParentUpdate();
}

void CControlUI::SetFixedXY(SIZE szXY) {
  m_cXY = szXY;
  NeedParentUpdate();
}

void CControlUI::SetFixedWidth(int cx) {
  if (cx < 0) return;
  m_cxyFixed.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  if (cy < 0) return;
  m_cxyFixed.cy = cy;
  NeedParentUpdate();
}

void CControlUI::SetMinWidth(int cx) {
  if (cx < 0) return;
  m_cxyMin.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetMaxWidth(int cx) {
  if (cx < 0) return;
  m_cxyMax.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetMinHeight(int cy) {
  if (cy < 0) return;
  m_cxyMin.cy = cy;
  NeedParentUpdate();
}

void CControlUI::SetMaxHeight(int cy) {
  if (cy < 0) return;
  m_cxyMax.cy = cy;
  NeedParentUpdate();
}

void CControlUI::SetFloat(bool bFloat) {
  m_bFloat = bFloat;
  NeedParentUpdate();
}

SIZE CControlUI::EstimateSize(SIZE) { return m_cxyFixed; }

bool CControlUI::IsVisible() const {
  for (const CControlUI* c = this; c; c = c->m_pParent) {
    if (!c->m_bVisible) return false;
  }
  return true;
}

void CControlUI::SetVisible(bool bVisible) {
  if (m_bVisible == bVisible) return;
  m_bVisible = bVisible;
  if (!bVisible && m_bFocused && m_pManager) m_pManager->SetFocus(nullptr);
  NeedParentUpdate();
}

void CControlUI::SetInternVisible(bool bVisible) {
  if (!bVisible && m_bFocused && m_pManager) m_pManager->SetFocus(nullptr);
}

bool CControlUI::IsEnabled() const {
  for (const CControlUI* c = this; c; c = c->m_pParent) {
    if (!c->m_bEnabled) return false;
  }
  return true;
}

void CControlUI::SetEnabled(bool bEnable) {
  if (m_bEnabled == bEnable) return;
  m_bEnabled = bEnable;
  if (!bEnable && m_bFocused && m_pManager) m_pManager->SetFocus(nullptr);
  Invalidate();
}

void CControlUI::SetFocus() {
  if (m_pManager) m_pManager->SetFocus(this);
}

bool CControlUI::Activate() { return IsVisible() && IsEnabled(); }

void CControlUI::Event(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
      m_bFocused = true;
      Invalidate();
      return;
    case UIEVENT_KILLFOCUS:
      m_bFocused = false;
      Invalidate();
      return;
    case UIEVENT_TIMER:
      if (m_pManager) m_pManager->SendNotify(this, L"timer", event.wParam, event.lParam);
      return;
    default:
      break;
  }
  // Mouse and keys a control does not use go to its container.
  if (m_pParent) m_pParent->Event(event);
}

void CControlUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  std::wstring name = pstrName ? pstrName : L"";
  std::wstring value = pstrValue ? pstrValue : L"";
  RECT rc;
  SIZE sz;
  uint32_t color;
  if (name == L"name")
    SetName(value.c_str());
  else if (name == L"text")
    SetText(value.c_str());
  else if (name == L"tooltip")
    SetToolTip(value.c_str());
  else if (name == L"userdata")
    SetUserData(value.c_str());
  else if (name == L"pos") {
    if (ParseRect(value, &rc)) {
      m_rcFloatPos = rc;
      m_bHasFloatPos = true;
      m_cXY = SIZE{rc.left, rc.top};
      SetFixedWidth(rc.right - rc.left);
      SetFixedHeight(rc.bottom - rc.top);
    }
  } else if (name == L"padding") {
    if (ParseRect(value, &rc)) SetPadding(rc);
  } else if (name == L"bkcolor" || name == L"bkcolor1") {
    if (ParseColor(value, &color)) SetBkColor(color);
  } else if (name == L"bordercolor") {
    if (ParseColor(value, &color)) SetBorderColor(color);
  } else if (name == L"bordersize")
    SetBorderSize(ParseInt(pstrValue));
  else if (name == L"bkimage")
    SetBkImage(value.c_str());
  else if (name == L"width")
    SetFixedWidth(ParseInt(pstrValue));
  else if (name == L"height")
    SetFixedHeight(ParseInt(pstrValue));
  else if (name == L"minwidth")
    SetMinWidth(ParseInt(pstrValue));
  else if (name == L"minheight")
    SetMinHeight(ParseInt(pstrValue));
  else if (name == L"maxwidth")
    SetMaxWidth(ParseInt(pstrValue));
  else if (name == L"maxheight")
    SetMaxHeight(ParseInt(pstrValue));
  else if (name == L"size") {
    if (ParseSize(value, &sz)) {
      SetFixedWidth(sz.cx);
      SetFixedHeight(sz.cy);
    }
  } else if (name == L"enabled")
    SetEnabled(ParseBool(pstrValue));
  else if (name == L"visible")
    SetVisible(ParseBool(pstrValue));
  else if (name == L"mouse")
    SetMouseEnabled(ParseBool(pstrValue));
  else if (name == L"keyboard")
    SetKeyboardEnabled(ParseBool(pstrValue));
  else if (name == L"float")
    SetFloat(ParseBool(pstrValue));
}

void CControlUI::ApplyAttributeList(LPCTSTR pstrList) {
  std::wstring list = pstrList ? pstrList : L"";
  size_t pos = 0;
  while (pos < list.size()) {
    while (pos < list.size() && list[pos] == L' ') ++pos;
    size_t eq = list.find(L'=', pos);
    if (eq == std::wstring::npos) return;
    std::wstring name = list.substr(pos, eq - pos);
    if (eq + 1 >= list.size() || list[eq + 1] != L'"') return;
    size_t end = list.find(L'"', eq + 2);
    if (end == std::wstring::npos) return;
    std::wstring value = list.substr(eq + 2, end - eq - 2);
    SetAttribute(name.c_str(), value.c_str());
    pos = end + 1;
  }
}

void CControlUI::Invalidate() {
  if (m_pManager && !m_rcItem.IsEmpty()) m_pManager->Invalidate(m_rcItem);
}

void CControlUI::NeedUpdate() {
  m_bUpdateNeeded = true;
  if (m_pManager) m_pManager->NeedUpdate();
  Invalidate();
}

void CControlUI::NeedParentUpdate() {
  if (m_pParent) {
    m_pParent->NeedUpdate();
  } else {
    NeedUpdate();
  }
  if (m_pManager) m_pManager->NeedUpdate();
}

void CControlUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT tmp;
  if (!IntersectRect(&tmp, rcPaint, m_rcItem)) return;
  PaintBkColor(hDC);
  PaintBkImage(hDC);
  PaintStatusImage(hDC);
  PaintText(hDC);
  PaintBorder(hDC);
}

void CControlUI::PaintBkColor(HDC hDC) {
  if (m_dwBackColor != 0) CRenderEngine::DrawColor(hDC, m_rcItem, m_dwBackColor);
}

void CControlUI::PaintBkImage(HDC hDC) {
  if (m_sBkImage.empty()) return;
  if (!DrawImage(hDC, m_sBkImage)) m_sBkImage.clear();
}

void CControlUI::PaintStatusImage(HDC) {}
void CControlUI::PaintText(HDC) {}

void CControlUI::PaintBorder(HDC hDC) {
  if (m_nBorderSize > 0 && m_dwBorderColor != 0)
    CRenderEngine::DrawBorder(hDC, m_rcItem, m_nBorderSize, m_dwBorderColor);
}

}  // namespace uilib
