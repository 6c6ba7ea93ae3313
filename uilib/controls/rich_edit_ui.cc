#include "uilib/controls/rich_edit_ui.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "uilib/paint/image_spec.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/paint/render_engine.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"

namespace uilib {

CRichEditUI::CRichEditUI() = default;

CRichEditUI::~CRichEditUI() { m_pHost.reset(); }

LPCTSTR CRichEditUI::GetClass() const { return L"RichEditUI"; }

void* CRichEditUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"RichEdit") == 0) return this;
  return CContainerUI::GetInterface(pstrName);
}

UINT CRichEditUI::GetControlFlags() const {
  if (!IsEnabled()) return 0;
  return UIFLAG_SETCURSOR | (IsKeyboardEnabled() ? UIFLAG_TABSTOP : 0) |
         (m_bWantReturn ? UIFLAG_WANTRETURN : 0);
}

std::wstring CRichEditUI::Filtered(const std::wstring& text) const {
  std::wstring out;
  out.reserve(text.size());
  bool seen_point = false;
  for (wchar_t c : text) {
    if (!m_bMultiLine && (c == L'\r' || c == L'\n')) continue;
    if (m_bNumberOnly || m_bFloatOnly) {
      if (c >= L'0' && c <= L'9') {
        out.push_back(c);
      } else if (m_bFloatOnly && m_bAllowPoint && c == L'.' && !seen_point) {
        seen_point = true;
        out.push_back(c);
      }
      continue;
    }
    out.push_back(c);
  }
  if (m_iLimitText > 0 && static_cast<int>(out.size()) > m_iLimitText) out.resize(m_iLimitText);
  return out;
}

bool CRichEditUI::ChangeText(std::wstring text, bool notify) {
  text = Filtered(text);
  const bool changed = text != m_sText;
  m_sText = text;
  const long len = static_cast<long>(m_sText.size());
  m_nSelStart = std::min(m_nSelStart, len);
  m_nSelEnd = std::min(m_nSelEnd, len);
  if (m_pHost && m_pHost->GetText() != m_sText) {
    m_pHost->SetText(m_sText);
    m_pHost->SetSelection(m_nSelStart, m_nSelEnd);
  }
  if (changed) {
    Invalidate();
    if (notify && m_pCompanion != nullptr) {
      const long left = m_iCompanionBudget - len;
      m_pCompanion->SetText(left >= 0 ? L"还可以输入" + std::to_wstring(left) + L"字"
                                      : L"已超出" + std::to_wstring(-left) + L"字");
    }
    if (notify && m_pManager) m_pManager->SendNotify(this, L"textchanged");
  }
  return changed;
}

void CRichEditUI::SetCompanionLabel(CControlUI* label, int budget) {
  m_pCompanion = label;
  m_iCompanionBudget = budget;
}

void CRichEditUI::SetText(LPCTSTR pstrText) {
  ChangeText(pstrText ? pstrText : L"", false);
  m_nSelStart = m_nSelEnd = static_cast<long>(m_sText.size());
  if (m_pHost) m_pHost->SetSelection(m_nSelStart, m_nSelEnd);
}

long CRichEditUI::GetTextLength() const { return static_cast<long>(m_sText.size()); }

void CRichEditUI::SetLimitText(int iChars) {
  m_iLimitText = std::max(0, iChars);
  if (m_pHost) m_pHost->SetMaxLength(m_iLimitText);
  ChangeText(m_sText, false);
}

void CRichEditUI::SetReadOnly(bool bReadOnly) {
  m_bReadOnly = bReadOnly;
  if (m_pHost) m_pHost->SetReadOnly(bReadOnly);
}

void CRichEditUI::SetPassword(bool bPassword) {
  m_bPassword = bPassword;
  if (m_pHost) m_pHost->SetPassword(bPassword);
  Invalidate();
}

void CRichEditUI::SetMultiLine(bool bMultiLine) {
  m_bMultiLine = bMultiLine;
  m_uTextStyle = bMultiLine ? (DT_WORDBREAK | DT_TOP) : (DT_VCENTER | DT_SINGLELINE);
  if (m_pHost) m_pHost->SetMultiLine(bMultiLine);
}

void CRichEditUI::SetNumberOnly(bool bNumberOnly) {
  m_bNumberOnly = bNumberOnly;
  ChangeText(m_sText, false);
}

void CRichEditUI::SetFloatOnly(bool bFloatOnly, bool bAllowPoint) {
  m_bFloatOnly = bFloatOnly;
  m_bAllowPoint = bAllowPoint;
  ChangeText(m_sText, false);
}

void CRichEditUI::SetTipText(LPCTSTR pstrTip) {
  m_sTipText = pstrTip ? pstrTip : L"";
  Invalidate();
}

void CRichEditUI::SetSel(long nStartChar, long nEndChar) {
  const long len = static_cast<long>(m_sText.size());
  if (nEndChar < 0 || nEndChar > len) nEndChar = len;
  if (nStartChar < 0) nStartChar = len;
  nStartChar = std::min(nStartChar, len);
  m_nSelStart = std::min(nStartChar, nEndChar);
  m_nSelEnd = std::max(nStartChar, nEndChar);
  if (m_pHost) m_pHost->SetSelection(m_nSelStart, m_nSelEnd);
}

void CRichEditUI::GetSel(long& nStartChar, long& nEndChar) const {
  if (m_pHost) {
    int s = 0, e = 0;
    m_pHost->GetSelection(&s, &e);
    nStartChar = s;
    nEndChar = e;
    return;
  }
  nStartChar = m_nSelStart;
  nEndChar = m_nSelEnd;
}

void CRichEditUI::SetSelNone() {
  SetSel(static_cast<long>(m_sText.size()), static_cast<long>(m_sText.size()));
}

std::wstring CRichEditUI::GetSelText() const {
  long s = 0, e = 0;
  GetSel(s, e);
  return m_sText.substr(s, e - s);
}

void CRichEditUI::ReplaceSel(LPCTSTR lpszNewText, bool bNotify) {
  long s = 0, e = 0;
  GetSel(s, e);
  std::wstring insert = lpszNewText ? lpszNewText : L"";
  std::wstring text = m_sText.substr(0, s) + insert + m_sText.substr(e);
  long caret = s + static_cast<long>(insert.size());
  ChangeText(text, bNotify);
  caret = std::min(caret, static_cast<long>(m_sText.size()));
  m_nSelStart = m_nSelEnd = caret;
  if (m_pHost) m_pHost->SetSelection(caret, caret);
}

void CRichEditUI::InsertTyped(const std::wstring& typed) {
  if (m_bReadOnly || !IsEnabled()) return;
  std::wstring ins = typed;
  if (m_iLimitText > 0) {
    const long room =
        m_iLimitText - (static_cast<long>(m_sText.size()) - (m_nSelEnd - m_nSelStart));
    if (room <= 0) return;
    if (static_cast<long>(ins.size()) > room) ins.resize(room);
  }
  std::wstring text = m_sText.substr(0, m_nSelStart) + ins + m_sText.substr(m_nSelEnd);
  // A character the filters refuse is dropped, as a native field would.
  if (Filtered(text) != text) return;
  const long caret = m_nSelStart + static_cast<long>(ins.size());
  ChangeText(text, true);
  m_nSelStart = m_nSelEnd = std::min(caret, static_cast<long>(m_sText.size()));
}

void CRichEditUI::OpenHost() {
  if (m_pHost || !m_pManager || !m_pManager->GetPaintWindow()) return;
  m_pHost = GetUiBackend().CreateTextInput(m_pManager->GetPaintWindow(), this);
  if (!m_pHost) return;
  const FontInfo& font = m_pManager->GetFont(m_iFont);
  m_pHost->SetFont(font.family, font.size);
  m_pHost->SetColors(m_dwTextColor, m_dwBackColor ? m_dwBackColor : 0xFFFFFFFF);
  m_pHost->SetMaxLength(m_iLimitText);
  m_pHost->SetPassword(m_bPassword);
  m_pHost->SetReadOnly(m_bReadOnly || !IsEnabled());
  m_pHost->SetMultiLine(m_bMultiLine);
  m_pHost->SetText(m_sText);
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left;
  rc.top += m_rcTextPadding.top;
  rc.right -= m_rcTextPadding.right;
  rc.bottom -= m_rcTextPadding.bottom;
  m_pHost->SetBounds(rc);
  m_pHost->SetSelection(m_nSelStart, m_nSelEnd);
  m_pHost->Focus();
}

void CRichEditUI::CloseHost() {
  if (!m_pHost) return;
  int s = 0, e = 0;
  m_pHost->GetSelection(&s, &e);
  m_nSelStart = s;
  m_nSelEnd = e;
  m_pHost.reset();
  Invalidate();
}

void CRichEditUI::OnHostTextChanged(const std::wstring& text) {
  if (m_bReadOnly) {
    m_pHost->SetText(m_sText);
    return;
  }
  int s = 0, e = 0;
  m_pHost->GetSelection(&s, &e);
  m_nSelStart = s;
  m_nSelEnd = e;
  ChangeText(text, true);
}

void CRichEditUI::OnHostKey(UINT vk, bool shift) {
  if (!m_pManager) return;
  HWND hwnd = m_pManager->GetPaintWindow();
  // Posted, not handled here: the key may move the focus, which closes
  // the host that is reporting it.
  PostMessage(hwnd, WM_KEYDOWN, vk, shift ? 1 : 0);
  if (vk == VK_RETURN || vk == VK_ESCAPE) PostMessage(hwnd, WM_CHAR, vk, 0);
  PostMessage(hwnd, WM_KEYUP, vk, 0);
}

void CRichEditUI::SetPos(RECT rc) {
  CContainerUI::SetPos(rc);
  if (m_pHost) {
    RECT inner = m_rcItem;
    inner.left += m_rcTextPadding.left;
    inner.top += m_rcTextPadding.top;
    inner.right -= m_rcTextPadding.right;
    inner.bottom -= m_rcTextPadding.bottom;
    m_pHost->SetBounds(inner);
  }
}

void CRichEditUI::SetVisible(bool bVisible) {
  CContainerUI::SetVisible(bVisible);
  if (!IsVisible()) CloseHost();
}

void CRichEditUI::SetEnabled(bool bEnable) {
  CContainerUI::SetEnabled(bEnable);
  if (!IsEnabled()) CloseHost();
}

void CRichEditUI::Event(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
      m_bFocused = true;
      OpenHost();
      Invalidate();
      if (m_pManager) m_pManager->SendNotify(this, L"setfocus");
      return;
    case UIEVENT_KILLFOCUS:
      m_bFocused = false;
      CloseHost();
      Invalidate();
      if (m_pManager) m_pManager->SendNotify(this, L"killfocus");
      return;
    case UIEVENT_SETCURSOR:
      if (m_pManager) SetCursorShape(m_pManager->GetPaintWindow(), CursorShape::kIBeam);
      return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
    case UIEVENT_BUTTONUP:
    case UIEVENT_MOUSEMOVE:
    case UIEVENT_MOUSEENTER:
    case UIEVENT_MOUSELEAVE:
      return;
    case UIEVENT_CHAR: {
      wchar_t c = event.chKey;
      if (c == L'\b') {
        if (m_bReadOnly || !IsEnabled()) return;
        std::wstring text = m_sText;
        long s = m_nSelStart, e = m_nSelEnd;
        if (s == e && s > 0) --s;
        text.erase(s, e - s);
        m_nSelStart = m_nSelEnd = s;
        ChangeText(text, true);
        return;
      }
      if (c == L'\r' || c == L'\n') {
        if (m_bMultiLine && m_bWantReturn) InsertTyped(L"\n");
        return;
      }
      if (c == L'\t' || c < 0x20 || c == 0x7F) return;
      InsertTyped(std::wstring(1, c));
      return;
    }
    case UIEVENT_KEYDOWN: {
      const long len = static_cast<long>(m_sText.size());
      switch (event.chKey) {
        case VK_LEFT:
          m_nSelStart = m_nSelEnd = std::max(0L, m_nSelStart - (m_nSelStart == m_nSelEnd ? 1 : 0));
          return;
        case VK_RIGHT:
          m_nSelStart = m_nSelEnd = std::min(len, m_nSelEnd + (m_nSelStart == m_nSelEnd ? 1 : 0));
          return;
        case VK_HOME:
          m_nSelStart = m_nSelEnd = 0;
          return;
        case VK_END:
          m_nSelStart = m_nSelEnd = len;
          return;
        case VK_DELETE: {
          if (m_bReadOnly || !IsEnabled()) return;
          std::wstring text = m_sText;
          long s = m_nSelStart, e = m_nSelEnd;
          if (s == e && e < len) ++e;
          text.erase(s, e - s);
          m_nSelStart = m_nSelEnd = s;
          ChangeText(text, true);
          return;
        }
        default:
          return;
      }
    }
    default:
      CContainerUI::Event(event);
  }
}

void CRichEditUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  std::wstring name = pstrName ? pstrName : L"";
  std::wstring value = pstrValue ? pstrValue : L"";
  uint32_t color;
  RECT rc;
  if (name == L"text")
    SetText(pstrValue);
  else if (name == L"maxchar")
    SetLimitText(ParseInt(pstrValue));
  else if (name == L"readonly")
    SetReadOnly(ParseBool(pstrValue));
  else if (name == L"password")
    SetPassword(ParseBool(pstrValue));
  else if (name == L"multiline")
    SetMultiLine(ParseBool(pstrValue));
  else if (name == L"wantreturn")
    SetWantReturn(ParseBool(pstrValue));
  else if (name == L"wanttab")
    SetWantTab(ParseBool(pstrValue));
  else if (name == L"wantctrlreturn")
    SetWantCtrlReturn(ParseBool(pstrValue));
  else if (name == L"rich")
    SetRich(ParseBool(pstrValue));
  else if (name == L"numberonly")
    SetNumberOnly(ParseBool(pstrValue));
  else if (name == L"floatonly")
    SetFloatOnly(ParseBool(pstrValue), true);
  else if (name == L"tiptext" || name == L"hinttext")
    SetTipText(pstrValue);
  else if (name == L"tipcolor") {
    if (ParseColor(value, &color)) SetTipColor(color);
  } else if (name == L"textcolor") {
    if (ParseColor(value, &color)) SetTextColor(color);
  } else if (name == L"font")
    SetFont(ParseInt(pstrValue));
  else if (name == L"textpadding") {
    if (ParseRect(value, &rc)) m_rcTextPadding = rc;
  } else if (name == L"align") {
    m_uTextStyle &= ~(DT_CENTER | DT_RIGHT);
    if (value.find(L"center") != std::wstring::npos) m_uTextStyle |= DT_CENTER;
    if (value.find(L"right") != std::wstring::npos) m_uTextStyle |= DT_RIGHT;
  } else {
    CContainerUI::SetAttribute(pstrName, pstrValue);
  }
}

void CRichEditUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT tmp;
  if (!IntersectRect(&tmp, rcPaint, m_rcItem)) return;
  CControlUI::PaintBkColor(hDC);
  CControlUI::PaintBkImage(hDC);
  RECT rc = m_rcItem;
  rc.left += m_rcTextPadding.left;
  rc.top += m_rcTextPadding.top;
  rc.right -= m_rcTextPadding.right;
  rc.bottom -= m_rcTextPadding.bottom;
  if (!m_pHost) {
    if (m_sText.empty()) {
      if (!m_bFocused && !m_sTipText.empty())
        CRenderEngine::DrawText(hDC, m_pManager, rc, m_sTipText, m_dwTipColor, m_iFont,
                                m_uTextStyle);
    } else {
      std::wstring shown = m_bPassword ? std::wstring(m_sText.size(), L'\x25CF') : m_sText;
      DWORD color = IsEnabled() ? m_dwTextColor
                                : (m_pManager ? m_pManager->GetDefaultDisabledColor() : 0xFFA7A6AA);
      CRenderEngine::DrawText(hDC, m_pManager, rc, shown, color, m_iFont, m_uTextStyle);
    }
    if (m_bFocused) {
      std::wstring before =
          m_bPassword ? std::wstring(m_nSelEnd, L'\x25CF') : m_sText.substr(0, m_nSelEnd);
      int x = rc.left + CRenderEngine::MeasureText(m_pManager, before, m_iFont).cx;
      CRenderEngine::DrawColor(hDC, RECT{x, rc.top + 2, x + 1, rc.bottom - 2}, m_dwTextColor);
    }
  }
  CControlUI::PaintBorder(hDC);
}

}  // namespace uilib
