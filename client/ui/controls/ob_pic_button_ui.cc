#include "client/ui/controls/ob_pic_button_ui.h"

#include <cwchar>
#include <filesystem>

#include "client/ui/controls/control_context.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace {

constexpr int kMarkSize = 16;

}  // namespace

COBPicButtonUI::COBPicButtonUI(const ControlContext* context) : CButtonUI(FocusUse::kRepaintOnly) {
  if (context != nullptr)
    close_mark_ =
        std::filesystem::absolute(std::filesystem::path(context->skin_folder) / "close_hover.png")
            .wstring();
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

SIZE COBPicButtonUI::EstimateSize(SIZE available) {
  if (GetFixedHeight() != 0) return CButtonUI::EstimateSize(available);
  int font_height = m_pManager != nullptr ? m_pManager->GetDefaultFontHeight() : 12;
  return SIZE{GetFixedWidth(), font_height + 8};
}

bool COBPicButtonUI::InCloseMark(const TEventUI& event) const {
  POINT pt = event.ptMouse;
  if (mapping_window_ != 0 &&
      (m_pManager == nullptr || mapping_window_ != m_pManager->GetPaintWindow())) {
    GetCursorPos(&pt);
    ScreenToClient(mapping_window_, &pt);
  }
  RECT mark{m_rcItem.right - kMarkSize, m_rcItem.top, m_rcItem.right, m_rcItem.top + kMarkSize};
  return mark.Contains(pt);
}

void COBPicButtonUI::OnReleased(const TEventUI& event, bool inside) {
  if (!attached_ || !InCloseMark(event)) {
    CButtonUI::OnReleased(event, inside);
    return;
  }
  attached_ = false;
  std::wstring mark = L"file='" + close_mark_ + L"' source='0,0,26,25' ";
  SetNormalImage(mark.c_str());
  SetHotImage(mark.c_str());
  SetPushedImage(mark.c_str());
  if (m_pManager != nullptr) m_pManager->SendNotify(this, L"selectchanged");
}

void COBPicButtonUI::PaintStatusImage(HDC hdc) {
  CButtonUI::PaintStatusImage(hdc);
  // While hot, an attachment shows the mark that removes it, over whatever
  // image the button has.
  const bool hot_only =
      (m_uButtonState & (UISTATE_DISABLED | UISTATE_PUSHED | UISTATE_HOT)) == UISTATE_HOT;
  if (!attached_ || !hot_only) return;
  wchar_t dest[64];
  std::swprintf(dest, 64, L"dest='%d,0,%d,%d'", m_rcItem.Width() - kMarkSize, m_rcItem.Width(),
                kMarkSize);
  DrawImage(hdc, L"file='" + close_mark_ + L"' source='0,0,16,16'", dest);
}
