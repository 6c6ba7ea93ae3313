#pragma once

#include <memory>

#include "uilib/controls/container_ui.h"
#include "uilib/winsys/text_input_host.h"

namespace uilib {

// A text box. While it has the focus it hosts the backend's native text
// field (when the backend has one) and mirrors its text; otherwise, and on
// the headless backend, it keeps a plain text model fed by WM_CHAR and the
// editing keys. Every change of text by the user sends "textchanged";
// SetText by the program does not. Attributes: "text", "maxchar",
// "readonly", "password", "multiline", "wantreturn", "wanttab",
// "wantctrlreturn", "rich", "numberonly", "floatonly", "tiptext" (hint
// shown grey while empty and unfocused), "tipcolor", "textcolor", "font",
// "textpadding", "align".
class CRichEditUI : public CContainerUI, private TextInputListener {
 public:
  CRichEditUI();
  ~CRichEditUI() override;
  LPCTSTR GetClass() const override;  // "RichEditUI"
  void* GetInterface(LPCTSTR pstrName) override;
  UINT GetControlFlags() const override;

  std::wstring GetText() const override { return m_sText; }
  void SetText(LPCTSTR pstrText) override;
  using CControlUI::SetText;
  long GetTextLength() const;
  // Characters at most (0: no limit); a longer text is cut.
  void SetLimitText(int iChars);
  int GetLimitText() const { return m_iLimitText; }
  bool IsReadOnly() const { return m_bReadOnly; }
  void SetReadOnly(bool bReadOnly = true);
  bool IsPassword() const { return m_bPassword; }
  void SetPassword(bool bPassword);
  bool IsMultiLine() const { return m_bMultiLine; }
  void SetMultiLine(bool bMultiLine);
  bool IsRich() const { return m_bRich; }
  void SetRich(bool bRich = true) { m_bRich = bRich; }
  bool IsWantTab() const { return m_bWantTab; }
  void SetWantTab(bool bWantTab = true) { m_bWantTab = bWantTab; }
  bool IsWantReturn() const { return m_bWantReturn; }
  void SetWantReturn(bool bWantReturn = true) { m_bWantReturn = bWantReturn; }
  bool IsWantCtrlReturn() const { return m_bWantCtrlReturn; }
  void SetWantCtrlReturn(bool bWantCtrlReturn = true) { m_bWantCtrlReturn = bWantCtrlReturn; }
  // Digits only.
  void SetNumberOnly(bool bNumberOnly);
  // Digits and, with `bAllowPoint`, one decimal point.
  void SetFloatOnly(bool bFloatOnly, bool bAllowPoint);
  std::wstring GetTipText() const { return m_sTipText; }
  void SetTipText(LPCTSTR pstrTip);
  // `label` (borrowed; a control of the same window, or null) tells how
  // many of `budget` characters the user may still type, each time the
  // user changes the text: "还可以输入N字", or "已超出N字" past the budget.
  void SetCompanionLabel(CControlUI* label, int budget);
  void SetTipColor(DWORD argb) { m_dwTipColor = argb; }
  void SetTextColor(DWORD argb) { m_dwTextColor = argb; }
  DWORD GetTextColor() const { return m_dwTextColor; }
  void SetFont(int index) { m_iFont = index; }

  // Selection in characters; `nEndChar` -1 means to the end.
  void SetSel(long nStartChar, long nEndChar);
  void GetSel(long& nStartChar, long& nEndChar) const;
  void SetSelAll() { SetSel(0, -1); }
  void SetSelNone();
  std::wstring GetSelText() const;
  // Replaces the selection (inserts at the caret when empty). A program's
  // replacement sends no "textchanged" unless `bNotify`.
  void ReplaceSel(LPCTSTR lpszNewText, bool bNotify = false);
  void Clear() { SetText(L""); }

  void SetPos(RECT rc) override;
  void SetVisible(bool bVisible = true) override;
  void SetEnabled(bool bEnable = true) override;
  void Event(TEventUI& event) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;

  // Whether a native text field is hosted right now.
  bool HasTextHostForTesting() const { return m_pHost != nullptr; }

 private:
  void OnHostTextChanged(const std::wstring& text) override;
  void OnHostKey(UINT vk, bool shift) override;
  void OpenHost();
  void CloseHost();
  // Applies the filters and the limit; true when the text changed.
  bool ChangeText(std::wstring text, bool notify);
  std::wstring Filtered(const std::wstring& text) const;
  void InsertTyped(const std::wstring& text);

  std::unique_ptr<TextInputHost> m_pHost;
  int m_iLimitText = 0;
  CControlUI* m_pCompanion = nullptr;
  int m_iCompanionBudget = 0;
  bool m_bReadOnly = false;
  bool m_bPassword = false;
  bool m_bMultiLine = false;
  bool m_bRich = true;
  bool m_bWantTab = true;
  bool m_bWantReturn = false;
  bool m_bWantCtrlReturn = false;
  bool m_bNumberOnly = false;
  bool m_bFloatOnly = false;
  bool m_bAllowPoint = false;
  long m_nSelStart = 0;
  long m_nSelEnd = 0;
  std::wstring m_sTipText;
  DWORD m_dwTipColor = 0xFFA0A0A0;
  DWORD m_dwTextColor = 0xFF000000;
  int m_iFont = -1;
  RECT m_rcTextPadding{2, 2, 2, 2};
  UINT m_uTextStyle = DT_VCENTER | DT_SINGLELINE;
};

}  // namespace uilib
