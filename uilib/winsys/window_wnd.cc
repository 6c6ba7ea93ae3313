#include "uilib/winsys/window_wnd.h"

#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_table.h"

namespace uilib {

CWindowWnd::CWindowWnd() = default;

CWindowWnd::~CWindowWnd() {
  // The owner deletes the object while the window lives: the window goes
  // too, and no message reaches the object being destroyed.
  if (m_hWnd) WindowTable::Get().DetachAndDestroy(m_hWnd);
}

HWND CWindowWnd::Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle, int x,
                        int y, int cx, int cy, uintptr_t hMenu) {
  (void)hMenu;
  return WindowTable::Get().Create(this, hwndParent, pstrName ? pstrName : L"", dwStyle, dwExStyle,
                                   RECT{x, y, x + cx, y + cy});
}

HWND CWindowWnd::Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle,
                        const RECT& rc, uintptr_t hMenu) {
  return Create(hwndParent, pstrName, dwStyle, dwExStyle, rc.left, rc.top, rc.Width(), rc.Height(),
                hMenu);
}

void CWindowWnd::ShowWindow(bool bShow, bool bTakeFocus) {
  if (!m_hWnd) return;
  uilib::ShowWindow(m_hWnd, bShow ? (bTakeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void CWindowWnd::CenterWindow() {
  if (!m_hWnd) return;
  RECT rc;
  GetWindowRect(m_hWnd, &rc);
  RECT area = GetWorkArea();
  HWND owner = GetWindowOwner(m_hWnd);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &area);
  int x = area.left + (area.Width() - rc.Width()) / 2;
  int y = area.top + (area.Height() - rc.Height()) / 2;
  RECT work = GetWorkArea();
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  if (x + rc.Width() > work.right) x = work.right - rc.Width();
  if (y + rc.Height() > work.bottom) y = work.bottom - rc.Height();
  SetWindowPos(m_hWnd, 0, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::Close(UINT nRet) {
  if (m_hWnd) uilib::PostMessage(m_hWnd, WM_CLOSE, nRet, 0);
}

void CWindowWnd::SetIcon(UINT nRes) {
  if (m_hWnd) uilib::SendMessage(m_hWnd, WM_SETICON, 1, static_cast<LPARAM>(nRes));
}

void CWindowWnd::ResizeClient(int cx, int cy) {
  if (!m_hWnd) return;
  RECT rc;
  GetClientRect(m_hWnd, &rc);
  if (cx < 0) cx = rc.Width();
  if (cy < 0) cy = rc.Height();
  SetWindowPos(m_hWnd, 0, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWindowWnd::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return uilib::SendMessage(m_hWnd, uMsg, wParam, lParam);
}

bool CWindowWnd::PostMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return uilib::PostMessage(m_hWnd, uMsg, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return WindowTable::Get().DefWindowProc(m_hWnd, uMsg, wParam, lParam);
}

void CWindowWnd::OnFinalMessage(HWND) {}

}  // namespace uilib
