#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "runtime/platform/shell.h"
#include "runtime/platform/tick_clock.h"
#include "uilib/winsys/ui_backend.h"

namespace uilib {

// One thing the headless backend was asked to do, for tests to check:
// kind is "create", "destroy", "show", "hide", "minimize", "restore",
// "move", "region", "colorkey", "topmost", "enable", "disable", "icon",
// "activate", "movedrag", "cursor", "tooltip", "tray-add", "tray-modify",
// "tray-delete", "menu", "message_box", "folder_chooser".
struct RecordedAction {
  std::string kind;
  HWND hwnd = 0;
  std::wstring detail;
};

// Windows without a display: a virtual screen (1920 x 1080 with a 40-pixel
// task bar below the work area), a cursor and, optionally, a clock that only
// moves when told to. Window timers then fire on AdvanceClock. Everything
// the program asks of the desktop is recorded; the shell opens nothing.
class HeadlessBackend : public UiBackend {
 public:
  struct Options {
    bool manual_clock = false;
    SIZE screen{1920, 1080};
    RECT work_area{0, 0, 1920, 1040};
  };
  HeadlessBackend();
  explicit HeadlessBackend(const Options& options);
  ~HeadlessBackend() override;

  // The installed backend when it is the headless one, else null.
  static HeadlessBackend* Current();

  const char* Name() const override { return "headless"; }
  void CreateNativeWindow(HWND hWnd, const NativeWindowInfo& info) override;
  void DestroyNativeWindow(HWND hWnd) override;
  void ShowNativeWindow(HWND hWnd, bool show, bool activate) override;
  void MinimizeNativeWindow(HWND hWnd, bool minimized) override;
  void MoveNativeWindow(HWND hWnd, const RECT& screen_rect) override;
  void SetNativeStyle(HWND hWnd, DWORD style, DWORD ex_style) override;
  void SetNativeTitle(HWND hWnd, const std::wstring& title) override;
  void SetNativeRegion(HWND hWnd, const Region* region) override;
  void SetNativeColorKey(HWND hWnd, bool enabled, COLORREF key) override;
  void SetNativeTopMost(HWND hWnd, bool top_most) override;
  void SetNativeEnabled(HWND hWnd, bool enabled) override;
  void SetNativeIcon(HWND hWnd, int icon_id) override;
  void InvalidateNative(HWND hWnd, const RECT& client_rect) override;
  void UpdateNative(HWND hWnd) override;
  void ActivateNative(HWND hWnd) override;
  void BeginMoveDrag(HWND hWnd, POINT screen_pt) override;
  void SetNativeCursor(HWND hWnd, CursorShape shape) override;
  void ShowToolTip(HWND hWnd, const std::wstring& text) override;
  uintptr_t SetWindowTimer(HWND hWnd, uintptr_t id, UINT elapse_ms) override;
  bool KillWindowTimer(HWND hWnd, uintptr_t id) override;
  uint32_t Now() const override;
  SIZE ScreenSize() const override { return options_.screen; }
  bool OtherProgramCoversScreen() const override { return other_full_screen_; }
  // Plays another program's full-screen window being active.
  void SetOtherProgramFullScreenForTesting(bool full_screen) { other_full_screen_ = full_screen; }
  RECT WorkArea() const override { return options_.work_area; }
  POINT CursorPos() const override;
  std::unique_ptr<TextInputHost> CreateTextInput(HWND hWnd, TextInputListener* listener) override;
  std::unique_ptr<NotifyIcon> CreateNotifyIcon() override;
  UINT RunPopupMenu(const PopupMenu& menu, POINT screen_pt, HWND owner) override;
  // Recorded as "message_box" with "caption: text"; dismissed at once.
  void RunMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption) override;
  // Recorded as "folder_chooser" with "title: start folder"; answered at
  // once with the next queued choice (cancelled when none is queued).
  bool RunFolderChooser(HWND owner, const std::wstring& title, std::wstring* folder) override;
  brx::platform::Shell& GetShell() override { return shell_; }
  std::unique_ptr<BrowserHost> CreateBrowserHost(HWND, const RECT&) override;

  // Test controls.
  void SetCursorPos(POINT pt);
  // Moves the manual clock on and posts WM_TIMER for each due timer
  // (coalesced: one per timer however many periods passed). Does not
  // dispatch; pump the queue afterwards.
  void AdvanceClock(uint32_t ms);
  // The answer of the next popup menus (0: dismissed); each use takes one.
  void QueueMenuChoice(UINT id);
  // The answer of the next folder choosers (nullopt: cancelled); each use
  // takes one.
  void QueueFolderChoice(std::optional<std::wstring> folder);
  std::vector<RecordedAction> Actions() const;
  std::vector<RecordedAction> ActionsOf(const std::string& kind) const;
  void ClearActions();
  // The menus shown so far, in order.
  std::vector<PopupMenu> ShownMenus() const;
  // The notification-area icon (null when none was added).
  NotifyIcon* GetNotifyIconForTesting() const;
  // The user moves the pointer over, double-clicks or right-clicks the
  // notification-area icon (WM_MOUSEMOVE, WM_LBUTTONDBLCLK, WM_RBUTTONUP):
  // posts the icon's callback message. False when no icon is shown.
  bool PostTrayMouseForTesting(UINT mouse_message);
  brx::platform::RecordingShell& recording_shell() { return shell_; }

  // Paints the window's tree into a width x height ARGB image, pixels
  // outside its region and pixels of its colour key transparent, and
  // writes it as PNG. False when the window does not exist or the file
  // cannot be written.
  bool RenderWindowToPng(HWND hWnd, const std::string& path);
  // The same image's pixel (ARGB) at a client point, for checks.
  bool RenderWindowPixel(HWND hWnd, POINT client_pt, uint32_t* argb);

  // Called by the headless tray icon.
  void Record(const std::string& kind, HWND hWnd, const std::wstring& detail);
  void SetNotifyIconForTesting(NotifyIcon* icon);
  void SetTrayCallback(HWND hwnd, UINT message);

 private:
  struct Timer {
    HWND hwnd;
    uintptr_t id;
    uint32_t period;
    uint32_t due;
  };
  Options options_;
  bool other_full_screen_ = false;
  brx::platform::ManualTickClock clock_;
  brx::platform::RecordingShell shell_;
  mutable std::mutex mutex_;
  std::vector<RecordedAction> actions_;
  std::vector<PopupMenu> shown_menus_;
  std::vector<UINT> menu_choices_;
  std::deque<std::optional<std::wstring>> folder_choices_;
  std::vector<Timer> timers_;
  POINT cursor_{};
  NotifyIcon* notify_icon_ = nullptr;
  HWND tray_hwnd_ = 0;
  UINT tray_message_ = 0;
};

}  // namespace uilib
