#pragma once

#include <functional>
#include <optional>
#include <string>

#include "uilib/winsys/region.h"
#include "uilib/winsys/ui_defs.h"

typedef struct _cairo cairo_t;

namespace uilib {

class CWindowWnd;

// The window functions the client's window code calls, on the windows of
// the skin library. Call them qualified (uilib::GetMessage): MSG is the
// runtime's message type, so an unqualified call also finds the runtime's
// functions of the same names. Coordinates are screen pixels; a window has no frame,
// so its client rectangle is (0, 0, width, height). Messages go through the
// calling thread's brx::base::ThreadMessageQueue, the same queue that
// carries the thread's own messages and timers. GUI thread only, except
// PostMessage and IsWindow.

bool IsWindow(HWND hWnd);
bool IsWindowVisible(HWND hWnd);
bool IsWindowEnabled(HWND hWnd);
bool IsIconic(HWND hWnd);
CWindowWnd* GetWindowObject(HWND hWnd);
HWND GetWindowOwner(HWND hWnd);
std::wstring GetWindowText(HWND hWnd);
bool SetWindowText(HWND hWnd, LPCTSTR text);
std::wstring GetWindowClassName(HWND hWnd);

bool ShowWindow(HWND hWnd, int nCmdShow);
// Disables (or enables) input to a window, as a modal dialog does to its owner.
bool EnableWindow(HWND hWnd, bool bEnable);
bool DestroyWindow(HWND hWnd);
bool SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT uFlags);
bool MoveWindow(HWND hWnd, int x, int y, int cx, int cy, bool bRepaint);
bool GetWindowRect(HWND hWnd, RECT* rc);
bool GetClientRect(HWND hWnd, RECT* rc);
bool ScreenToClient(HWND hWnd, POINT* pt);
bool ClientToScreen(HWND hWnd, POINT* pt);
bool IsTopMost(HWND hWnd);
bool SetForegroundWindow(HWND hWnd);
HWND GetForegroundWindow();
// The window that receives the keyboard (the foreground window).
HWND SetFocus(HWND hWnd);
HWND GetFocus();
// The topmost visible window of ours under a screen point, or 0.
HWND WindowFromPoint(POINT pt);
// Whether another program's active window covers the whole screen (a game
// in full screen); the windows of other programs are not ours to find
// under a point.
bool IsOtherProgramFullScreen();

DWORD GetWindowStyle(HWND hWnd);
DWORD GetWindowExStyle(HWND hWnd);
long GetWindowLong(HWND hWnd, int nIndex);                  // GWL_STYLE, GWL_EXSTYLE
long SetWindowLong(HWND hWnd, int nIndex, long dwNewLong);  // returns the old value

// The window's shape; null (or std::nullopt) removes it. Kept by value.
bool SetWindowRgn(HWND hWnd, const Region* region, bool bRedraw);
std::optional<Region> GetWindowRgn(HWND hWnd);
// LWA_COLORKEY: pixels of exactly `crKey` are transparent; LWA_ALPHA: whole-window opacity.
bool SetLayeredWindowAttributes(HWND hWnd, COLORREF crKey, uint8_t bAlpha, DWORD dwFlags);
bool GetLayeredWindowAttributes(HWND hWnd, COLORREF* crKey, uint8_t* bAlpha, DWORD* dwFlags);
// Icon resource id shown for the window (WM_SETICON does the same).
int GetWindowIconId(HWND hWnd, bool big);

// Messages.
LRESULT SendMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Thread-safe; false when the window does not exist.
bool PostMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
LRESULT DispatchMessage(const MSG* pMsg);
// Nothing to translate on this platform: the backends deliver WM_CHAR
// themselves. Returns false.
bool TranslateMessage(const MSG* pMsg);
void PostQuitMessage(int nExitCode);
bool GetMessage(MSG* pMsg);
bool PeekMessage(MSG* pMsg, bool bRemove);

// A modal message box with one OK button (the only kind the programs
// show); `owner` may be 0. Null texts are shown empty. Returns IDOK (1)
// once it was dismissed.
int MessageBox(HWND owner, LPCTSTR text, LPCTSTR caption);
// A modal folder chooser; `owner` (may be 0) takes no input while it is
// up. *folder is where it opens (empty: the toolkit's choice) and receives
// the chosen folder. False when cancelled (or no `folder`), *folder kept.
bool ChooseFolder(HWND owner, const std::wstring& title, std::wstring* folder);

// Window timers (WM_TIMER to the window, wParam = id) and one-shot timers.
uintptr_t SetTimer(HWND hWnd, uintptr_t nIDEvent, UINT uElapse);
bool KillTimer(HWND hWnd, uintptr_t nIDEvent);
// Runs `fn` once on this thread after `delay_ms` (or every `delay_ms` when
// `periodic`), through the message queue. Returns an id for TimeKillEvent.
uintptr_t TimeSetEvent(UINT delay_ms, std::function<void()> fn, bool periodic = false);
bool TimeKillEvent(uintptr_t id);

// Painting.
bool InvalidateRect(HWND hWnd, const RECT* rc, bool bErase);
bool UpdateWindow(HWND hWnd);
struct PAINTSTRUCT {
  cairo_t* hdc = nullptr;
  RECT rcPaint{};
};
// Inside WM_PAINT: the context to draw into (null when the paint was not
// started by the backend).
cairo_t* BeginPaint(HWND hWnd, PAINTSTRUCT* ps);
void EndPaint(HWND hWnd, const PAINTSTRUCT* ps);
// Backends: sends WM_PAINT with `ctx` as the paint context.
void PaintWindowInto(HWND hWnd, cairo_t* ctx, const RECT& rcPaint);

// Keyboard state as of the message being handled: bit 0x8000 set while
// the key is down (VK_SHIFT, VK_CONTROL). Kept from the WM_KEYDOWN and
// WM_KEYUP messages dispatched on this thread.
short GetKeyState(int vk);

// Screen and cursor.
int GetSystemMetrics(int nIndex);
RECT GetWorkArea();
bool GetCursorPos(POINT* pt);
enum class CursorShape { kArrow, kHand, kIBeam };
void SetCursorShape(HWND hWnd, CursorShape shape);

}  // namespace uilib
