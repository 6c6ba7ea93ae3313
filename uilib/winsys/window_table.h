#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "runtime/base/thread_message_queue.h"
#include "uilib/winsys/region.h"
#include "uilib/winsys/ui_defs.h"

typedef struct _cairo cairo_t;

namespace uilib {

class CWindowWnd;

// Every window of the process and its state; the functions of win_api.h
// and the backends work on it. The map is locked only for look-ups and
// changes, never while a window procedure or the backend runs.
class WindowTable {
 public:
  struct State {
    CWindowWnd* wnd = nullptr;  // null once the object is gone
    brx::base::ThreadMessageQueue* queue = nullptr;
    HWND owner = 0;
    std::wstring title;
    std::wstring class_name;
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT rect{};
    bool visible = false;
    bool enabled = true;
    bool minimized = false;
    bool top_most = false;
    bool destroying = false;
    bool message_only = false;
    std::optional<Region> region;
    COLORREF color_key = 0;
    uint8_t alpha = 255;
    DWORD layered_flags = 0;
    int icon_big = 0;
    int icon_small = 0;
    uint64_t z = 0;
    std::set<uintptr_t> timers;
    cairo_t* paint_ctx = nullptr;
    RECT paint_rect{};
  };

  static WindowTable& Get();

  HWND Create(CWindowWnd* wnd, HWND owner, const std::wstring& title, DWORD style, DWORD ex_style,
              const RECT& rect, bool message_only = false);
  bool Destroy(HWND hwnd);
  // The object is being deleted: forget it, then destroy the window.
  void DetachAndDestroy(HWND hwnd);
  LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // A copy of the state; false when the window does not exist.
  bool Read(HWND hwnd, State* out) const;
  // Changes the state under the lock; false when the window does not exist.
  bool Update(HWND hwnd, const std::function<void(State&)>& change);
  std::vector<HWND> Windows() const;
  uint64_t NextZ() { return ++z_; }

  // Backends: the user moved or resized the window.
  void NativeMoved(HWND hwnd, const RECT& rect);
  // Backends: the window manager asks to close the window (its close
  // button, Alt+F4, a taskbar's Close). The window gets it as a close
  // command of its own, as the user's close of it; a disabled window (one
  // under a modal dialog) takes no input, and ignores it.
  void NativeCloseRequested(HWND hwnd);
  HWND focus() const { return focus_; }
  void set_focus(HWND hwnd) { focus_ = hwnd; }

  // This thread's queue, made when the thread has none.
  static brx::base::ThreadMessageQueue* ThreadQueue();

 private:
  mutable std::mutex mutex_;
  std::map<HWND, State> windows_;
  HWND next_ = 0x10000;
  uint64_t z_ = 0;
  HWND focus_ = 0;
};

// Records the modifier keys of a key message for GetKeyState.
void NoteKeyState(UINT msg, WPARAM vk);

}  // namespace uilib
