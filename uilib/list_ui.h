#pragma once

#include "uilib/container_ui.h"
#include "uilib/label_ui.h"

namespace uilib {

// The side of a list or combo that its items talk to.
class IListOwnerUI {
 public:
  virtual int GetCurSel() const = 0;
  // Selects item `iIndex` (-1: none) and sends "itemselect" (wParam = new
  // index, lParam = old index) when the selection changed.
  virtual bool SelectItem(int iIndex, bool bTakeFocus = false) = 0;

 protected:
  ~IListOwnerUI() = default;
};

// One text row of a list or combo ("ListLabelElement").
class CListLabelElementUI : public CLabelUI {
 public:
  CListLabelElementUI();
  LPCTSTR GetClass() const override;  // "ListLabelElementUI"
  void* GetInterface(LPCTSTR pstrName) override;
  UINT GetControlFlags() const override;

  int GetIndex() const { return m_iIndex; }
  void SetIndex(int iIndex) { m_iIndex = iIndex; }
  IListOwnerUI* GetOwner() const { return m_pOwner; }
  void SetOwner(IListOwnerUI* pOwner) { m_pOwner = pOwner; }
  bool IsSelected() const { return m_bSelected; }
  // Marks the row; does not tell the owner (the owner calls this).
  void Select(bool bSelect = true);

  bool Activate() override;
  void Event(TEventUI& event) override;
  SIZE EstimateSize(SIZE szAvailable) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

 private:
  int m_iIndex = -1;
  IListOwnerUI* m_pOwner = nullptr;
  bool m_bSelected = false;
  bool m_bHot = false;
  DWORD m_dwSelectedBkColor = 0xFFC1E3FF;
  DWORD m_dwHotBkColor = 0xFFE9F5FF;
};

// A vertical list of rows with one selection. Attributes:
// "itemselectedbkcolor", "itemhotbkcolor" (applied to rows added later).
class CListUI : public CVerticalLayoutUI, public IListOwnerUI {
 public:
  LPCTSTR GetClass() const override;  // "ListUI"
  void* GetInterface(LPCTSTR pstrName) override;
  UINT GetControlFlags() const override;

  bool Add(CControlUI* pControl) override;
  bool AddAt(CControlUI* pControl, int iIndex) override;
  bool Remove(CControlUI* pControl) override;
  bool RemoveAt(int iIndex) override;
  void RemoveAll() override;

  int GetCurSel() const override { return m_iCurSel; }
  bool SelectItem(int iIndex, bool bTakeFocus = false) override;
  void Event(TEventUI& event) override;

 protected:
  void Reindex();
  int m_iCurSel = -1;
};

// A drop-down choice among its rows; the chosen row's text is shown. A
// click (or Space) opens the rows as a popup menu; Up and Down step
// through them. Attributes: "textcolor", "textpadding", "font" and the
// button images of CButtonUI's names ("normalimage", "hotimage", ...).
class CComboUI : public CContainerUI, public IListOwnerUI {
 public:
  CComboUI();
  LPCTSTR GetClass() const override;  // "ComboUI"
  void* GetInterface(LPCTSTR pstrName) override;
  UINT GetControlFlags() const override;

  bool Add(CControlUI* pControl) override;
  bool AddAt(CControlUI* pControl, int iIndex) override;
  bool Remove(CControlUI* pControl) override;
  bool RemoveAt(int iIndex) override;
  void RemoveAll() override;

  int GetCurSel() const override { return m_iCurSel; }
  bool SelectItem(int iIndex, bool bTakeFocus = false) override;
  // The chosen row's text, or empty.
  std::wstring GetText() const override;

  bool Activate() override;
  void Event(TEventUI& event) override;
  void SetPos(RECT rc) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;

 private:
  void Reindex();
  int m_iCurSel = -1;
  bool m_bHot = false;
  DWORD m_dwTextColor = 0xFF000000;
  int m_iFont = -1;
  RECT m_rcTextPadding{4, 1, 18, 1};
  std::wstring m_sNormalImage;
  std::wstring m_sHotImage;
  std::wstring m_sPushedImage;
  std::wstring m_sDisabledImage;
};

// The item bookkeeping lists and combos share: every list item learns its
// index and owner again after a change, and the selection follows its item.
void ReindexListItems(CContainerUI& items, IListOwnerUI* owner);
int SelectionAfterInsert(int selected, int inserted);
int SelectionAfterRemove(int selected, int removed);

}  // namespace uilib
