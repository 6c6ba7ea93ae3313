#pragma once

#include "uilib/controls/label_ui.h"

namespace uilib {

// A push button with state images: "normalimage", "hotimage",
// "pushedimage", "focusedimage", "disabledimage"; text colours
// "hottextcolor", "pushedtextcolor", "focusedtextcolor". Sends "buttondown"
// when pressed and "click" when activated (released inside, Space while
// focused).
class CButtonUI : public CLabelUI {
 public:
  // What the keyboard focus means to a button. kShown: the button keeps
  // its focused state (focused image and text colour) and Space activates
  // it. kRepaintOnly: a focus change only repaints it, and keys go on to
  // its container, as the program's picture buttons want.
  enum class FocusUse { kShown, kRepaintOnly };

  CButtonUI();
  LPCTSTR GetClass() const override;  // "ButtonUI"
  void* GetInterface(LPCTSTR pstrName) override;
  UINT GetControlFlags() const override;

  bool Activate() override;
  void SetEnabled(bool bEnable = true) override;
  void Event(TEventUI& event) override;

  std::wstring GetNormalImage() const { return m_sNormalImage; }
  void SetNormalImage(LPCTSTR pStrImage);
  std::wstring GetHotImage() const { return m_sHotImage; }
  void SetHotImage(LPCTSTR pStrImage);
  std::wstring GetPushedImage() const { return m_sPushedImage; }
  void SetPushedImage(LPCTSTR pStrImage);
  std::wstring GetFocusedImage() const { return m_sFocusedImage; }
  void SetFocusedImage(LPCTSTR pStrImage);
  std::wstring GetDisabledImage() const { return m_sDisabledImage; }
  void SetDisabledImage(LPCTSTR pStrImage);
  void SetHotTextColor(DWORD dwColor) { m_dwHotTextColor = dwColor; }
  void SetPushedTextColor(DWORD dwColor) { m_dwPushedTextColor = dwColor; }
  void SetFocusedTextColor(DWORD dwColor) { m_dwFocusedTextColor = dwColor; }
  UINT GetButtonState() const { return m_uButtonState; }

  SIZE EstimateSize(SIZE szAvailable) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void PaintText(HDC hDC) override;
  void PaintStatusImage(HDC hDC) override;

 protected:
  explicit CButtonUI(FocusUse focus_use);

  // A mouse event while the button does not take the mouse goes to the
  // parent (or the label when there is none); true when it went.
  bool ForwardWhenMouseDisabled(TEventUI& event);

  // Event is the press-and-release machine every button shares: hot while
  // the pointer is over it, pushed and captured from a press inside until
  // the release. A button of the program changes what a step does here.
  // The pointer entered (`hot`) or left the enabled button, whose hot
  // state is set and repainted already.
  virtual void OnHotChanged(bool hot);
  // A press inside the enabled button, now pushed and captured: tells the
  // window "buttondown".
  virtual void OnPressed();
  // The captured press ended (`inside`: over the button); the button is
  // neither pushed nor captured any more and is repainted. Activates it
  // when inside. Last in the step: a notifier may free the button.
  virtual void OnReleased(const TEventUI& event, bool inside);

  UINT m_uButtonState = 0;
  DWORD m_dwHotTextColor = 0;
  DWORD m_dwPushedTextColor = 0;
  DWORD m_dwFocusedTextColor = 0;
  std::wstring m_sNormalImage;
  std::wstring m_sHotImage;
  std::wstring m_sPushedImage;
  std::wstring m_sFocusedImage;
  std::wstring m_sDisabledImage;

 private:
  FocusUse m_focusUse = FocusUse::kShown;
};

}  // namespace uilib
