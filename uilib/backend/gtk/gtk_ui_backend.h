#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "runtime/platform/shell.h"
#include "uilib/winsys/region.h"
#include "uilib/winsys/ui_backend.h"

namespace uilib {

// Windows as undecorated GTK 3 toplevels. Each holds a GtkFixed with a
// drawing area the size of the window (the paint manager paints there)
// and room for native children (text fields, browser views). Input on the
// drawing area becomes posted window messages; a press in a caption part
// (WM_NCHITTEST answers HTCAPTION) starts the desktop's move drag. GUI
// thread only.
class GtkUiBackend : public UiBackend {
 public:
  struct Native {
    HWND hwnd = 0;
    GtkWidget* window = nullptr;
    GtkWidget* fixed = nullptr;
    GtkWidget* area = nullptr;
    std::optional<Region> region;
    bool color_key = false;
    COLORREF key = 0;
    bool mapped = false;
    guint hover_timer = 0;
    bool hover_sent = false;
    bool inside = false;
    GtkWidget* text_field = nullptr;  // hosted, when an edit has the focus
    TextInputListener* text_listener = nullptr;
    // An input method is composing in the hosted field: the keys that
    // would otherwise go to the window (Enter, Escape, Tab) are its own.
    bool composing = false;
    // Told when the window goes before the hosted field's owner lets go.
    std::function<void()> text_field_gone;
  };

  GtkUiBackend();
  ~GtkUiBackend() override;
  static GtkUiBackend* Current();

  const char* Name() const override { return "gtk"; }
  void AttachThread() override;
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
  SIZE ScreenSize() const override;
  bool OtherProgramCoversScreen() const override;
  RECT WorkArea() const override;
  POINT CursorPos() const override;
  std::unique_ptr<TextInputHost> CreateTextInput(HWND hWnd, TextInputListener* listener) override;
  std::unique_ptr<NotifyIcon> CreateNotifyIcon() override;
  UINT RunPopupMenu(const PopupMenu& menu, POINT screen_pt, HWND owner) override;
  int RunDropDown(const std::vector<std::wstring>& rows, int selected, const RECT& field,
                  HWND owner) override;
  void RunMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption) override;
  bool RunFolderChooser(HWND owner, const std::wstring& title, std::wstring* folder) override;
  brx::platform::Shell& GetShell() override { return *shell_; }
  std::unique_ptr<BrowserHost> CreateBrowserHost(HWND hWnd, const RECT& client_rect) override;

  Native* Find(HWND hWnd);
  // Takes the tip away when `owner` shows it (0: whichever window does).
  void HideToolTip(HWND owner);
  // The time of the click that asked for the next menu (the notification
  // icon's menu request comes to the program as a posted message).
  void NoteMenuRequestTime(guint32 time) { menu_request_time_ = time; }

 private:
  std::map<HWND, std::unique_ptr<Native>> windows_;
  std::unique_ptr<brx::platform::Shell> shell_;
  std::map<int, GdkCursor*> cursors_;
  guint32 last_press_time_ = 0;
  // The one tip on the screen: our own small popup, so that it goes
  // exactly when its window says (GTK's own tips outlive the crossing of
  // a web view and stay over windows that open above them).
  GtkWidget* tip_window_ = nullptr;
  GtkWidget* tip_label_ = nullptr;
  HWND tip_owner_ = 0;
  guint32 menu_request_time_ = GDK_CURRENT_TIME;
};

// Turns the toolkit's input on the window into posted window messages.
void ConnectGtkInput(GtkUiBackend::Native* native);
// The native text field of a window (GtkEntry, or GtkTextView for
// multi-line edits).
std::unique_ptr<TextInputHost> CreateGtkTextInput(GtkUiBackend::Native* native,
                                                  TextInputListener* listener);
std::unique_ptr<NotifyIcon> CreateGtkNotifyIcon();
// The rows of a combo as a list under its field (screen pixels), over
// `parent`; the chosen row, or -1.
int RunGtkDropDown(GtkWindow* parent, const std::vector<std::wstring>& rows, int selected,
                   const RECT& field);

}  // namespace uilib
