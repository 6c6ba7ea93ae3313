#pragma once

#include "uilib/controls/button_ui.h"

namespace uilib {

// A check box or, with a "group" name, one of a set of radio buttons: the
// options of one window sharing a group name are mutually exclusive.
// Attributes: "group", "selected", "selectedimage", "selectedtextcolor".
// A change of selection sends "selectchanged".
class COptionUI : public CButtonUI {
 public:
  COptionUI();
  ~COptionUI() override;
  LPCTSTR GetClass() const override;  // "OptionUI"
  void* GetInterface(LPCTSTR pstrName) override;

  void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
  bool Activate() override;
  void SetEnabled(bool bEnable = true) override;

  std::wstring GetGroup() const { return m_sGroupName; }
  void SetGroup(LPCTSTR pStrGroupName);
  bool IsSelected() const { return m_bSelected; }
  // Selects or clears the option. With `bTriggerEvent` false no
  // "selectchanged" is sent (programmatic set-up).
  virtual void Selected(bool bSelected, bool bTriggerEvent = true);

  std::wstring GetSelectedImage() const { return m_sSelectedImage; }
  void SetSelectedImage(LPCTSTR pStrImage);
  void SetSelectedTextColor(DWORD dwTextColor) { m_dwSelectedTextColor = dwTextColor; }

  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void PaintStatusImage(HDC hDC) override;
  void PaintText(HDC hDC) override;

 protected:
  bool HasImages() const;

  bool m_bSelected = false;
  std::wstring m_sGroupName;
  std::wstring m_sSelectedImage;
  DWORD m_dwSelectedTextColor = 0;
};

}  // namespace uilib
