#pragma once

#include <string>

#include "uilib/winsys/ui_defs.h"

namespace uilib {

// A native window and its window procedure. The object lives as long as
// its owner keeps it; destroying the window calls OnFinalMessage after the
// last message (WM_NCDESTROY), which by default does nothing. Destroying
// the object while its window still exists destroys the window without
// further messages to the object. GUI thread only.
class CWindowWnd {
 public:
  CWindowWnd();
  virtual ~CWindowWnd();
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // Makes the window and sends WM_CREATE (and, with WS_VISIBLE, shows it).
  // `hwndParent` is the owner: the window stays above it and goes with it.
  // Returns the handle, or 0 when WM_CREATE answered -1.
  HWND Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle, int x = 0,
              int y = 0, int cx = 0, int cy = 0, uintptr_t hMenu = 0);
  HWND Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle, const RECT& rc,
              uintptr_t hMenu = 0);
  void ShowWindow(bool bShow = true, bool bTakeFocus = true);
  // Centres over the owner's window rectangle, or the screen's work area.
  void CenterWindow();
  // Posts WM_CLOSE with `nRet` in wParam.
  void Close(UINT nRet = 0);
  void SetIcon(UINT nRes);
  void ResizeClient(int cx = -1, int cy = -1);
  LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
  bool PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);

  virtual LPCTSTR GetWindowClassName() const = 0;
  virtual LPCTSTR GetSuperClassName() const { return nullptr; }
  virtual UINT GetClassStyle() const { return 0; }
  // Default processing of a message: WM_CLOSE destroys the window,
  // WM_NCHITTEST answers HTCLIENT, everything else 0.
  virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
  virtual void OnFinalMessage(HWND hWnd);

 private:
  friend class WindowTable;
  HWND m_hWnd = 0;
};

}  // namespace uilib
