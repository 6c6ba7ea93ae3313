#include "uilib/controls/browser_slot_ui.h"

#include <cwchar>

namespace uilib {

LPCTSTR CBrowserSlotUI::GetClass() const { return L"BrowserSlotUI"; }

void* CBrowserSlotUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"Browser") == 0) return this;
  return CControlUI::GetInterface(pstrName);
}

void CBrowserSlotUI::SetListener(BrowserSlotListener* listener) {
  m_pListener = listener;
  Tell();
}

void CBrowserSlotUI::SetPos(RECT rc) {
  CControlUI::SetPos(rc);
  Tell();
}

void CBrowserSlotUI::SetVisible(bool bVisible) {
  CControlUI::SetVisible(bVisible);
  Tell();
}

void CBrowserSlotUI::SetInternVisible(bool bVisible) {
  CControlUI::SetInternVisible(bVisible);
  Tell();
}

void CBrowserSlotUI::Tell() {
  if (m_pListener) m_pListener->OnSlotChanged(m_rcItem, IsVisible());
}

}  // namespace uilib
