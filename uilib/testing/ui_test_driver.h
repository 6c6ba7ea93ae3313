#pragma once

#include <string>

#include "uilib/winsys/ui_defs.h"

namespace uilib {

class CControlUI;
class CPaintManagerUI;

// Runs every message already waiting (the paint manager's pre-message
// filters, then translate and dispatch), then returns. Returns how many
// ran; stops at WM_QUIT, which it leaves in the queue. GUI thread only.
int PumpPendingMessages();

// Drives a window the way a user would, through the real path: the
// backend's input messages are posted to the window's queue and the queue
// is pumped, so HandleMessage, the paint manager, the controls and the
// notifiers all run as they do for real input. GUI thread only.
namespace test_driver {

// Mouse at a client point of the window: the hit test runs first
// (HTCAPTION starts a move drag instead of a click, as for a user).
void MouseMove(HWND hWnd, POINT client_pt);
void MouseDown(HWND hWnd, POINT client_pt);
void MouseUp(HWND hWnd, POINT client_pt);
void ClickAt(HWND hWnd, POINT client_pt);
void DoubleClickAt(HWND hWnd, POINT client_pt);
// Rests the cursor over the point (WM_MOUSEHOVER).
void HoverAt(HWND hWnd, POINT client_pt);
// Clicks the centre of the named control; false when it does not exist.
bool Click(CPaintManagerUI& pm, const std::wstring& name);
// Presses and releases a key (WM_KEYDOWN, WM_CHAR for Enter/Escape/Tab/
// Backspace, WM_KEYUP) to the window.
void PressKey(HWND hWnd, UINT vk, bool shift = false);
// Types text into the window's focused control, one WM_CHAR per character.
void TypeText(HWND hWnd, const std::wstring& text);
// Focuses the named control (by clicking it) and types.
bool TypeInto(CPaintManagerUI& pm, const std::wstring& name, const std::wstring& text);
// The window manager closes the window (as its close button or Alt+F4
// does), and the queue is pumped.
void CloseFromWindowManager(HWND hWnd);
// Runs what is waiting in the queue (PumpPendingMessages).
int Pump();

}  // namespace test_driver
}  // namespace uilib
