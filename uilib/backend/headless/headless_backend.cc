#include "uilib/backend/headless/headless_backend.h"

#include <algorithm>

#include "runtime/util/text_convert.h"
#include "uilib/winsys/browser_host.h"
#include "uilib/winsys/notify_icon.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_snapshot.h"
#include "uilib/winsys/window_table.h"

namespace uilib {

namespace {

std::wstring RectText(const RECT& rc) {
  return std::to_wstring(rc.left) + L"," + std::to_wstring(rc.top) + L"," +
         std::to_wstring(rc.right) + L"," + std::to_wstring(rc.bottom);
}

// The notification-area icon without a desktop: its state and a record.
class HeadlessNotifyIcon : public NotifyIcon {
 public:
  explicit HeadlessNotifyIcon(HeadlessBackend* backend) : backend_(backend) {}
  ~HeadlessNotifyIcon() override {
    Delete();
    backend_->SetNotifyIconForTesting(nullptr);
  }
  bool Add(HWND callback_window, UINT callback_message, int icon_id,
           const std::wstring& tip) override {
    added_ = true;
    icon_ = icon_id;
    tip_ = tip;
    backend_->SetNotifyIconForTesting(this);
    backend_->SetTrayCallback(callback_window, callback_message);
    backend_->Record("tray-add", callback_window, std::to_wstring(icon_id) + L" " + tip);
    return true;
  }
  bool Modify(int icon_id, const std::wstring& tip) override {
    if (!added_) return false;
    icon_ = icon_id;
    tip_ = tip;
    backend_->Record("tray-modify", 0, std::to_wstring(icon_id) + L" " + tip);
    return true;
  }
  void Delete() override {
    if (!added_) return;
    added_ = false;
    backend_->Record("tray-delete", 0, L"");
  }
  bool IsAdded() const override { return added_; }
  int GetIconId() const override { return icon_; }
  std::wstring GetTip() const override { return tip_; }

 private:
  HeadlessBackend* backend_;
  bool added_ = false;
  int icon_ = 0;
  std::wstring tip_;
};

HeadlessBackend* g_current = nullptr;

}  // namespace

std::unique_ptr<UiBackend> CreateHeadlessUiBackend() { return std::make_unique<HeadlessBackend>(); }

HeadlessBackend::HeadlessBackend() : HeadlessBackend(Options()) {}

HeadlessBackend::HeadlessBackend(const Options& options) : options_(options), clock_(1000) {
  g_current = this;
}

HeadlessBackend::~HeadlessBackend() {
  if (g_current == this) g_current = nullptr;
}

HeadlessBackend* HeadlessBackend::Current() { return g_current; }

void HeadlessBackend::Record(const std::string& kind, HWND hWnd, const std::wstring& detail) {
  std::lock_guard<std::mutex> lock(mutex_);
  actions_.push_back(RecordedAction{kind, hWnd, detail});
}

void HeadlessBackend::CreateNativeWindow(HWND hWnd, const NativeWindowInfo& info) {
  Record("create", hWnd, info.class_name);
}
void HeadlessBackend::DestroyNativeWindow(HWND hWnd) { Record("destroy", hWnd, L""); }
void HeadlessBackend::ShowNativeWindow(HWND hWnd, bool show, bool activate) {
  Record(show ? "show" : "hide", hWnd, activate ? L"activate" : L"");
}
void HeadlessBackend::MinimizeNativeWindow(HWND hWnd, bool minimized) {
  Record(minimized ? "minimize" : "restore", hWnd, L"");
}
void HeadlessBackend::MoveNativeWindow(HWND hWnd, const RECT& screen_rect) {
  Record("move", hWnd, RectText(screen_rect));
}
void HeadlessBackend::SetNativeStyle(HWND hWnd, DWORD style, DWORD ex_style) {
  Record("style", hWnd, std::to_wstring(style) + L"," + std::to_wstring(ex_style));
}
void HeadlessBackend::SetNativeTitle(HWND hWnd, const std::wstring& title) {
  Record("title", hWnd, title);
}
void HeadlessBackend::SetNativeRegion(HWND hWnd, const Region* region) {
  Record("region", hWnd, region ? RectText(region->Bounds()) : L"none");
}
void HeadlessBackend::SetNativeColorKey(HWND hWnd, bool enabled, COLORREF key) {
  Record("colorkey", hWnd, enabled ? std::to_wstring(key) : L"none");
}
void HeadlessBackend::SetNativeTopMost(HWND hWnd, bool top_most) {
  Record("topmost", hWnd, top_most ? L"1" : L"0");
}
void HeadlessBackend::SetNativeEnabled(HWND hWnd, bool enabled) {
  Record(enabled ? "enable" : "disable", hWnd, L"");
}
void HeadlessBackend::SetNativeIcon(HWND hWnd, int icon_id) {
  Record("icon", hWnd, std::to_wstring(icon_id));
}
void HeadlessBackend::InvalidateNative(HWND, const RECT&) {}
void HeadlessBackend::UpdateNative(HWND) {}
void HeadlessBackend::ActivateNative(HWND hWnd) { Record("activate", hWnd, L""); }
void HeadlessBackend::BeginMoveDrag(HWND hWnd, POINT screen_pt) {
  Record("movedrag", hWnd, std::to_wstring(screen_pt.x) + L"," + std::to_wstring(screen_pt.y));
}
void HeadlessBackend::SetNativeCursor(HWND, CursorShape) {}
void HeadlessBackend::ShowToolTip(HWND hWnd, const std::wstring& text) {
  if (!text.empty()) Record("tooltip", hWnd, text);
}

uintptr_t HeadlessBackend::SetWindowTimer(HWND hWnd, uintptr_t id, UINT elapse_ms) {
  if (!options_.manual_clock) return UiBackend::SetWindowTimer(hWnd, id, elapse_ms);
  if (elapse_ms == 0) elapse_ms = 1;
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t due = clock_.Now() + elapse_ms;
  for (Timer& t : timers_) {
    if (t.hwnd == hWnd && t.id == id) {
      t.period = elapse_ms;
      t.due = due;
      return id;
    }
  }
  timers_.push_back(Timer{hWnd, id, elapse_ms, due});
  return id;
}

bool HeadlessBackend::KillWindowTimer(HWND hWnd, uintptr_t id) {
  if (!options_.manual_clock) return UiBackend::KillWindowTimer(hWnd, id);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(timers_.begin(), timers_.end(),
                         [&](const Timer& t) { return t.hwnd == hWnd && t.id == id; });
  if (it == timers_.end()) return false;
  timers_.erase(it);
  return true;
}

uint32_t HeadlessBackend::Now() const {
  return options_.manual_clock ? clock_.Now() : UiBackend::Now();
}

void HeadlessBackend::AdvanceClock(uint32_t ms) {
  std::vector<Timer> due;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    clock_.Advance(ms);
    const uint32_t now = clock_.Now();
    for (Timer& t : timers_) {
      if (static_cast<int32_t>(now - t.due) >= 0) {
        due.push_back(t);
        t.due = now + t.period;
      }
    }
  }
  for (const Timer& t : due) {
    if (t.hwnd)
      PostMessage(t.hwnd, WM_TIMER, t.id, 0);
    else
      WindowTable::ThreadQueue()->Post(MSG{0, WM_TIMER, t.id, 0, 0});
  }
}

POINT HeadlessBackend::CursorPos() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cursor_;
}

void HeadlessBackend::SetCursorPos(POINT pt) {
  std::lock_guard<std::mutex> lock(mutex_);
  cursor_ = pt;
}

std::unique_ptr<TextInputHost> HeadlessBackend::CreateTextInput(HWND, TextInputListener*) {
  return nullptr;
}

std::unique_ptr<NotifyIcon> HeadlessBackend::CreateNotifyIcon() {
  return std::make_unique<HeadlessNotifyIcon>(this);
}

// Without a screen there is no web engine to show a page.
std::unique_ptr<BrowserHost> HeadlessBackend::CreateBrowserHost(HWND, const RECT&) {
  return nullptr;
}

void HeadlessBackend::RunMessageBox(HWND owner, const std::wstring& text,
                                    const std::wstring& caption) {
  Record("message_box", owner, caption + L": " + text);
}

UINT HeadlessBackend::RunPopupMenu(const PopupMenu& menu, POINT screen_pt, HWND owner) {
  UINT choice = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_menus_.push_back(menu);
    if (!menu_choices_.empty()) {
      choice = menu_choices_.front();
      menu_choices_.erase(menu_choices_.begin());
    }
  }
  Record("menu", owner, std::to_wstring(screen_pt.x) + L"," + std::to_wstring(screen_pt.y));
  return choice;
}

bool HeadlessBackend::RunFolderChooser(HWND owner, const std::wstring& title,
                                       std::wstring* folder) {
  std::optional<std::wstring> choice;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!folder_choices_.empty()) {
      choice = std::move(folder_choices_.front());
      folder_choices_.pop_front();
    }
  }
  Record("folder_chooser", owner, title + L": " + (folder ? *folder : std::wstring()));
  if (!choice || folder == nullptr) return false;
  *folder = std::move(*choice);
  return true;
}

void HeadlessBackend::QueueFolderChoice(std::optional<std::wstring> folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  folder_choices_.push_back(std::move(folder));
}

void HeadlessBackend::QueueMenuChoice(UINT id) {
  std::lock_guard<std::mutex> lock(mutex_);
  menu_choices_.push_back(id);
}

std::vector<RecordedAction> HeadlessBackend::Actions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return actions_;
}

std::vector<RecordedAction> HeadlessBackend::ActionsOf(const std::string& kind) const {
  std::vector<RecordedAction> out;
  for (const RecordedAction& a : Actions()) {
    if (a.kind == kind) out.push_back(a);
  }
  return out;
}

void HeadlessBackend::ClearActions() {
  std::lock_guard<std::mutex> lock(mutex_);
  actions_.clear();
}

std::vector<PopupMenu> HeadlessBackend::ShownMenus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_menus_;
}

NotifyIcon* HeadlessBackend::GetNotifyIconForTesting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notify_icon_;
}

void HeadlessBackend::SetNotifyIconForTesting(NotifyIcon* icon) {
  std::lock_guard<std::mutex> lock(mutex_);
  notify_icon_ = icon;
}

void HeadlessBackend::SetTrayCallback(HWND hwnd, UINT message) {
  std::lock_guard<std::mutex> lock(mutex_);
  tray_hwnd_ = hwnd;
  tray_message_ = message;
}

bool HeadlessBackend::PostTrayMouseForTesting(UINT mouse_message) {
  HWND hwnd;
  UINT message;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!notify_icon_ || !notify_icon_->IsAdded()) return false;
    hwnd = tray_hwnd_;
    message = tray_message_;
  }
  return PostMessage(hwnd, message, 0, static_cast<LPARAM>(mouse_message));
}

bool HeadlessBackend::RenderWindowToPng(HWND hWnd, const std::string& path) {
  return SaveWindowSnapshot(hWnd, path);
}

bool HeadlessBackend::RenderWindowPixel(HWND hWnd, POINT client_pt, uint32_t* argb) {
  return WindowSnapshotPixel(hWnd, client_pt, argb);
}

}  // namespace uilib
