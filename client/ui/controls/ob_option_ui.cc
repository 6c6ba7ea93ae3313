#include "client/ui/controls/ob_option_ui.h"

#include <cwchar>

#include "uilib/controls/container_ui.h"
#include "uilib/controls/paint_manager_ui.h"

using namespace uilib;

COBOptionUI::COBOptionUI() = default;

COBOptionUI::~COBOptionUI() = default;

LPCTSTR COBOptionUI::GetClass() const { return L"OBOptionUI"; }

void* COBOptionUI::GetInterface(LPCTSTR name) {
  if (std::wcscmp(name, L"OBOption") == 0) return this;
  return CButtonUI::GetInterface(name);
}

void COBOptionUI::Deselect() {
  if (!selected_) return;
  selected_ = false;
  m_uButtonState &= ~UISTATE_SELECTED;
  Invalidate();
}

void COBOptionUI::Selected(bool selected) {
  if (selected == selected_) return;
  if (grouped_ && !selected) {
    Deselect();
    return;
  }
  selected_ = selected;
  if (selected_)
    m_uButtonState |= UISTATE_SELECTED;
  else
    m_uButtonState &= ~UISTATE_SELECTED;
  if (grouped_ && m_pParent != nullptr) {
    auto* siblings = static_cast<IContainerUI*>(m_pParent->GetInterface(kInterfaceIContainer));
    for (int i = 0; siblings != nullptr && i < siblings->GetCount(); ++i) {
      auto* other = dynamic_cast<COBOptionUI*>(siblings->GetItemAt(i));
      if (other != nullptr && other != this && other->grouped_ && other->IsVisible() &&
          other->IsEnabled())
        other->Deselect();
    }
  }
  if (m_pManager != nullptr) m_pManager->SendNotify(this, L"selectchanged");
  Invalidate();
}

bool COBOptionUI::Activate() {
  if (!CButtonUI::Activate()) return false;
  Selected(grouped_ ? true : !selected_);
  return true;
}

void COBOptionUI::SetFocus() {
  // Options are passed over: the focus goes back to the previous stop.
  if (m_pManager != nullptr) m_pManager->SetNextTabControl(false);
}

void COBOptionUI::SetAttribute(LPCTSTR name, LPCTSTR value) {
  if (std::wcscmp(name, L"group") == 0) {
    bool grouped = ParseBool(value);
    if (grouped && !grouped_ && selected_) {
      grouped_ = true;
      Deselect();
    }
    grouped_ = grouped;
  } else if (std::wcscmp(name, L"selected") == 0) {
    Selected(ParseBool(value));
  } else if (std::wcscmp(name, L"selectedimage") == 0) {
    selected_image_ = value;
    Invalidate();
  } else {
    CButtonUI::SetAttribute(name, value);
  }
}

SIZE COBOptionUI::EstimateSize(SIZE available) {
  if (GetFixedHeight() != 0) return CButtonUI::EstimateSize(available);
  int font_height = m_pManager != nullptr ? m_pManager->GetDefaultFontHeight() : 12;
  return SIZE{GetFixedWidth(), font_height + 8};
}

void COBOptionUI::PaintStatusImage(HDC hdc) {
  m_uButtonState &= ~UISTATE_PUSHED;
  if (selected_ && !selected_image_.empty()) {
    if (DrawImage(hdc, selected_image_)) return;
    selected_image_.clear();
  }
  CButtonUI::PaintStatusImage(hdc);
}
