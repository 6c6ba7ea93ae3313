#pragma once

#include "uilib/controls/container_ui.h"
#include "uilib/controls/label_ui.h"

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

// The rows of a list or combo and their one selection, kept on the
// container `Rows` that places them: after each change every row learns
// its index and owner again and the selection follows its row. Made for
// CContainerUI (combos) and CVerticalLayoutUI (lists).
template <class Rows>
class CListRowsUI : public Rows, public IListOwnerUI {
 public:
  void* GetInterface(LPCTSTR pstrName) override;  // adds "IListOwner"
  UINT GetControlFlags() const override;

  bool Add(CControlUI* pControl) override;
  bool AddAt(CControlUI* pControl, int iIndex) override;
  bool Remove(CControlUI* pControl) override;
  bool RemoveAt(int iIndex) override;
  void RemoveAll() override;

  int GetCurSel() const override { return m_iCurSel; }
  bool SelectItem(int iIndex, bool bTakeFocus = false) override;

 protected:
  // Up and Down move the selection one row when there is one; true for
  // those two keys, whether or not it moved.
  bool StepSelection(UINT key);

  int m_iCurSel = -1;

 private:
  void Reindex();
};

extern template class CListRowsUI<CContainerUI>;
extern template class CListRowsUI<CVerticalLayoutUI>;

// A vertical list of rows with one selection. Attributes:
// "itemselectedbkcolor", "itemhotbkcolor" (applied to rows added later).
class CListUI : public CListRowsUI<CVerticalLayoutUI> {
 public:
  LPCTSTR GetClass() const override;  // "ListUI"
  void* GetInterface(LPCTSTR pstrName) override;
  void Event(TEventUI& event) override;
};

}  // namespace uilib
