#include "uilib/winsys/ui_backend.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "runtime/logmaker/log.h"
#include "runtime/platform/tick_clock.h"
#include "uilib/winsys/gui_thread.h"
#include "uilib/winsys/window_table.h"

namespace uilib {

namespace {

std::mutex g_mutex;
std::unique_ptr<UiBackend>& Slot() {
  static auto* slot = new std::unique_ptr<UiBackend>;
  return *slot;
}

}  // namespace

uintptr_t UiBackend::SetWindowTimer(HWND hWnd, uintptr_t id, UINT elapse_ms) {
  return WindowTable::ThreadQueue()->SetTimer(hWnd, id, elapse_ms);
}

bool UiBackend::KillWindowTimer(HWND hWnd, uintptr_t id) {
  auto* q = brx::base::ThreadMessageQueue::Current();
  return q && q->KillTimer(hWnd, id);
}

uint32_t UiBackend::Now() const { return brx::platform::GetTickCount(); }

int UiBackend::RunDropDown(const std::vector<std::wstring>& rows, int, const RECT& field,
                           HWND owner) {
  PopupMenu menu;
  for (size_t i = 0; i < rows.size(); ++i) menu.Append(static_cast<UINT>(i + 1), rows[i]);
  const UINT chosen = RunPopupMenu(menu, POINT{field.left, field.bottom}, owner);
  return chosen > 0 && chosen <= rows.size() ? static_cast<int>(chosen) - 1 : -1;
}

UiBackend& GetUiBackend() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!Slot()) Slot() = CreateDefaultUiBackend();
  return *Slot();
}

std::unique_ptr<UiBackend> SetUiBackend(std::unique_ptr<UiBackend> backend) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::unique_ptr<UiBackend> old = std::move(Slot());
  Slot() = std::move(backend);
  UnbindGuiThread();
  return old;
}

void AttachUiToThisThread() {
  static thread_local UiBackend* attached = nullptr;
  UiBackend& backend = GetUiBackend();
  if (attached == &backend) return;
  attached = &backend;
  WindowTable::ThreadQueue();
  backend.AttachThread();
}

std::unique_ptr<UiBackend> CreateDefaultUiBackend() {
  const char* forced = std::getenv("OMBRIX_UI");
  if (forced && std::strcmp(forced, "headless") == 0) return CreateHeadlessUiBackend();
  if (auto gtk = CreateGtkUiBackend()) return gtk;
  LogWarnA("UI: no display can be opened; windows are kept headless\n");
  return CreateHeadlessUiBackend();
}

}  // namespace uilib
