#pragma once

#include <memory>
#include <string>
#include <vector>

#include "uilib/winsys/popup_menu.h"
#include "uilib/winsys/region.h"
#include "uilib/winsys/text_input_host.h"
#include "uilib/winsys/ui_defs.h"
#include "uilib/winsys/win_api.h"

namespace brx::platform {
class Shell;
}

namespace uilib {

class BrowserHost;
class NotifyIcon;

// What the backend is told when a window is made.
struct NativeWindowInfo {
  HWND owner = 0;
  std::wstring title;
  std::wstring class_name;
  DWORD style = 0;
  DWORD ex_style = 0;
  RECT rect{};  // screen
};

// Where windows really appear: the headless backend keeps them in memory
// (a virtual screen), the GTK backend makes toolkit windows. The window
// table (win_api.h) keeps every window's state and calls the backend to
// mirror it; the backend turns the user's input into posted messages.
// Single process-wide instance, used on the GUI thread.
class UiBackend {
 public:
  virtual ~UiBackend() = default;
  virtual const char* Name() const = 0;  // "headless" or "gtk"

  // Called once for the GUI thread's queue before its first window.
  virtual void AttachThread() {}

  virtual void CreateNativeWindow(HWND hWnd, const NativeWindowInfo& info) = 0;
  virtual void DestroyNativeWindow(HWND hWnd) = 0;
  virtual void ShowNativeWindow(HWND hWnd, bool show, bool activate) = 0;
  virtual void MinimizeNativeWindow(HWND hWnd, bool minimized) = 0;
  virtual void MoveNativeWindow(HWND hWnd, const RECT& screen_rect) = 0;
  virtual void SetNativeStyle(HWND hWnd, DWORD style, DWORD ex_style) = 0;
  virtual void SetNativeTitle(HWND hWnd, const std::wstring& title) = 0;
  virtual void SetNativeRegion(HWND hWnd, const Region* region) = 0;
  virtual void SetNativeColorKey(HWND hWnd, bool enabled, COLORREF key) = 0;
  virtual void SetNativeTopMost(HWND hWnd, bool top_most) = 0;
  virtual void SetNativeEnabled(HWND hWnd, bool enabled) = 0;
  virtual void SetNativeIcon(HWND hWnd, int icon_id) = 0;
  virtual void InvalidateNative(HWND hWnd, const RECT& client_rect) = 0;
  virtual void UpdateNative(HWND hWnd) = 0;
  virtual void ActivateNative(HWND hWnd) = 0;
  // The user pressed on a caption part: let them move the window.
  virtual void BeginMoveDrag(HWND hWnd, POINT screen_pt) = 0;
  virtual void SetNativeCursor(HWND hWnd, CursorShape shape) = 0;
  virtual void ShowToolTip(HWND hWnd, const std::wstring& text) = 0;

  // Window timers; by default the GUI thread's queue keeps them (real
  // time). A backend with a clock of its own posts WM_TIMER itself.
  virtual uintptr_t SetWindowTimer(HWND hWnd, uintptr_t id, UINT elapse_ms);
  virtual bool KillWindowTimer(HWND hWnd, uintptr_t id);
  // Milliseconds for input time stamps and hover delays.
  virtual uint32_t Now() const;

  virtual SIZE ScreenSize() const = 0;
  // Whether the active window belongs to another program and covers the
  // whole screen (a game in full screen); our own windows are not asked.
  virtual bool OtherProgramCoversScreen() const { return false; }
  virtual RECT WorkArea() const = 0;
  virtual POINT CursorPos() const = 0;

  // A native text field over an edit control; null when the backend has
  // none (the edit keeps its own text model).
  virtual std::unique_ptr<TextInputHost> CreateTextInput(HWND hWnd,
                                                         TextInputListener* listener) = 0;
  virtual std::unique_ptr<NotifyIcon> CreateNotifyIcon() = 0;
  // Shows the menu and returns the chosen id, 0 when dismissed.
  virtual UINT RunPopupMenu(const PopupMenu& menu, POINT screen_pt, HWND owner) = 0;
  // A combo's list of rows under its field (`field` in screen pixels),
  // `selected` marked; returns the chosen row once the user picked one, -1
  // when the list was closed without a choice. By default the rows go
  // through RunPopupMenu (ids are row + 1).
  virtual int RunDropDown(const std::vector<std::wstring>& rows, int selected, const RECT& field,
                          HWND owner);
  // A modal box with the text, the caption and one OK button; returns when
  // the user dismissed it (a backend without a screen returns at once).
  virtual void RunMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption) = 0;
  // A modal chooser of one folder, with the title, opened at *folder when
  // that names one. True with the chosen folder in *folder; false, *folder
  // untouched, when the user cancelled it. Returns when the user is done
  // (a backend without a screen answers at once).
  virtual bool RunFolderChooser(HWND owner, const std::wstring& title, std::wstring* folder) = 0;
  virtual brx::platform::Shell& GetShell() = 0;
  // A web view over `client_rect` of the window; null when the backend
  // has none (or the view cannot be made).
  virtual std::unique_ptr<BrowserHost> CreateBrowserHost(HWND hWnd, const RECT& client_rect) = 0;
};

// The process's backend, made on first use by CreateDefaultUiBackend.
UiBackend& GetUiBackend();
// Lets the backend serve the calling thread's message queue (with GTK,
// GetMessage then runs the toolkit while it waits). Done by the first
// window, uilib::GetMessage and the first notification-area icon of a
// thread; call it before a loop that waits in brx::base::GetMessage
// without any of those.
void AttachUiToThisThread();
// Installs a backend before the first window (tests, programs with a
// choice of their own). Returns the previous one.
std::unique_ptr<UiBackend> SetUiBackend(std::unique_ptr<UiBackend> backend);
// GTK when a display can be opened, headless otherwise; OMBRIX_UI=headless
// forces headless.
std::unique_ptr<UiBackend> CreateDefaultUiBackend();
std::unique_ptr<UiBackend> CreateHeadlessUiBackend();
// Null when no display can be opened.
std::unique_ptr<UiBackend> CreateGtkUiBackend();

}  // namespace uilib
