#pragma once

#include <vector>

#include "uilib/controls/control_ui.h"

namespace uilib {

// The child list of a container, reachable through
// GetInterface(L"IContainer").
class IContainerUI {
 public:
  virtual CControlUI* GetItemAt(int iIndex) const = 0;
  virtual int GetItemIndex(CControlUI* pControl) const = 0;
  virtual int GetCount() const = 0;
  virtual bool Add(CControlUI* pControl) = 0;
  virtual bool AddAt(CControlUI* pControl, int iIndex) = 0;
  virtual bool Remove(CControlUI* pControl) = 0;
  virtual bool RemoveAt(int iIndex) = 0;
  virtual void RemoveAll() = 0;

 protected:
  ~IContainerUI() = default;
};

// A control with children. Without a layout every child fills the
// container's box less the inset (floating children are placed by "pos").
// Owns its children unless auto-destroy is switched off.
class CContainerUI : public CControlUI, public IContainerUI {
 public:
  CContainerUI();
  ~CContainerUI() override;

  LPCTSTR GetClass() const override;  // "ContainerUI"
  void* GetInterface(LPCTSTR pstrName) override;

  CControlUI* GetItemAt(int iIndex) const override;
  int GetItemIndex(CControlUI* pControl) const override;
  int GetCount() const override;
  bool Add(CControlUI* pControl) override;
  bool AddAt(CControlUI* pControl, int iIndex) override;
  bool Remove(CControlUI* pControl) override;
  bool RemoveAt(int iIndex) override;
  void RemoveAll() override;

  virtual RECT GetInset() const { return m_rcInset; }
  virtual void SetInset(RECT rcInset);
  virtual int GetChildPadding() const { return m_iChildPadding; }
  virtual void SetChildPadding(int iPadding);
  virtual bool IsAutoDestroy() const { return m_bAutoDestroy; }
  virtual void SetAutoDestroy(bool bAuto) { m_bAutoDestroy = bAuto; }

  // A named control among the descendants, or null.
  CControlUI* FindSubControl(LPCTSTR pstrSubControlName);

  void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
  CControlUI* FindControl(const FindControlProc& Proc, void* pData, UINT uFlags) override;
  void SetPos(RECT rc) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void SetVisible(bool bVisible = true) override;

 protected:
  // Places a floating child by its "pos" relative to this container.
  void SetFloatPos(CControlUI* pControl);
  RECT InnerRect() const;
  // The layout of a column or a row: the container takes `rc`, its
  // floating children their "pos", and the others follow one another
  // along the line, fixed extents first and the rest shared equally.
  enum class Line { kColumn, kRow };
  void LayOutLine(RECT rc, Line line);

  std::vector<CControlUI*> m_items;
  RECT m_rcInset{};
  int m_iChildPadding = 0;
  bool m_bAutoDestroy = true;
};

// Children stacked top to bottom: fixed heights first, the rest shared.
class CVerticalLayoutUI : public CContainerUI {
 public:
  LPCTSTR GetClass() const override;  // "VerticalLayoutUI"
  void* GetInterface(LPCTSTR pstrName) override;
  void SetPos(RECT rc) override;
};

// Children side by side left to right: fixed widths first, the rest shared.
class CHorizontalLayoutUI : public CContainerUI {
 public:
  LPCTSTR GetClass() const override;  // "HorizontalLayoutUI"
  void* GetInterface(LPCTSTR pstrName) override;
  void SetPos(RECT rc) override;
};

// Children in a grid of "columns" columns (or as many "itemsize" tiles as fit).
class CTileLayoutUI : public CContainerUI {
 public:
  LPCTSTR GetClass() const override;  // "TileLayoutUI"
  void* GetInterface(LPCTSTR pstrName) override;
  void SetPos(RECT rc) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

  int GetColumns() const { return m_nColumns; }
  void SetColumns(int nCols);
  SIZE GetItemSize() const { return m_szItem; }
  void SetItemSize(SIZE szItem);

 protected:
  int m_nColumns = 1;
  SIZE m_szItem{};
};

}  // namespace uilib
