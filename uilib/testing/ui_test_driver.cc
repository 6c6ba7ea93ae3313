#include "uilib/testing/ui_test_driver.h"

#include "uilib/backend/headless/headless_backend.h"
#include "uilib/controls/control_ui.h"
#include "uilib/winsys/gui_thread.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_table.h"

namespace uilib {

int PumpPendingMessages() {
  CheckGuiThread(__func__);
  int count = 0;
  MSG msg;
  while (uilib::PeekMessage(&msg, false)) {
    if (msg.message == WM_QUIT) break;
    uilib::PeekMessage(&msg, true);
    ++count;
    if (CPaintManagerUI::TranslateMessage(&msg)) continue;
    uilib::TranslateMessage(&msg);
    uilib::DispatchMessage(&msg);
  }
  return count;
}

}  // namespace uilib

namespace uilib::test_driver {

namespace {

LPARAM Pack(POINT pt) { return MAKELPARAM(pt.x, pt.y); }

void MoveCursor(HWND hWnd, POINT client_pt) {
  POINT screen = client_pt;
  ClientToScreen(hWnd, &screen);
  if (HeadlessBackend* backend = HeadlessBackend::Current()) backend->SetCursorPos(screen);
}

}  // namespace

int Pump() { return PumpPendingMessages(); }

void CloseFromWindowManager(HWND hWnd) {
  WindowTable::Get().NativeCloseRequested(hWnd);
  Pump();
}

void MouseMove(HWND hWnd, POINT client_pt) {
  MoveCursor(hWnd, client_pt);
  PostMessage(hWnd, WM_MOUSEMOVE, 0, Pack(client_pt));
  Pump();
}

void MouseDown(HWND hWnd, POINT client_pt) {
  MoveCursor(hWnd, client_pt);
  POINT screen = client_pt;
  ClientToScreen(hWnd, &screen);
  // As a desktop does: the hit test decides between a drag and a click.
  if (SendMessage(hWnd, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y)) == HTCAPTION) {
    if (HeadlessBackend* backend = HeadlessBackend::Current()) backend->BeginMoveDrag(hWnd, screen);
    return;
  }
  PostMessage(hWnd, WM_MOUSEMOVE, 0, Pack(client_pt));
  PostMessage(hWnd, WM_LBUTTONDOWN, MK_LBUTTON, Pack(client_pt));
  Pump();
}

void MouseUp(HWND hWnd, POINT client_pt) {
  MoveCursor(hWnd, client_pt);
  PostMessage(hWnd, WM_LBUTTONUP, 0, Pack(client_pt));
  Pump();
}

void ClickAt(HWND hWnd, POINT client_pt) {
  MouseDown(hWnd, client_pt);
  MouseUp(hWnd, client_pt);
}

void DoubleClickAt(HWND hWnd, POINT client_pt) {
  ClickAt(hWnd, client_pt);
  PostMessage(hWnd, WM_LBUTTONDBLCLK, MK_LBUTTON, Pack(client_pt));
  PostMessage(hWnd, WM_LBUTTONUP, 0, Pack(client_pt));
  Pump();
}

void HoverAt(HWND hWnd, POINT client_pt) {
  MouseMove(hWnd, client_pt);
  PostMessage(hWnd, WM_MOUSEHOVER, 0, Pack(client_pt));
  Pump();
}

bool Click(CPaintManagerUI& pm, const std::wstring& name) {
  CControlUI* control = pm.FindControl(name);
  if (!control) return false;
  pm.FindControl(POINT{0, 0});  // lays the tree out when needed
  const RECT& rc = control->GetPos();
  ClickAt(pm.GetPaintWindow(), POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
  return true;
}

void PressKey(HWND hWnd, UINT vk, bool shift) {
  if (shift) PostMessage(hWnd, WM_KEYDOWN, VK_SHIFT, 1);
  PostMessage(hWnd, WM_KEYDOWN, vk, 1);
  if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_TAB || vk == VK_BACK)
    PostMessage(hWnd, WM_CHAR, vk, 1);
  PostMessage(hWnd, WM_KEYUP, vk, 1);
  if (shift) PostMessage(hWnd, WM_KEYUP, VK_SHIFT, 1);
  Pump();
}

void TypeText(HWND hWnd, const std::wstring& text) {
  for (wchar_t c : text) PostMessage(hWnd, WM_CHAR, static_cast<WPARAM>(c), 1);
  Pump();
}

bool TypeInto(CPaintManagerUI& pm, const std::wstring& name, const std::wstring& text) {
  if (!Click(pm, name)) return false;
  TypeText(pm.GetPaintWindow(), text);
  return true;
}

}  // namespace uilib::test_driver
