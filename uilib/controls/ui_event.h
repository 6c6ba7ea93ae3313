#pragma once

#include <string>

#include "uilib/winsys/ui_defs.h"

namespace uilib {

class CControlUI;

// What the paint manager hands a control: a mouse, keyboard, focus or
// timer event in the control's window's client coordinates.
enum EventTypeUI {
  UIEVENT_FIRST = 1,
  UIEVENT_KEYDOWN,
  UIEVENT_KEYUP,
  UIEVENT_CHAR,
  UIEVENT_MOUSEMOVE,
  UIEVENT_MOUSELEAVE,
  UIEVENT_MOUSEENTER,
  UIEVENT_MOUSEHOVER,
  UIEVENT_BUTTONDOWN,
  UIEVENT_BUTTONUP,
  UIEVENT_RBUTTONDOWN,
  UIEVENT_DBLCLICK,
  UIEVENT_CONTEXTMENU,
  UIEVENT_SCROLLWHEEL,
  UIEVENT_KILLFOCUS,
  UIEVENT_SETFOCUS,
  UIEVENT_WINDOWSIZE,
  UIEVENT_SETCURSOR,
  UIEVENT_TIMER,
  UIEVENT_LAST,
};

// Events from the mouse: those a control that does not take the mouse
// hands to its parent.
inline bool IsMouseEvent(int type) {
  return type >= UIEVENT_MOUSEMOVE && type <= UIEVENT_SCROLLWHEEL;
}

struct TEventUI {
  int Type = 0;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse{};
  wchar_t chKey = 0;
  WPARAM wKeyState = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// A control notification: `sType` is one of "click", "selectchanged",
// "textchanged", "itemselect", "buttondown", "setfocus", "killfocus",
// "return", "timer", "windowinit" (sent once after AttachDialog).
struct TNotifyUI {
  std::wstring sType;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse{};
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Receives the notifications of a window's controls, synchronously, in the
// order the receivers were registered.
class INotifyUI {
 public:
  virtual void Notify(TNotifyUI& msg) = 0;

 protected:
  ~INotifyUI() = default;
};

// Creates the program's own controls while a layout is built. Returns a new
// control (the tree takes ownership) or null for a tag it does not know.
class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  virtual CControlUI* CreateControl(LPCTSTR pstrClass) = 0;
};

// Sees a window's messages before the controls do (CPaintManagerUI's
// pre-message filters and message filters). Set `bHandled` to consume one.
class IMessageFilterUI {
 public:
  virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;

 protected:
  ~IMessageFilterUI() = default;
};

// GetControlFlags bits.
inline constexpr UINT UIFLAG_TABSTOP = 0x00000001;
inline constexpr UINT UIFLAG_SETCURSOR = 0x00000002;
inline constexpr UINT UIFLAG_WANTRETURN = 0x00000004;

// FindControl flags.
inline constexpr UINT UIFIND_ALL = 0x00000000;
inline constexpr UINT UIFIND_VISIBLE = 0x00000001;
inline constexpr UINT UIFIND_ENABLED = 0x00000002;
inline constexpr UINT UIFIND_HITTEST = 0x00000004;
inline constexpr UINT UIFIND_TOP_FIRST = 0x00000008;
inline constexpr UINT UIFIND_ME_FIRST = 0x80000000;

// Button state bits.
inline constexpr UINT UISTATE_FOCUSED = 0x00000001;
inline constexpr UINT UISTATE_SELECTED = 0x00000002;
inline constexpr UINT UISTATE_DISABLED = 0x00000004;
inline constexpr UINT UISTATE_HOT = 0x00000008;
inline constexpr UINT UISTATE_PUSHED = 0x00000010;
inline constexpr UINT UISTATE_READONLY = 0x00000020;
inline constexpr UINT UISTATE_CAPTURED = 0x00000040;

// The interface names GetInterface answers to (besides a control's own).
inline constexpr LPCTSTR kInterfaceContainer = L"Container";
inline constexpr LPCTSTR kInterfaceIContainer = L"IContainer";
inline constexpr LPCTSTR kInterfaceListItem = L"ListItem";

}  // namespace uilib
