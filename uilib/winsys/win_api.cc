#include "uilib/winsys/win_api.h"

#include <algorithm>
#include <map>
#include <memory>

#include "uilib/winsys/gui_thread.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/window_table.h"
#include "uilib/winsys/window_wnd.h"

namespace uilib {

namespace {

using State = WindowTable::State;
WindowTable& T() { return WindowTable::Get(); }

thread_local std::map<int, bool> t_keys;

bool IsInputMessage(UINT msg) {
  return (msg >= WM_KEYDOWN && msg <= 0x0108) || (msg >= WM_MOUSEMOVE && msg <= WM_MOUSEWHEEL) ||
         msg == WM_MOUSEHOVER || msg == WM_MOUSELEAVE;
}

// The hidden window that runs one-shot and periodic timer callbacks on
// the GUI thread through WM_TIMER.
class TimerCallbackWindow : public CWindowWnd {
 public:
  LPCTSTR GetWindowClassName() const override { return L"UiTimerCallbacks"; }
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg != WM_TIMER) return CWindowWnd::HandleMessage(msg, wParam, lParam);
    auto it = callbacks_.find(wParam);
    if (it == callbacks_.end()) return 0;
    std::function<void()> fn = it->second.fn;
    if (!it->second.periodic) {
      KillTimer(GetHWND(), wParam);
      callbacks_.erase(it);
    }
    fn();
    return 0;
  }
  struct Callback {
    std::function<void()> fn;
    bool periodic;
  };
  std::map<uintptr_t, Callback> callbacks_;
  uintptr_t next_id_ = 1;
};

TimerCallbackWindow* CallbackWindow() {
  static thread_local std::unique_ptr<TimerCallbackWindow> window;
  if (!window || !window->GetHWND()) {
    window = std::make_unique<TimerCallbackWindow>();
    T().Create(window.get(), 0, L"", 0, 0, RECT{}, true);
  }
  return window.get();
}

}  // namespace

void NoteKeyState(UINT msg, WPARAM vk) {
  if (vk == VK_SHIFT || vk == VK_CONTROL) t_keys[static_cast<int>(vk)] = msg == WM_KEYDOWN;
}

short GetKeyState(int vk) {
  CheckGuiThread(__func__);
  auto it = t_keys.find(vk);
  return it != t_keys.end() && it->second ? static_cast<short>(0x8000) : 0;
}

bool IsWindow(HWND hWnd) { return hWnd && T().Read(hWnd, nullptr); }

bool IsWindowVisible(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  return T().Read(hWnd, &s) && s.visible;
}

bool IsWindowEnabled(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  return T().Read(hWnd, &s) && s.enabled;
}

bool IsIconic(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  return T().Read(hWnd, &s) && s.minimized;
}

CWindowWnd* GetWindowObject(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  return T().Read(hWnd, &s) ? s.wnd : nullptr;
}

HWND GetWindowOwner(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  return T().Read(hWnd, &s) ? s.owner : 0;
}

std::wstring GetWindowText(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  return T().Read(hWnd, &s) ? s.title : L"";
}

bool SetWindowText(HWND hWnd, LPCTSTR text) {
  CheckGuiThread(__func__);
  std::wstring title = text ? text : L"";
  if (!T().Update(hWnd, [&](State& s) { s.title = title; })) return false;
  GetUiBackend().SetNativeTitle(hWnd, title);
  return true;
}

std::wstring GetWindowClassName(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  return T().Read(hWnd, &s) ? s.class_name : L"";
}

bool ShowWindow(HWND hWnd, int nCmdShow) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s)) return false;
  const bool was_visible = s.visible;
  UiBackend& backend = GetUiBackend();
  switch (nCmdShow) {
    case SW_HIDE:
      if (!s.visible) return false;
      T().Update(hWnd, [](State& st) { st.visible = false; });
      if (!s.message_only) backend.ShowNativeWindow(hWnd, false, false);
      if (T().focus() == hWnd) T().set_focus(0);
      T().Send(hWnd, WM_SHOWWINDOW, 0, 0);
      return was_visible;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      T().Update(hWnd, [](State& st) {
        st.visible = true;
        st.minimized = true;
      });
      if (!s.message_only) backend.MinimizeNativeWindow(hWnd, true);
      if (!s.minimized) T().Send(hWnd, WM_SIZE, SIZE_MINIMIZED, 0);
      return was_visible;
    default: {
      const bool activate = nCmdShow != SW_SHOWNA && nCmdShow != SW_SHOWNOACTIVATE;
      const bool restore = s.minimized && nCmdShow != SW_SHOW && nCmdShow != SW_SHOWNA;
      uint64_t z = T().NextZ();
      T().Update(hWnd, [&](State& st) {
        st.visible = true;
        st.z = z;
        if (restore) st.minimized = false;
      });
      if (!s.message_only) {
        if (restore) backend.MinimizeNativeWindow(hWnd, false);
        backend.ShowNativeWindow(hWnd, true, activate);
      }
      if (!was_visible) T().Send(hWnd, WM_SHOWWINDOW, 1, 0);
      if (restore)
        T().Send(hWnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(s.rect.Width(), s.rect.Height()));
      if (activate) SetFocus(hWnd);
      return was_visible;
    }
  }
}

bool EnableWindow(HWND hWnd, bool bEnable) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s)) return false;
  const bool was_disabled = !s.enabled;
  if (s.enabled == bEnable) return was_disabled;
  T().Update(hWnd, [&](State& st) { st.enabled = bEnable; });
  GetUiBackend().SetNativeEnabled(hWnd, bEnable);
  T().Send(hWnd, 0x000A /* WM_ENABLE */, bEnable ? 1 : 0, 0);
  return was_disabled;
}

bool DestroyWindow(HWND hWnd) {
  CheckGuiThread(__func__);
  return T().Destroy(hWnd);
}

bool SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT uFlags) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s)) return false;
  RECT rc = s.rect;
  if ((uFlags & SWP_NOMOVE) == 0) {
    rc.right = x + rc.Width();
    rc.bottom = y + rc.Height();
    rc.left = x;
    rc.top = y;
  }
  if ((uFlags & SWP_NOSIZE) == 0) {
    rc.right = rc.left + std::max(0, cx);
    rc.bottom = rc.top + std::max(0, cy);
  }
  bool top_most = s.top_most;
  if ((uFlags & SWP_NOZORDER) == 0) {
    if (hWndInsertAfter == HWND_TOPMOST)
      top_most = true;
    else if (hWndInsertAfter == HWND_NOTOPMOST)
      top_most = false;
  }
  uint64_t z = (uFlags & SWP_NOZORDER) == 0 ? T().NextZ() : s.z;
  T().Update(hWnd, [&](State& st) {
    st.rect = rc;
    st.top_most = top_most;
    st.z = z;
  });
  UiBackend& backend = GetUiBackend();
  if (top_most != s.top_most && !s.message_only) backend.SetNativeTopMost(hWnd, top_most);
  if (!(rc == s.rect) && !s.message_only) backend.MoveNativeWindow(hWnd, rc);
  if ((uFlags & SWP_FRAMECHANGED) != 0) T().Send(hWnd, WM_NCCALCSIZE, 1, 0);
  if (rc.left != s.rect.left || rc.top != s.rect.top)
    T().Send(hWnd, WM_MOVE, 0, MAKELPARAM(rc.left, rc.top));
  if (rc.Width() != s.rect.Width() || rc.Height() != s.rect.Height())
    T().Send(hWnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rc.Width(), rc.Height()));
  if ((uFlags & SWP_SHOWWINDOW) != 0)
    ShowWindow(hWnd, (uFlags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if ((uFlags & SWP_HIDEWINDOW) != 0) ShowWindow(hWnd, SW_HIDE);
  return true;
}

bool MoveWindow(HWND hWnd, int x, int y, int cx, int cy, bool bRepaint) {
  CheckGuiThread(__func__);
  bool ok = SetWindowPos(hWnd, 0, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
  if (ok && bRepaint) InvalidateRect(hWnd, nullptr, true);
  return ok;
}

bool GetWindowRect(HWND hWnd, RECT* rc) {
  CheckGuiThread(__func__);
  State s;
  if (!rc || !T().Read(hWnd, &s)) return false;
  *rc = s.rect;
  return true;
}

bool GetClientRect(HWND hWnd, RECT* rc) {
  CheckGuiThread(__func__);
  State s;
  if (!rc || !T().Read(hWnd, &s)) return false;
  *rc = RECT{0, 0, s.rect.Width(), s.rect.Height()};
  return true;
}

bool ScreenToClient(HWND hWnd, POINT* pt) {
  CheckGuiThread(__func__);
  State s;
  if (!pt || !T().Read(hWnd, &s)) return false;
  pt->x -= s.rect.left;
  pt->y -= s.rect.top;
  return true;
}

bool ClientToScreen(HWND hWnd, POINT* pt) {
  CheckGuiThread(__func__);
  State s;
  if (!pt || !T().Read(hWnd, &s)) return false;
  pt->x += s.rect.left;
  pt->y += s.rect.top;
  return true;
}

bool IsTopMost(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  return T().Read(hWnd, &s) && s.top_most;
}

bool SetForegroundWindow(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s)) return false;
  uint64_t z = T().NextZ();
  T().Update(hWnd, [&](State& st) { st.z = z; });
  if (!s.message_only) GetUiBackend().ActivateNative(hWnd);
  SetFocus(hWnd);
  return true;
}

HWND GetForegroundWindow() {
  CheckGuiThread(__func__);
  return T().focus();
}

HWND SetFocus(HWND hWnd) {
  CheckGuiThread(__func__);
  HWND old = T().focus();
  if (old == hWnd) return old;
  if (hWnd && !IsWindow(hWnd)) return 0;
  T().set_focus(hWnd);
  if (old) T().Send(old, WM_KILLFOCUS, hWnd, 0);
  if (hWnd) T().Send(hWnd, WM_SETFOCUS, old, 0);
  return old;
}

HWND GetFocus() {
  CheckGuiThread(__func__);
  return T().focus();
}

bool IsOtherProgramFullScreen() {
  CheckGuiThread(__func__);
  return GetUiBackend().OtherProgramCoversScreen();
}

HWND WindowFromPoint(POINT pt) {
  CheckGuiThread(__func__);
  HWND best = 0;
  uint64_t best_z = 0;
  bool best_top = false;
  for (HWND h : T().Windows()) {
    State s;
    if (!T().Read(h, &s) || !s.visible || s.minimized || s.message_only || !s.rect.Contains(pt))
      continue;
    if (s.region && !s.region->Contains(POINT{pt.x - s.rect.left, pt.y - s.rect.top})) continue;
    if (!best || (s.top_most && !best_top) || (s.top_most == best_top && s.z > best_z)) {
      best = h;
      best_z = s.z;
      best_top = s.top_most;
    }
  }
  return best;
}

DWORD GetWindowStyle(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s)) return 0;
  return s.style | (s.visible ? WS_VISIBLE : 0) | (s.minimized ? WS_MINIMIZE : 0);
}

DWORD GetWindowExStyle(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s)) return 0;
  return s.ex_style | (s.top_most ? WS_EX_TOPMOST : 0);
}

long GetWindowLong(HWND hWnd, int nIndex) {
  CheckGuiThread(__func__);
  if (nIndex == GWL_STYLE) return static_cast<long>(GetWindowStyle(hWnd));
  if (nIndex == GWL_EXSTYLE) return static_cast<long>(GetWindowExStyle(hWnd));
  return 0;
}

long SetWindowLong(HWND hWnd, int nIndex, long dwNewLong) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s)) return 0;
  long old = GetWindowLong(hWnd, nIndex);
  const DWORD value = static_cast<DWORD>(dwNewLong);
  if (nIndex == GWL_STYLE) {
    T().Update(hWnd, [&](State& st) { st.style = value & ~(WS_VISIBLE | WS_MINIMIZE); });
  } else if (nIndex == GWL_EXSTYLE) {
    T().Update(hWnd, [&](State& st) { st.ex_style = value & ~WS_EX_TOPMOST; });
  } else {
    return 0;
  }
  T().Read(hWnd, &s);
  if (!s.message_only) GetUiBackend().SetNativeStyle(hWnd, s.style, s.ex_style);
  return old;
}

bool SetWindowRgn(HWND hWnd, const Region* region, bool bRedraw) {
  CheckGuiThread(__func__);
  std::optional<Region> value;
  if (region) value = *region;
  if (!T().Update(hWnd, [&](State& st) { st.region = value; })) return false;
  GetUiBackend().SetNativeRegion(hWnd, region);
  if (bRedraw) InvalidateRect(hWnd, nullptr, true);
  return true;
}

std::optional<Region> GetWindowRgn(HWND hWnd) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s)) return std::nullopt;
  return s.region;
}

bool SetLayeredWindowAttributes(HWND hWnd, COLORREF crKey, uint8_t bAlpha, DWORD dwFlags) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s) || (s.ex_style & WS_EX_LAYERED) == 0) return false;
  T().Update(hWnd, [&](State& st) {
    st.color_key = crKey;
    st.alpha = bAlpha;
    st.layered_flags = dwFlags;
  });
  GetUiBackend().SetNativeColorKey(hWnd, (dwFlags & LWA_COLORKEY) != 0, crKey);
  return true;
}

bool GetLayeredWindowAttributes(HWND hWnd, COLORREF* crKey, uint8_t* bAlpha, DWORD* dwFlags) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s) || (s.ex_style & WS_EX_LAYERED) == 0) return false;
  if (crKey) *crKey = s.color_key;
  if (bAlpha) *bAlpha = s.alpha;
  if (dwFlags) *dwFlags = s.layered_flags;
  return true;
}

int GetWindowIconId(HWND hWnd, bool big) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s)) return 0;
  return big ? s.icon_big : s.icon_small;
}

LRESULT SendMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CheckGuiThread(__func__);
  return T().Send(hWnd, uMsg, wParam, lParam);
}

bool PostMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  State s;
  if (!hWnd || !T().Read(hWnd, &s) || !s.queue) return false;
  return s.queue->Post(MSG{hWnd, uMsg, wParam, lParam, 0});
}

LRESULT DispatchMessage(const MSG* pMsg) {
  CheckGuiThread(__func__);
  if (!pMsg || !pMsg->hwnd) return 0;
  State s;
  if (!T().Read(pMsg->hwnd, &s)) return 0;
  // A disabled window (the owner of a shown dialog) takes no input.
  if (!s.enabled && IsInputMessage(pMsg->message)) return 0;
  return T().Send(pMsg->hwnd, pMsg->message, pMsg->wParam, pMsg->lParam);
}

bool TranslateMessage(const MSG*) {
  CheckGuiThread(__func__);
  return false;
}

void PostQuitMessage(int nExitCode) {
  CheckGuiThread(__func__);
  WindowTable::ThreadQueue();
  brx::base::PostQuitMessage(nExitCode);
}

bool GetMessage(MSG* pMsg) {
  CheckGuiThread(__func__);
  AttachUiToThisThread();
  return WindowTable::ThreadQueue()->Get(pMsg);
}

bool PeekMessage(MSG* pMsg, bool bRemove) {
  CheckGuiThread(__func__);
  return WindowTable::ThreadQueue()->Peek(pMsg, bRemove);
}

int MessageBox(HWND owner, LPCTSTR text, LPCTSTR caption) {
  CheckGuiThread(__func__);
  // The owner takes no input while the box is up, as with any modal
  // dialog; it gets it back however the box ends.
  bool disable = owner != 0 && IsWindowEnabled(owner);
  if (disable) EnableWindow(owner, false);
  GetUiBackend().RunMessageBox(owner, text ? text : L"", caption ? caption : L"");
  if (disable) EnableWindow(owner, true);
  return 1;  // IDOK
}

bool ChooseFolder(HWND owner, const std::wstring& title, std::wstring* folder) {
  CheckGuiThread(__func__);
  if (folder == nullptr) return false;
  bool disable = owner != 0 && IsWindowEnabled(owner);
  if (disable) EnableWindow(owner, false);
  std::wstring chosen = *folder;
  const bool ok = GetUiBackend().RunFolderChooser(owner, title, &chosen) && !chosen.empty();
  if (disable) EnableWindow(owner, true);
  if (ok) *folder = std::move(chosen);
  return ok;
}

uintptr_t SetTimer(HWND hWnd, uintptr_t nIDEvent, UINT uElapse) {
  CheckGuiThread(__func__);
  if (hWnd && !T().Update(hWnd, [&](State& st) { st.timers.insert(nIDEvent); })) return 0;
  WindowTable::ThreadQueue();
  return GetUiBackend().SetWindowTimer(hWnd, nIDEvent, uElapse);
}

bool KillTimer(HWND hWnd, uintptr_t nIDEvent) {
  CheckGuiThread(__func__);
  if (hWnd) T().Update(hWnd, [&](State& st) { st.timers.erase(nIDEvent); });
  return GetUiBackend().KillWindowTimer(hWnd, nIDEvent);
}

uintptr_t TimeSetEvent(UINT delay_ms, std::function<void()> fn, bool periodic) {
  CheckGuiThread(__func__);
  TimerCallbackWindow* window = CallbackWindow();
  uintptr_t id = window->next_id_++;
  window->callbacks_[id] = TimerCallbackWindow::Callback{std::move(fn), periodic};
  SetTimer(window->GetHWND(), id, delay_ms);
  return id;
}

bool TimeKillEvent(uintptr_t id) {
  CheckGuiThread(__func__);
  TimerCallbackWindow* window = CallbackWindow();
  auto it = window->callbacks_.find(id);
  if (it == window->callbacks_.end()) return false;
  window->callbacks_.erase(it);
  KillTimer(window->GetHWND(), id);
  return true;
}

bool InvalidateRect(HWND hWnd, const RECT* rc, bool) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s) || s.message_only) return false;
  RECT area = rc ? *rc : RECT{0, 0, s.rect.Width(), s.rect.Height()};
  GetUiBackend().InvalidateNative(hWnd, area);
  return true;
}

bool UpdateWindow(HWND hWnd) {
  CheckGuiThread(__func__);
  if (!IsWindow(hWnd)) return false;
  GetUiBackend().UpdateNative(hWnd);
  return true;
}

cairo_t* BeginPaint(HWND hWnd, PAINTSTRUCT* ps) {
  CheckGuiThread(__func__);
  State s;
  if (!T().Read(hWnd, &s)) return nullptr;
  if (ps) {
    ps->hdc = s.paint_ctx;
    ps->rcPaint = s.paint_rect;
  }
  return s.paint_ctx;
}

void EndPaint(HWND, const PAINTSTRUCT*) { CheckGuiThread(__func__); }

void PaintWindowInto(HWND hWnd, cairo_t* ctx, const RECT& rcPaint) {
  CheckGuiThread(__func__);
  cairo_t* previous = nullptr;
  RECT previous_rect{};
  if (!T().Update(hWnd, [&](State& st) {
        previous = st.paint_ctx;
        previous_rect = st.paint_rect;
        st.paint_ctx = ctx;
        st.paint_rect = rcPaint;
      }))
    return;
  T().Send(hWnd, WM_PAINT, 0, 0);
  T().Update(hWnd, [&](State& st) {
    st.paint_ctx = previous;
    st.paint_rect = previous_rect;
  });
}

int GetSystemMetrics(int nIndex) {
  CheckGuiThread(__func__);
  UiBackend& backend = GetUiBackend();
  switch (nIndex) {
    case SM_CXSCREEN:
      return backend.ScreenSize().cx;
    case SM_CYSCREEN:
      return backend.ScreenSize().cy;
    case SM_CXFULLSCREEN:
      return backend.WorkArea().Width();
    case SM_CYFULLSCREEN:
      return backend.WorkArea().Height();
    default:
      return 0;
  }
}

RECT GetWorkArea() {
  CheckGuiThread(__func__);
  return GetUiBackend().WorkArea();
}

bool GetCursorPos(POINT* pt) {
  CheckGuiThread(__func__);
  if (!pt) return false;
  *pt = GetUiBackend().CursorPos();
  return true;
}

void SetCursorShape(HWND hWnd, CursorShape shape) {
  CheckGuiThread(__func__);
  GetUiBackend().SetNativeCursor(hWnd, shape);
}

}  // namespace uilib
