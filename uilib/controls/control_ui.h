#pragma once

#include <functional>
#include <string>

#include "uilib/paint/paint_defs.h"
#include "uilib/winsys/ui_defs.h"
#include "uilib/controls/ui_event.h"

namespace uilib {

class CPaintManagerUI;

// The base of every control in a window's tree. A control belongs to its
// parent container (or, for the root, to the paint manager) and is deleted
// through its virtual destructor with the tree. GUI thread only.
class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  // Identity.
  virtual std::wstring GetName() const { return m_sName; }
  virtual void SetName(LPCTSTR pstrName);
  virtual LPCTSTR GetClass() const;  // "ControlUI"
  // `pstrName` is an interface name ("Control", a control's own tag, ...);
  // returns the matching part of this object or null.
  virtual void* GetInterface(LPCTSTR pstrName);
  virtual UINT GetControlFlags() const { return 0; }

  // Tree.
  virtual CPaintManagerUI* GetManager() const { return m_pManager; }
  virtual void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true);
  virtual CControlUI* GetParent() const { return m_pParent; }
  // Walks the tree: `Proc` is asked about this control (and a container's
  // children); the first non-null answer is returned.
  using FindControlProc = std::function<CControlUI*(CControlUI*, void*)>;
  virtual CControlUI* FindControl(const FindControlProc& Proc, void* pData, UINT uFlags);

  // Text.
  virtual std::wstring GetText() const { return m_sText; }
  virtual void SetText(LPCTSTR pstrText);
  void SetText(const std::wstring& text) { SetText(text.c_str()); }
  virtual std::wstring GetToolTip() const { return m_sToolTip; }
  virtual void SetToolTip(LPCTSTR pstrText) { m_sToolTip = pstrText ? pstrText : L""; }
  virtual std::wstring GetUserData() const { return m_sUserData; }
  virtual void SetUserData(LPCTSTR pstrText) { m_sUserData = pstrText ? pstrText : L""; }
  uintptr_t GetTag() const { return m_pTag; }
  void SetTag(uintptr_t tag) { m_pTag = tag; }

  // Colours (ARGB) and images.
  DWORD GetBkColor() const { return m_dwBackColor; }
  void SetBkColor(DWORD dwBackColor);
  DWORD GetBorderColor() const { return m_dwBorderColor; }
  void SetBorderColor(DWORD dwColor);
  int GetBorderSize() const { return m_nBorderSize; }
  void SetBorderSize(int nSize);
  std::wstring GetBkImage() const { return m_sBkImage; }
  void SetBkImage(LPCTSTR pStrImage);
  // Draws an image description into this control's box; false when it
  // cannot be drawn (missing or unreadable file, bad description).
  bool DrawImage(HDC hDC, const std::wstring& image, const std::wstring& modify = L"");

  // Geometry. The position is in the window's client coordinates.
  virtual const RECT& GetPos() const { return m_rcItem; }
  virtual void SetPos(RECT rc);
  virtual int GetWidth() const { return m_rcItem.Width(); }
  virtual int GetHeight() const { return m_rcItem.Height(); }
  virtual RECT GetPadding() const { return m_rcPadding; }
  virtual void SetPadding(RECT rcPadding);
  virtual SIZE GetFixedXY() const { return m_cXY; }
  virtual void SetFixedXY(SIZE szXY);
  virtual int GetFixedWidth() const { return m_cxyFixed.cx; }
  virtual void SetFixedWidth(int cx);
  virtual int GetFixedHeight() const { return m_cxyFixed.cy; }
  virtual void SetFixedHeight(int cy);
  virtual int GetMinWidth() const { return m_cxyMin.cx; }
  virtual void SetMinWidth(int cx);
  virtual int GetMaxWidth() const { return m_cxyMax.cx; }
  virtual void SetMaxWidth(int cx);
  virtual int GetMinHeight() const { return m_cxyMin.cy; }
  virtual void SetMinHeight(int cy);
  virtual int GetMaxHeight() const { return m_cxyMax.cy; }
  virtual void SetMaxHeight(int cy);
  // A floating control is placed by its "pos" relative to its parent
  // instead of by the parent's layout.
  virtual bool IsFloat() const { return m_bFloat; }
  virtual void SetFloat(bool bFloat = true);
  // The size the control would like within `szAvailable`.
  virtual SIZE EstimateSize(SIZE szAvailable);

  // State. IsVisible and IsEnabled answer for the control as the user sees
  // it: false when the control or any of its containers is hidden/disabled.
  virtual bool IsVisible() const;
  virtual void SetVisible(bool bVisible = true);
  // The control's own flag, whatever its containers say.
  bool IsOwnVisible() const { return m_bVisible; }
  // Told by a container when it (or one of its containers) is shown or
  // hidden; `bVisible` is the container's state as the user sees it.
  virtual void SetInternVisible(bool bVisible = true);
  virtual bool IsEnabled() const;
  virtual void SetEnabled(bool bEnable = true);
  bool IsOwnEnabled() const { return m_bEnabled; }
  virtual bool IsMouseEnabled() const { return m_bMouseEnabled; }
  virtual void SetMouseEnabled(bool bEnable = true) { m_bMouseEnabled = bEnable; }
  virtual bool IsKeyboardEnabled() const { return m_bKeyboardEnabled; }
  virtual void SetKeyboardEnabled(bool bEnable = true) { m_bKeyboardEnabled = bEnable; }
  virtual bool IsFocused() const { return m_bFocused; }
  virtual void SetFocus();

  // Does what a click does ("click" for a button). False, doing nothing,
  // when the control is hidden or disabled as the user sees it.
  virtual bool Activate();

  // Input from the paint manager.
  virtual void Event(TEventUI& event);

  // Attributes of the skin dialect; unknown names are ignored.
  virtual void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue);
  // "name=\"value\" name2=\"value2\"" applied in order.
  void ApplyAttributeList(LPCTSTR pstrList);

  // Painting (into the window's Cairo context, clipped to `rcPaint`).
  virtual void Invalidate();
  virtual void NeedUpdate();
  virtual void NeedParentUpdate();
  virtual void DoPaint(HDC hDC, const RECT& rcPaint);
  virtual void PaintBkColor(HDC hDC);
  virtual void PaintBkImage(HDC hDC);
  virtual void PaintStatusImage(HDC hDC);
  virtual void PaintText(HDC hDC);
  virtual void PaintBorder(HDC hDC);

  // Called by the paint manager once the control joined a window.
  virtual void DoInit() {}
  void Init();

 protected:
  CPaintManagerUI* m_pManager = nullptr;
  CControlUI* m_pParent = nullptr;
  std::wstring m_sName;
  std::wstring m_sText;
  std::wstring m_sToolTip;
  std::wstring m_sUserData;
  uintptr_t m_pTag = 0;
  bool m_bUpdateNeeded = true;
  bool m_bVisible = true;
  bool m_bEnabled = true;
  bool m_bMouseEnabled = true;
  bool m_bKeyboardEnabled = true;
  bool m_bFocused = false;
  bool m_bFloat = false;
  RECT m_rcItem{};
  RECT m_rcPadding{};
  SIZE m_cXY{};
  SIZE m_cxyFixed{};
  SIZE m_cxyMin{};
  SIZE m_cxyMax{9999, 9999};
  RECT m_rcFloatPos{};
  bool m_bHasFloatPos = false;
  DWORD m_dwBackColor = 0;
  DWORD m_dwBorderColor = 0;
  int m_nBorderSize = 0;
  std::wstring m_sBkImage;
};

// "true" is the only true value of the dialect.
bool ParseBool(LPCTSTR value);
// `_wtoi`: leading integer, 0 when none.
int ParseInt(LPCTSTR value);

}  // namespace uilib
