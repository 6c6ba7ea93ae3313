#pragma once

#include <string>

#include "uilib/controls/list_ui.h"

namespace uilib {

// A drop-down choice among its rows; the chosen row's text is shown. A
// click (or Space) opens the rows as a popup menu; Up and Down step
// through them. Attributes: "textcolor", "textpadding", "font" and the
// button images of CButtonUI's names ("normalimage", "hotimage", ...).
class CComboUI : public CListRowsUI<CContainerUI> {
 public:
  CComboUI();
  LPCTSTR GetClass() const override;  // "ComboUI"
  void* GetInterface(LPCTSTR pstrName) override;

  // The chosen row's text, or empty.
  std::wstring GetText() const override;

  bool Activate() override;
  void Event(TEventUI& event) override;
  void SetPos(RECT rc) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;

 private:
  bool m_bHot = false;
  DWORD m_dwTextColor = 0xFF000000;
  int m_iFont = -1;
  RECT m_rcTextPadding{4, 1, 18, 1};
  std::wstring m_sNormalImage;
  std::wstring m_sHotImage;
  std::wstring m_sPushedImage;
  std::wstring m_sDisabledImage;
};

}  // namespace uilib
