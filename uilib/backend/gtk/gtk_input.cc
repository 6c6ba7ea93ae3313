// The toolkit's input on a window's drawing area and toplevel, turned into
// the window messages the program reads: keys, mouse, hover, moves and the
// window manager's close.
#include "uilib/backend/gtk/gtk_ui_backend.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_table.h"

namespace uilib {

namespace {

constexpr guint kHoverDelayMs = 400;

UINT VirtualKey(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
      return VK_TAB;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      return VK_RETURN;
    case GDK_KEY_Escape:
      return VK_ESCAPE;
    case GDK_KEY_BackSpace:
      return VK_BACK;
    case GDK_KEY_Delete:
      return VK_DELETE;
    case GDK_KEY_Left:
      return VK_LEFT;
    case GDK_KEY_Right:
      return VK_RIGHT;
    case GDK_KEY_Up:
      return VK_UP;
    case GDK_KEY_Down:
      return VK_DOWN;
    case GDK_KEY_Home:
      return VK_HOME;
    case GDK_KEY_End:
      return VK_END;
    case GDK_KEY_Page_Up:
      return VK_PRIOR;
    case GDK_KEY_Page_Down:
      return VK_NEXT;
    case GDK_KEY_space:
      return VK_SPACE;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R:
      return VK_SHIFT;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R:
      return VK_CONTROL;
    case GDK_KEY_F4:
      return VK_F4;
    default:
      break;
  }
  guint32 uc = gdk_keyval_to_unicode(keyval);
  if (uc >= 'a' && uc <= 'z') return uc - 'a' + 'A';
  if ((uc >= 'A' && uc <= 'Z') || (uc >= '0' && uc <= '9')) return uc;
  return 0;
}

HWND HwndOf(gpointer data) { return static_cast<GtkUiBackend::Native*>(data)->hwnd; }

// The key-state bits of a mouse message (Ctrl and Shift add to a
// selection, the left button drags).
WPARAM MouseKeys(guint state) {
  WPARAM keys = 0;
  if (state & GDK_BUTTON1_MASK) keys |= MK_LBUTTON;
  if (state & GDK_BUTTON3_MASK) keys |= MK_RBUTTON;
  if (state & GDK_SHIFT_MASK) keys |= MK_SHIFT;
  if (state & GDK_CONTROL_MASK) keys |= MK_CONTROL;
  return keys;
}

gboolean OnHover(gpointer data) {
  auto* native = static_cast<GtkUiBackend::Native*>(data);
  native->hover_timer = 0;
  if (native->inside && !native->hover_sent) {
    native->hover_sent = true;
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(native->hwnd, &pt);
    PostMessage(native->hwnd, WM_MOUSEHOVER, 0, MAKELPARAM(pt.x, pt.y));
  }
  return G_SOURCE_REMOVE;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  auto* native = static_cast<GtkUiBackend::Native*>(data);
  native->inside = true;
  native->hover_sent = false;
  if (native->hover_timer) g_source_remove(native->hover_timer);
  native->hover_timer = g_timeout_add(kHoverDelayMs, OnHover, native);
  PostMessage(native->hwnd, WM_MOUSEMOVE, MouseKeys(event->state),
              MAKELPARAM(static_cast<int>(event->x), static_cast<int>(event->y)));
  PostMessage(native->hwnd, WM_SETCURSOR, native->hwnd, 1);
  return TRUE;
}

gboolean OnLeave(GtkWidget*, GdkEventCrossing* event, gpointer data) {
  auto* native = static_cast<GtkUiBackend::Native*>(data);
  // Every way of leaving counts: moving away, onto a native child (the
  // web view), a grab elsewhere (a menu), and the end of the click's own
  // grab over a window that the click opened.
  if (event->detail == GDK_NOTIFY_INFERIOR) return FALSE;
  if (GtkUiBackend* backend = GtkUiBackend::Current()) backend->HideToolTip(native->hwnd);
  native->inside = false;
  if (native->hover_timer) {
    g_source_remove(native->hover_timer);
    native->hover_timer = 0;
  }
  PostMessage(native->hwnd, WM_MOUSELEAVE, 0, 0);
  return FALSE;
}

gboolean OnButton(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* native = static_cast<GtkUiBackend::Native*>(data);
  const HWND hwnd = native->hwnd;
  const LPARAM pt = MAKELPARAM(static_cast<int>(event->x), static_cast<int>(event->y));
  // The state is the one before the event: the pressed button is added,
  // the released one taken away.
  const WPARAM keys = MouseKeys(event->state) & ~(MK_LBUTTON | MK_RBUTTON);
  if (event->type != GDK_BUTTON_RELEASE) {
    if (GtkUiBackend* backend = GtkUiBackend::Current()) backend->HideToolTip(0);
  }
  if (event->type == GDK_BUTTON_PRESS && event->button == 1) {
    const LRESULT hit =
        SendMessage(hwnd, WM_NCHITTEST, 0,
                    MAKELPARAM(static_cast<int>(event->x_root), static_cast<int>(event->y_root)));
    if (hit == HTCAPTION) {
      gtk_window_begin_move_drag(GTK_WINDOW(native->window), 1, static_cast<gint>(event->x_root),
                                 static_cast<gint>(event->y_root), event->time);
      return TRUE;
    }
    if (native->text_field == nullptr) gtk_widget_grab_focus(native->area);
    PostMessage(hwnd, WM_LBUTTONDOWN, keys | MK_LBUTTON, pt);
  } else if (event->type == GDK_2BUTTON_PRESS && event->button == 1) {
    PostMessage(hwnd, WM_LBUTTONDBLCLK, keys | MK_LBUTTON, pt);
  } else if (event->type == GDK_BUTTON_RELEASE && event->button == 1) {
    PostMessage(hwnd, WM_LBUTTONUP, keys, pt);
  } else if (event->type == GDK_BUTTON_PRESS && event->button == 3) {
    PostMessage(hwnd, WM_RBUTTONDOWN, keys | MK_RBUTTON, pt);
  } else if (event->type == GDK_BUTTON_RELEASE && event->button == 3) {
    PostMessage(hwnd, WM_RBUTTONUP, keys, pt);
  }
  return TRUE;
}

gboolean OnScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
  int delta =
      event->direction == GDK_SCROLL_UP ? 120 : (event->direction == GDK_SCROLL_DOWN ? -120 : 0);
  if (delta != 0)
    PostMessage(HwndOf(data), WM_MOUSEWHEEL,
                static_cast<WPARAM>(static_cast<uint16_t>(delta)) << 16,
                MAKELPARAM(static_cast<int>(event->x_root), static_cast<int>(event->y_root)));
  return TRUE;
}

gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* native = static_cast<GtkUiBackend::Native*>(data);
  const UINT vk = VirtualKey(event->keyval);
  const bool press = event->type == GDK_KEY_PRESS;
  if (native->text_field && gtk_widget_has_focus(native->text_field)) {
    // While an input method composes, every key is its own (Enter commits
    // the composition, Escape drops it).
    if (native->composing) return FALSE;
    // The field keeps what it edits; the keys that belong to the form go
    // to the window.
    const bool multi = GTK_IS_TEXT_VIEW(native->text_field);
    if (vk == VK_TAB || vk == VK_ESCAPE || (vk == VK_RETURN && !multi)) {
      if (press && native->text_listener)
        native->text_listener->OnHostKey(vk, (event->state & GDK_SHIFT_MASK) != 0);
      return TRUE;
    }
    return FALSE;
  }
  if (vk == VK_SHIFT || vk == VK_CONTROL || vk != 0 || gdk_keyval_to_unicode(event->keyval) != 0) {
    if (vk != 0) PostMessage(native->hwnd, press ? WM_KEYDOWN : WM_KEYUP, vk, 1);
    if (press) {
      guint32 uc = gdk_keyval_to_unicode(event->keyval);
      if (vk == VK_RETURN)
        uc = '\r';
      else if (vk == VK_ESCAPE)
        uc = 27;
      else if (vk == VK_BACK)
        uc = 8;
      else if (vk == VK_TAB)
        uc = '\t';
      if (uc != 0 && (event->state & GDK_CONTROL_MASK) == 0 && vk != VK_DELETE)
        PostMessage(native->hwnd, WM_CHAR, uc, 1);
    }
    return TRUE;
  }
  return FALSE;
}

gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure* event, gpointer data) {
  // Under a window manager the window sits in the manager's frame, and the
  // event's position is the one within that frame: the screen position is
  // asked of the display.
  gint x = event->x, y = event->y;
  if (GdkWindow* own = gtk_widget_get_window(widget)) gdk_window_get_origin(own, &x, &y);
  WindowTable::Get().NativeMoved(HwndOf(data), RECT{x, y, x + event->width, y + event->height});
  return FALSE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  // The window decides; the toolkit never destroys it on its own.
  WindowTable::Get().NativeCloseRequested(HwndOf(data));
  return TRUE;
}

gboolean OnFocusIn(GtkWidget*, GdkEvent*, gpointer data) {
  HWND hwnd = HwndOf(data);
  if (GetFocus() != hwnd) SetFocus(hwnd);
  return FALSE;
}

}  // namespace

void ConnectGtkInput(GtkUiBackend::Native* native) {
  g_signal_connect(native->area, "motion-notify-event", G_CALLBACK(OnMotion), native);
  g_signal_connect(native->area, "leave-notify-event", G_CALLBACK(OnLeave), native);
  g_signal_connect(native->area, "button-press-event", G_CALLBACK(OnButton), native);
  g_signal_connect(native->area, "button-release-event", G_CALLBACK(OnButton), native);
  g_signal_connect(native->area, "scroll-event", G_CALLBACK(OnScroll), native);
  g_signal_connect(native->window, "key-press-event", G_CALLBACK(OnKey), native);
  g_signal_connect(native->window, "key-release-event", G_CALLBACK(OnKey), native);
  g_signal_connect(native->window, "configure-event", G_CALLBACK(OnConfigure), native);
  g_signal_connect(native->window, "delete-event", G_CALLBACK(OnDelete), native);
  g_signal_connect(native->window, "focus-in-event", G_CALLBACK(OnFocusIn), native);
}

}  // namespace uilib
