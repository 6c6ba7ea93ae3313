#include "uilib/controls/label_ui.h"

#include <cwchar>

#include "uilib/paint/image_spec.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/paint/render_engine.h"
#include "uilib/winsys/win_api.h"

namespace uilib {

CLabelUI::CLabelUI() = default;

LPCTSTR CLabelUI::GetClass() const { return L"LabelUI"; }

void* CLabelUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"Label") == 0) return this;
  return CControlUI::GetInterface(pstrName);
}

void CLabelUI::SetTextStyle(UINT uStyle) {
  m_uTextStyle = uStyle;
  Invalidate();
}

void CLabelUI::SetTextColor(DWORD dwTextColor) {
  m_dwTextColor = dwTextColor;
  Invalidate();
}

void CLabelUI::SetDisabledTextColor(DWORD dwTextColor) {
  m_dwDisabledTextColor = dwTextColor;
  Invalidate();
}

void CLabelUI::SetFont(int index) {
  m_iFont = index;
  Invalidate();
}

void CLabelUI::SetTextPadding(RECT rc) {
  m_rcTextPadding = rc;
  Invalidate();
}

void CLabelUI::SetMaxLength(int nChars) {
  m_nMaxLength = nChars < 0 ? 0 : nChars;
  Invalidate();
}

std::wstring CLabelUI::ShownText() const {
  if (m_nMaxLength > 0 && static_cast<int>(m_sText.size()) > m_nMaxLength)
    return m_sText.substr(0, m_nMaxLength);
  return m_sText;
}

int CLabelUI::GetTextWidth() const {
  return CRenderEngine::MeasureText(m_pManager, ShownText(), m_iFont).cx;
}

SIZE CLabelUI::EstimateSize(SIZE szAvailable) {
  if (m_cxyFixed.cy == 0 && m_pManager) {
    return SIZE{m_cxyFixed.cx, m_pManager->GetFont(m_iFont).size + 8};
  }
  return CControlUI::EstimateSize(szAvailable);
}

void CLabelUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  std::wstring name = pstrName ? pstrName : L"";
  std::wstring value = pstrValue ? pstrValue : L"";
  uint32_t color;
  RECT rc;
  if (name == L"align") {
    if (value.find(L"left") != std::wstring::npos) m_uTextStyle &= ~(DT_CENTER | DT_RIGHT);
    if (value.find(L"center") != std::wstring::npos) {
      m_uTextStyle &= ~DT_RIGHT;
      m_uTextStyle |= DT_CENTER;
    }
    if (value.find(L"right") != std::wstring::npos) {
      m_uTextStyle &= ~DT_CENTER;
      m_uTextStyle |= DT_RIGHT;
    }
    if (value.find(L"top") != std::wstring::npos) m_uTextStyle &= ~(DT_VCENTER | DT_BOTTOM);
    if (value.find(L"vcenter") != std::wstring::npos) {
      m_uTextStyle &= ~DT_BOTTOM;
      m_uTextStyle |= DT_VCENTER;
    }
    if (value.find(L"bottom") != std::wstring::npos) {
      m_uTextStyle &= ~DT_VCENTER;
      m_uTextStyle |= DT_BOTTOM;
    }
    Invalidate();
  } else if (name == L"endellipsis") {
    if (ParseBool(pstrValue))
      m_uTextStyle |= DT_END_ELLIPSIS;
    else
      m_uTextStyle &= ~DT_END_ELLIPSIS;
  } else if (name == L"wordbreak" || name == L"multiline") {
    if (ParseBool(pstrValue)) {
      m_uTextStyle |= DT_WORDBREAK;
      m_uTextStyle &= ~DT_SINGLELINE;
    } else {
      m_uTextStyle &= ~DT_WORDBREAK;
      m_uTextStyle |= DT_SINGLELINE;
    }
  } else if (name == L"font") {
    SetFont(ParseInt(pstrValue));
  } else if (name == L"textcolor") {
    if (ParseColor(value, &color)) SetTextColor(color);
  } else if (name == L"disabledtextcolor") {
    if (ParseColor(value, &color)) SetDisabledTextColor(color);
  } else if (name == L"textpadding") {
    if (ParseRect(value, &rc)) SetTextPadding(rc);
  } else if (name == L"maxlength") {
    SetMaxLength(ParseInt(pstrValue));
  } else {
    CControlUI::SetAttribute(pstrName, pstrValue);
  }
}

void CLabelUI::PaintText(HDC hDC) {
  std::wstring text = ShownText();
  if (text.empty()) return;
  DWORD color =
      m_dwTextColor ? m_dwTextColor : (m_pManager ? m_pManager->GetDefaultFontColor() : 0xFF000000);
  if (!IsEnabled()) {
    color = m_dwDisabledTextColor
                ? m_dwDisabledTextColor
                : (m_pManager ? m_pManager->GetDefaultDisabledColor() : 0xFFA7A6AA);
  }
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left;
  rc.right -= m_rcTextPadding.right;
  rc.top += m_rcTextPadding.top;
  rc.bottom -= m_rcTextPadding.bottom;
  CRenderEngine::DrawText(hDC, m_pManager, rc, text, color, m_iFont, m_uTextStyle);
}

CTextUI::CTextUI() = default;

LPCTSTR CTextUI::GetClass() const { return L"TextUI"; }

void* CTextUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"Text") == 0) return this;
  return CLabelUI::GetInterface(pstrName);
}

UINT CTextUI::GetControlFlags() const { return IsEnabled() ? UIFLAG_SETCURSOR : 0; }

void CTextUI::Event(TEventUI& event) {
  if (event.Type == UIEVENT_SETCURSOR) {
    if (m_pManager) SetCursorShape(m_pManager->GetPaintWindow(), CursorShape::kHand);
    return;
  }
  if (event.Type == UIEVENT_BUTTONUP) {
    if (m_rcItem.Contains(event.ptMouse) && Activate() && m_pManager)
      m_pManager->SendNotify(this, L"click");
    return;
  }
  if (event.Type == UIEVENT_BUTTONDOWN || event.Type == UIEVENT_DBLCLICK) return;
  CLabelUI::Event(event);
}

}  // namespace uilib
