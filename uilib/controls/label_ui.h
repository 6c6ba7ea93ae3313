#pragma once

#include "uilib/controls/control_ui.h"

namespace uilib {

// Text in a box. Attributes: "align" (left, center, right, top, vcenter,
// bottom), "textcolor", "disabledtextcolor", "font" (index of a <Font>),
// "textpadding", "endellipsis", "wordbreak", "maxlength" (characters shown).
class CLabelUI : public CControlUI {
 public:
  CLabelUI();
  LPCTSTR GetClass() const override;  // "LabelUI"
  void* GetInterface(LPCTSTR pstrName) override;

  void SetTextStyle(UINT uStyle);
  UINT GetTextStyle() const { return m_uTextStyle; }
  void SetTextColor(DWORD dwTextColor);
  DWORD GetTextColor() const { return m_dwTextColor; }
  void SetDisabledTextColor(DWORD dwTextColor);
  DWORD GetDisabledTextColor() const { return m_dwDisabledTextColor; }
  void SetFont(int index);
  int GetFont() const { return m_iFont; }
  RECT GetTextPadding() const { return m_rcTextPadding; }
  void SetTextPadding(RECT rc);
  // Longest text shown; longer texts are cut (0: no limit).
  void SetMaxLength(int nChars);
  int GetMaxLength() const { return m_nMaxLength; }
  // Width in pixels the current text takes in the label's font.
  int GetTextWidth() const;

  SIZE EstimateSize(SIZE szAvailable) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void PaintText(HDC hDC) override;

 protected:
  // The text to draw (after the length limit).
  std::wstring ShownText() const;

  DWORD m_dwTextColor = 0;
  DWORD m_dwDisabledTextColor = 0;
  int m_iFont = -1;
  UINT m_uTextStyle = DT_VCENTER | DT_SINGLELINE;
  RECT m_rcTextPadding{};
  int m_nMaxLength = 0;
};

// A label that takes the mouse (hand cursor), for link-like texts.
class CTextUI : public CLabelUI {
 public:
  CTextUI();
  LPCTSTR GetClass() const override;  // "TextUI"
  void* GetInterface(LPCTSTR pstrName) override;
  UINT GetControlFlags() const override;
  void Event(TEventUI& event) override;
};

}  // namespace uilib
