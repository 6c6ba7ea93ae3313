#include "client/ui/controls/ob_pic_button_ui.h"

#include <cwchar>
#include <filesystem>

#include "client/ui/controls/control_context.h"
#include "uilib/paint_manager_ui.h"
#include "uilib/win_api.h"

using namespace uilib;

namespace {

constexpr int kMarkSize = 16;

}  // namespace

COBPicButtonUI::COBPicButtonUI(const ControlContext* context) {
  if (context != nullptr)
    close_mark_ = std::filesystem::absolute(std::filesystem::path(context->skin_folder) / "close_hover.png").wstring();
  SetTextStyle(DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

COBPicButtonUI::~COBPicButtonUI() = default;

LPCTSTR COBPicButtonUI::GetClass() const { return L"OBPicButtonUI"; }

void* COBPicButtonUI::GetInterface(LPCTSTR name) {
  if (std::wcscmp(name, L"OBPicButton") == 0) return this;
  return CButtonUI::GetInterface(name);
}

UINT COBPicButtonUI::GetControlFlags() const {
  return IsEnabled() ? UIFLAG_TABSTOP | UIFLAG_SETCURSOR : UIFLAG_TABSTOP;
}

void COBPicButtonUI::SetAttached(bool attached) {
  attached_ = attached;
  Invalidate();
}

void COBPicButtonUI::SetAttribute(LPCTSTR name, LPCTSTR value) {
  if (std::wcscmp(name, L"normalimage") == 0) SetNormalImage(value);
  else if (std::wcscmp(name, L"hotimage") == 0) SetHotImage(value);
  else if (std::wcscmp(name, L"pushedimage") == 0) SetPushedImage(value);
  else if (std::wcscmp(name, L"focusedimage") == 0) SetFocusedImage(value);
  else if (std::wcscmp(name, L"disabledimage") == 0) SetDisabledImage(value);
  else {
    CButtonUI::SetAttribute(name, value);
    return;
  }
  Invalidate();
}

SIZE COBPicButtonUI::EstimateSize(SIZE available) {
  if (GetFixedHeight() != 0) return CButtonUI::EstimateSize(available);
  int font_height = m_pManager != nullptr ? m_pManager->GetDefaultFontHeight() : 12;
  return SIZE{GetFixedWidth(), font_height + 8};
}

bool COBPicButtonUI::InCloseMark(const TEventUI& event) const {
  POINT pt = event.ptMouse;
  if (mapping_window_ != 0 && (m_pManager == nullptr || mapping_window_ != m_pManager->GetPaintWindow())) {
    GetCursorPos(&pt);
    ScreenToClient(mapping_window_, &pt);
  }
  RECT mark{m_rcItem.right - kMarkSize, m_rcItem.top, m_rcItem.right, m_rcItem.top + kMarkSize};
  return mark.Contains(pt);
}

void COBPicButtonUI::Event(TEventUI& event) {
  if (ForwardWhenMouseDisabled(event)) return;
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
      Invalidate();
      return;
    // Capture tracking, hot state and the hand cursor are the button's own.
    case UIEVENT_MOUSEMOVE:
    case UIEVENT_MOUSEENTER:
    case UIEVENT_SETCURSOR:
      CButtonUI::Event(event);
      return;
    case UIEVENT_MOUSELEAVE:
      if (IsEnabled()) {
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
      }
      CButtonUI::Event(event);
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
      if (!(m_uButtonState & UISTATE_CAPTURED)) return;
      if (attached_ && InCloseMark(event)) {
        attached_ = false;
        std::wstring mark = L"file='" + close_mark_ + L"' source='0,0,26,25' ";
        SetNormalImage(mark.c_str());
        SetHotImage(mark.c_str());
        SetPushedImage(mark.c_str());
        m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
        Invalidate();
        if (m_pManager != nullptr) m_pManager->SendNotify(this, L"selectchanged");
        return;
      }
      if (m_rcItem.Contains(event.ptMouse)) Activate();
      m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
      Invalidate();
      return;
    default:
      CLabelUI::Event(event);
      return;
  }
}

bool COBPicButtonUI::DrawStatusImage(HDC hdc, std::wstring& image) {
  if (image.empty()) return false;
  if (DrawImage(hdc, image)) return true;
  image.clear();
  return false;
}

void COBPicButtonUI::PaintStatusImage(HDC hdc) {
  if (IsFocused()) m_uButtonState |= UISTATE_FOCUSED;
  else m_uButtonState &= ~UISTATE_FOCUSED;
  if (!IsEnabled()) m_uButtonState |= UISTATE_DISABLED;
  else m_uButtonState &= ~UISTATE_DISABLED;

  bool drawn = false;
  if (m_uButtonState & UISTATE_DISABLED) {
    drawn = DrawStatusImage(hdc, m_sDisabledImage);
  } else if (m_uButtonState & UISTATE_PUSHED) {
    drawn = DrawStatusImage(hdc, m_sPushedImage);
  } else if (m_uButtonState & UISTATE_HOT) {
    drawn = DrawStatusImage(hdc, m_sHotImage);
    if (attached_) {
      // Drawn whether or not the hot image exists: the mark is what says
      // the attachment can be removed.
      if (!drawn) drawn = DrawStatusImage(hdc, m_sNormalImage);
      wchar_t dest[64];
      std::swprintf(dest, 64, L"dest='%d,0,%d,%d'", m_rcItem.Width() - kMarkSize, m_rcItem.Width(), kMarkSize);
      DrawImage(hdc, L"file='" + close_mark_ + L"' source='0,0,16,16'", dest);
      return;
    }
  } else if (m_uButtonState & UISTATE_FOCUSED) {
    drawn = DrawStatusImage(hdc, m_sFocusedImage);
  }
  if (!drawn) DrawStatusImage(hdc, m_sNormalImage);
}
