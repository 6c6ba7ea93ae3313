#include "uilib/winsys/window_table.h"

#include <memory>

#include "runtime/logmaker/log.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_wnd.h"

namespace uilib {

WindowTable& WindowTable::Get() {
  static WindowTable* table = new WindowTable;
  return *table;
}

brx::base::ThreadMessageQueue* WindowTable::ThreadQueue() {
  static thread_local std::unique_ptr<brx::base::ThreadMessageQueue> own;
  if (auto* q = brx::base::ThreadMessageQueue::Current()) return q;
  own = std::make_unique<brx::base::ThreadMessageQueue>();
  return own.get();
}

HWND WindowTable::Create(CWindowWnd* wnd, HWND owner, const std::wstring& title, DWORD style,
                         DWORD ex_style, const RECT& rect, bool message_only) {
  brx::base::ThreadMessageQueue* queue = ThreadQueue();
  if (!message_only) AttachUiToThisThread();
  HWND hwnd;
  State state;
  state.wnd = wnd;
  state.queue = queue;
  state.owner = owner;
  state.title = title;
  state.class_name = wnd && wnd->GetWindowClassName() ? wnd->GetWindowClassName() : L"";
  state.style = style & ~WS_VISIBLE;
  state.ex_style = ex_style;
  state.rect = rect;
  state.message_only = message_only;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hwnd = next_++;
    state.z = ++z_;
    windows_[hwnd] = state;
  }
  if (wnd) wnd->m_hWnd = hwnd;
  if (!message_only) {
    NativeWindowInfo info{owner, title, state.class_name, state.style, ex_style, rect};
    GetUiBackend().CreateNativeWindow(hwnd, info);
  }
  if (Send(hwnd, WM_CREATE, 0, 0) == -1) {
    LogWarn(L"CreateWindow: %ls refused its creation\n", state.class_name.c_str());
    Destroy(hwnd);
    return 0;
  }
  if (!IsWindow(hwnd)) return 0;
  if ((style & WS_VISIBLE) != 0) ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

bool WindowTable::Read(HWND hwnd, State* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return false;
  if (out) *out = it->second;
  return true;
}

bool WindowTable::Update(HWND hwnd, const std::function<void(State&)>& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return false;
  change(it->second);
  return true;
}

std::vector<HWND> WindowTable::Windows() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<HWND> out;
  for (const auto& [h, s] : windows_) out.push_back(h);
  return out;
}

LRESULT WindowTable::Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CWindowWnd* wnd = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return 0;
    wnd = it->second.wnd;
  }
  if (msg == WM_KEYDOWN || msg == WM_KEYUP) {
    NoteKeyState(msg, wParam);  // for GetKeyState while it is handled
  }
  if (!wnd) return DefWindowProc(hwnd, msg, wParam, lParam);
  return wnd->HandleMessage(msg, wParam, lParam);
}

LRESULT WindowTable::DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CLOSE:
      Destroy(hwnd);
      return 0;
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_NCACTIVATE:
      return 1;
    case WM_SETICON: {
      int id = static_cast<int>(lParam);
      Update(hwnd, [&](State& s) {
        if (wParam)
          s.icon_big = id;
        else
          s.icon_small = id;
      });
      GetUiBackend().SetNativeIcon(hwnd, id);
      return 0;
    }
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
          ShowWindow(hwnd, SW_MINIMIZE);
          return 0;
        case SC_RESTORE:
          ShowWindow(hwnd, SW_RESTORE);
          return 0;
        case SC_CLOSE:
          Send(hwnd, WM_CLOSE, 0, 0);
          return 0;
        default:
          return 0;
      }
    default:
      return 0;
  }
}

bool WindowTable::Destroy(HWND hwnd) {
  State state;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(hwnd);
    if (it == windows_.end() || it->second.destroying) return false;
    it->second.destroying = true;
    state = it->second;
  }
  // Owned windows go first, as they would with their owner.
  for (HWND other : Windows()) {
    State s;
    if (Read(other, &s) && s.owner == hwnd) Destroy(other);
  }
  Send(hwnd, WM_DESTROY, 0, 0);
  if (!state.message_only) GetUiBackend().DestroyNativeWindow(hwnd);
  Read(hwnd, &state);
  for (uintptr_t id : state.timers) GetUiBackend().KillWindowTimer(hwnd, id);
  Send(hwnd, WM_NCDESTROY, 0, 0);
  CWindowWnd* wnd = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(hwnd);
    if (it != windows_.end()) {
      wnd = it->second.wnd;
      windows_.erase(it);
    }
    if (focus_ == hwnd) focus_ = 0;
  }
  if (wnd) {
    wnd->m_hWnd = 0;
    wnd->OnFinalMessage(hwnd);
  }
  return true;
}

void WindowTable::DetachAndDestroy(HWND hwnd) {
  Update(hwnd, [](State& s) { s.wnd = nullptr; });
  Destroy(hwnd);
}

void WindowTable::NativeMoved(HWND hwnd, const RECT& rect) {
  RECT old{};
  if (!Update(hwnd, [&](State& s) {
        old = s.rect;
        s.rect = rect;
      }))
    return;
  if (old.left != rect.left || old.top != rect.top)
    Send(hwnd, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
  if (old.Width() != rect.Width() || old.Height() != rect.Height())
    Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rect.Width(), rect.Height()));
}

void WindowTable::NativeCloseRequested(HWND hwnd) {
  State state;
  if (!Read(hwnd, &state) || !state.enabled) return;
  PostMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
}

}  // namespace uilib
