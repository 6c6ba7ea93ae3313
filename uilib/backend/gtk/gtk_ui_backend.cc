#include "uilib/backend/gtk/gtk_ui_backend.h"

#include <glib-unix.h>
#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "uilib/backend/gtk/gtk_backend.h"
#include "uilib/gui_thread.h"
#include "uilib/notify_icon.h"
#include "uilib/win_api.h"
#include "uilib/window_table.h"

namespace uilib {

namespace {

GtkUiBackend* g_current = nullptr;
constexpr guint kHoverDelayMs = 400;

struct WaitState {
  bool done = false;
  bool fd_fired = false;
  bool timer_fired = false;
};

// Runs GLib until the queue's wake-up descriptor is readable or the
// time-out passes, so toolkit events keep flowing while GetMessage waits.
void GlibIdleWait(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 0) > 0) return;
  WaitState state;
  guint fd_source = g_unix_fd_add(
      fd, G_IO_IN,
      [](gint, GIOCondition, gpointer data) -> gboolean {
        auto* st = static_cast<WaitState*>(data);
        st->done = st->fd_fired = true;
        return G_SOURCE_REMOVE;
      },
      &state);
  guint timer = 0;
  if (timeout_ms >= 0) {
    timer = g_timeout_add(static_cast<guint>(timeout_ms), [](gpointer data) -> gboolean {
      auto* st = static_cast<WaitState*>(data);
      st->done = st->timer_fired = true;
      return G_SOURCE_REMOVE;
    }, &state);
  }
  while (!state.done) g_main_context_iteration(nullptr, TRUE);
  // Whichever source did not fire still points at `state`: remove it.
  if (!state.fd_fired) g_source_remove(fd_source);
  if (timer && !state.timer_fired) g_source_remove(timer);
}

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

gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* native = static_cast<GtkUiBackend::Native*>(data);
  GdkRectangle clip;
  if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return TRUE;
  RECT rc{clip.x, clip.y, clip.x + clip.width, clip.y + clip.height};
  if (!native->color_key) {
    PaintWindowInto(native->hwnd, cr, rc);
    return TRUE;
  }
  // Pixels of exactly the key colour become transparent (seen through
  // where a compositor blends the window).
  const int w = gtk_widget_get_allocated_width(widget);
  const int h = gtk_widget_get_allocated_height(widget);
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* icr = cairo_create(image);
  PaintWindowInto(native->hwnd, icr, rc);
  cairo_destroy(icr);
  cairo_surface_flush(image);
  const uint32_t key = ((native->key & 0xFF) << 16) | (native->key & 0xFF00) | ((native->key >> 16) & 0xFF);
  unsigned char* px = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int y = clip.y; y < clip.y + clip.height && y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(px + y * stride);
    for (int x = clip.x; x < clip.x + clip.width && x < w; ++x) {
      if ((row[x] >> 24) == 0xFF && (row[x] & 0xFFFFFF) == key) row[x] = 0;
    }
  }
  cairo_surface_mark_dirty(image);
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(image);
  return TRUE;
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
  PostMessage(native->hwnd, WM_MOUSEMOVE, MouseKeys(event->state), MAKELPARAM(static_cast<int>(event->x), static_cast<int>(event->y)));
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
    const LRESULT hit = SendMessage(hwnd, WM_NCHITTEST, 0,
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
  int delta = event->direction == GDK_SCROLL_UP ? 120 : (event->direction == GDK_SCROLL_DOWN ? -120 : 0);
  if (delta != 0)
    PostMessage(HwndOf(data), WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint16_t>(delta)) << 16,
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
      if (vk == VK_RETURN) uc = '\r';
      else if (vk == VK_ESCAPE) uc = 27;
      else if (vk == VK_BACK) uc = 8;
      else if (vk == VK_TAB) uc = '\t';
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

void OnMap(GtkWidget*, gpointer data) { static_cast<GtkUiBackend::Native*>(data)->mapped = true; }
void OnUnmap(GtkWidget*, gpointer data) { static_cast<GtkUiBackend::Native*>(data)->mapped = false; }

cairo_region_t* ToCairo(const Region& region) {
  cairo_region_t* r = cairo_region_create();
  for (const RECT& rc : region.Rects()) {
    cairo_rectangle_int_t c{rc.left, rc.top, rc.Width(), rc.Height()};
    cairo_region_union_rectangle(r, &c);
  }
  return r;
}

}  // namespace

bool GtkDisplayAvailable() {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (display && *display) || (wayland && *wayland);
}

std::unique_ptr<UiBackend> CreateGtkUiBackend() {
  if (!GtkDisplayAvailable()) return nullptr;
  // Our windows are drawn with Cairo and the web view draws without the
  // GPU: the toolkit's GL set-up, which loads the GL driver and is a large
  // part of a program's start, is never needed (unless the user asks).
  g_setenv("GDK_GL", "disable", FALSE);
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  return std::make_unique<GtkUiBackend>();
}

GtkUiBackend::GtkUiBackend() : shell_(brx::platform::CreateDesktopShell()) { g_current = this; }

GtkUiBackend::~GtkUiBackend() {
  for (auto& [hwnd, native] : windows_) {
    if (native->hover_timer) g_source_remove(native->hover_timer);
    if (native->text_field_gone) native->text_field_gone();
    gtk_widget_destroy(native->window);
  }
  for (auto& [shape, cursor] : cursors_) g_object_unref(cursor);
  if (tip_window_ != nullptr) gtk_widget_destroy(tip_window_);
  if (g_current == this) g_current = nullptr;
}

GtkUiBackend* GtkUiBackend::Current() { return g_current; }

void GtkUiBackend::AttachThread() {
  CheckGuiThread(__func__);
  WindowTable::ThreadQueue()->SetIdleWaiter(GlibIdleWait);
}

GtkUiBackend::Native* GtkUiBackend::Find(HWND hWnd) {
  auto it = windows_.find(hWnd);
  return it == windows_.end() ? nullptr : it->second.get();
}

void GtkUiBackend::CreateNativeWindow(HWND hWnd, const NativeWindowInfo& info) {
  CheckGuiThread(__func__);
  auto native = std::make_unique<Native>();
  native->hwnd = hWnd;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  native->window = window;
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(window), TRUE);
  gtk_widget_set_app_paintable(window, TRUE);
  GdkScreen* screen = gtk_widget_get_screen(window);
  if (GdkVisual* rgba = gdk_screen_get_rgba_visual(screen)) gtk_widget_set_visual(window, rgba);
  std::string title = brx::util::WideToUtf8(info.title);
  gtk_window_set_title(GTK_WINDOW(window), title.c_str());
  // The window's class name as the X class instance, so desktop tools (and
  // the user's window rules) can tell the program's windows apart.
  if (!info.class_name.empty()) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_window_set_wmclass(GTK_WINDOW(window), brx::util::WideToUtf8(info.class_name).c_str(), "Ombrix");
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
  native->fixed = gtk_fixed_new();
  native->area = gtk_drawing_area_new();
  gtk_widget_set_can_focus(native->area, TRUE);
  gtk_widget_add_events(native->area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                          GDK_LEAVE_NOTIFY_MASK | GDK_ENTER_NOTIFY_MASK | GDK_SCROLL_MASK |
                                          GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK);
  gtk_fixed_put(GTK_FIXED(native->fixed), native->area, 0, 0);
  gtk_container_add(GTK_CONTAINER(window), native->fixed);
  const int w = std::max(1, info.rect.Width());
  const int h = std::max(1, info.rect.Height());
  gtk_widget_set_size_request(native->area, w, h);
  gtk_window_set_default_size(GTK_WINDOW(window), w, h);
  gtk_window_move(GTK_WINDOW(window), info.rect.left, info.rect.top);
  Native* raw = native.get();
  g_signal_connect(native->area, "draw", G_CALLBACK(OnDraw), raw);
  g_signal_connect(native->area, "motion-notify-event", G_CALLBACK(OnMotion), raw);
  g_signal_connect(native->area, "leave-notify-event", G_CALLBACK(OnLeave), raw);
  g_signal_connect(native->area, "button-press-event", G_CALLBACK(OnButton), raw);
  g_signal_connect(native->area, "button-release-event", G_CALLBACK(OnButton), raw);
  g_signal_connect(native->area, "scroll-event", G_CALLBACK(OnScroll), raw);
  g_signal_connect(window, "key-press-event", G_CALLBACK(OnKey), raw);
  g_signal_connect(window, "key-release-event", G_CALLBACK(OnKey), raw);
  g_signal_connect(window, "configure-event", G_CALLBACK(OnConfigure), raw);
  g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), raw);
  g_signal_connect(window, "focus-in-event", G_CALLBACK(OnFocusIn), raw);
  g_signal_connect(window, "map", G_CALLBACK(OnMap), raw);
  g_signal_connect(window, "unmap", G_CALLBACK(OnUnmap), raw);
  gtk_widget_show(native->fixed);
  gtk_widget_show(native->area);
  windows_[hWnd] = std::move(native);
  if (info.owner) {
    if (Native* owner = Find(info.owner)) gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(owner->window));
  }
  SetNativeStyle(hWnd, info.style, info.ex_style);
}

void GtkUiBackend::DestroyNativeWindow(HWND hWnd) {
  CheckGuiThread(__func__);
  auto it = windows_.find(hWnd);
  if (it == windows_.end()) return;
  Native* native = it->second.get();
  HideToolTip(hWnd);
  if (native->hover_timer) g_source_remove(native->hover_timer);
  if (native->text_field_gone) native->text_field_gone();
  gtk_widget_destroy(native->window);
  windows_.erase(it);
}

void GtkUiBackend::ShowNativeWindow(HWND hWnd, bool show, bool activate) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  if (!native) return;
  // A window that goes takes its tip along; one that comes may cover any.
  HideToolTip(show ? 0 : hWnd);
  if (!show) {
    gtk_widget_hide(native->window);
    return;
  }
  gtk_window_set_focus_on_map(GTK_WINDOW(native->window), activate);
  gtk_widget_show(native->window);
  if (activate) gtk_window_present(GTK_WINDOW(native->window));
}

void GtkUiBackend::MinimizeNativeWindow(HWND hWnd, bool minimized) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  if (!native) return;
  if (minimized) gtk_window_iconify(GTK_WINDOW(native->window));
  else gtk_window_deiconify(GTK_WINDOW(native->window));
}

void GtkUiBackend::MoveNativeWindow(HWND hWnd, const RECT& rc) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  if (!native) return;
  const int w = std::max(1, rc.Width());
  const int h = std::max(1, rc.Height());
  gtk_widget_set_size_request(native->area, w, h);
  gtk_window_resize(GTK_WINDOW(native->window), w, h);
  gtk_window_move(GTK_WINDOW(native->window), rc.left, rc.top);
}

void GtkUiBackend::SetNativeStyle(HWND hWnd, DWORD, DWORD ex_style) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  if (!native) return;
  const bool tool = (ex_style & WS_EX_TOOLWINDOW) != 0;
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(native->window), tool);
  gtk_window_set_skip_pager_hint(GTK_WINDOW(native->window), tool);
  if (!gtk_widget_get_realized(native->window)) {
    gtk_window_set_type_hint(GTK_WINDOW(native->window),
                             tool ? GDK_WINDOW_TYPE_HINT_UTILITY : GDK_WINDOW_TYPE_HINT_NORMAL);
  }
  g_object_set_data(G_OBJECT(native->window), "ombrix-tool-window", GINT_TO_POINTER(tool ? 1 : 0));
}

void GtkUiBackend::SetNativeTitle(HWND hWnd, const std::wstring& title) {
  CheckGuiThread(__func__);
  if (Native* native = Find(hWnd)) gtk_window_set_title(GTK_WINDOW(native->window), brx::util::WideToUtf8(title).c_str());
}

void GtkUiBackend::SetNativeRegion(HWND hWnd, const Region* region) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  if (!native) return;
  if (!region) {
    native->region.reset();
    gtk_widget_shape_combine_region(native->window, nullptr);
    return;
  }
  native->region = *region;
  cairo_region_t* r = ToCairo(*region);
  gtk_widget_shape_combine_region(native->window, r);
  cairo_region_destroy(r);
}

void GtkUiBackend::SetNativeColorKey(HWND hWnd, bool enabled, COLORREF key) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  if (!native) return;
  native->color_key = enabled;
  native->key = key;
  // Kept on the toolkit window too, for whoever inspects it.
  g_object_set_data(G_OBJECT(native->window), "ombrix-color-key",
                    GINT_TO_POINTER(enabled ? static_cast<gint>(key) + 1 : 0));
  gtk_widget_queue_draw(native->area);
}

void GtkUiBackend::SetNativeTopMost(HWND hWnd, bool top_most) {
  CheckGuiThread(__func__);
  if (Native* native = Find(hWnd)) gtk_window_set_keep_above(GTK_WINDOW(native->window), top_most);
}

void GtkUiBackend::SetNativeEnabled(HWND hWnd, bool enabled) {
  CheckGuiThread(__func__);
  if (!enabled) HideToolTip(hWnd);
}

void GtkUiBackend::SetNativeIcon(HWND hWnd, int icon_id) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  std::string path = GetIconResourcePath(icon_id);
  if (!native || path.empty()) return;
  gtk_window_set_icon_from_file(GTK_WINDOW(native->window), path.c_str(), nullptr);
}

void GtkUiBackend::InvalidateNative(HWND hWnd, const RECT& rc) {
  CheckGuiThread(__func__);
  if (Native* native = Find(hWnd)) gtk_widget_queue_draw_area(native->area, rc.left, rc.top, rc.Width(), rc.Height());
}

void GtkUiBackend::UpdateNative(HWND hWnd) {
  CheckGuiThread(__func__);
  // Drawing happens on the toolkit's frame clock; flushing is all a caller
  // can usefully ask for.
  if (Find(hWnd)) gdk_display_flush(gdk_display_get_default());
}

void GtkUiBackend::ActivateNative(HWND hWnd) {
  CheckGuiThread(__func__);
  // Bringing a hidden window to the front leaves it hidden (the tray's
  // window is made foreground before its menu, and must not appear).
  Native* native = Find(hWnd);
  if (native && gtk_widget_get_visible(native->window)) gtk_window_present(GTK_WINDOW(native->window));
}

void GtkUiBackend::BeginMoveDrag(HWND hWnd, POINT pt) {
  CheckGuiThread(__func__);
  if (Native* native = Find(hWnd))
    gtk_window_begin_move_drag(GTK_WINDOW(native->window), 1, pt.x, pt.y, GDK_CURRENT_TIME);
}

void GtkUiBackend::SetNativeCursor(HWND hWnd, CursorShape shape) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  if (!native) return;
  GdkWindow* w = gtk_widget_get_window(native->area);
  if (!w) return;
  GdkCursor*& cursor = cursors_[static_cast<int>(shape)];
  if (!cursor) {
    const char* name = shape == CursorShape::kHand ? "pointer" : (shape == CursorShape::kIBeam ? "text" : "default");
    cursor = gdk_cursor_new_from_name(gdk_window_get_display(w), name);
  }
  gdk_window_set_cursor(w, cursor);
}

void GtkUiBackend::ShowToolTip(HWND hWnd, const std::wstring& text) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  if (!native || text.empty()) {
    HideToolTip(hWnd);
    return;
  }
  if (tip_window_ == nullptr) {
    tip_window_ = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_type_hint(GTK_WINDOW(tip_window_), GDK_WINDOW_TYPE_HINT_TOOLTIP);
    gtk_widget_set_name(tip_window_, "ombrix-tool-tip");
    GtkWidget* frame = gtk_frame_new(nullptr);
    tip_label_ = gtk_label_new("");
    gtk_widget_set_margin_start(tip_label_, 6);
    gtk_widget_set_margin_end(tip_label_, 6);
    gtk_widget_set_margin_top(tip_label_, 3);
    gtk_widget_set_margin_bottom(tip_label_, 3);
    gtk_container_add(GTK_CONTAINER(frame), tip_label_);
    gtk_container_add(GTK_CONTAINER(tip_window_), frame);
    gtk_widget_show_all(frame);
  }
  gtk_label_set_text(GTK_LABEL(tip_label_), brx::util::WideToUtf8(text).c_str());
  gtk_window_resize(GTK_WINDOW(tip_window_), 1, 1);  // as small as the text
  gtk_window_set_transient_for(GTK_WINDOW(tip_window_), GTK_WINDOW(native->window));
  // Below the pointer, kept on the screen.
  const POINT cursor = CursorPos();
  const RECT area = WorkArea();
  gint w = 0, h = 0;
  gtk_widget_get_preferred_width(tip_window_, nullptr, &w);
  gtk_widget_get_preferred_height(tip_window_, nullptr, &h);
  const int x = std::max(static_cast<int>(area.left), std::min(static_cast<int>(cursor.x) + 4, static_cast<int>(area.right) - w));
  int y = cursor.y + 22;
  if (y + h > area.bottom) y = cursor.y - 6 - h;
  gtk_window_move(GTK_WINDOW(tip_window_), x, std::max(static_cast<int>(area.top), y));
  gtk_widget_show(tip_window_);
  tip_owner_ = hWnd;
}

void GtkUiBackend::HideToolTip(HWND owner) {
  if (tip_window_ == nullptr || tip_owner_ == 0 || (owner != 0 && owner != tip_owner_)) return;
  gtk_widget_hide(tip_window_);
  tip_owner_ = 0;
}

bool GtkUiBackend::ToolTipShown(std::wstring* text) const {
  if (tip_window_ == nullptr || tip_owner_ == 0 || !gtk_widget_get_visible(tip_window_)) return false;
  if (text != nullptr) *text = brx::util::Utf8ToWide(gtk_label_get_text(GTK_LABEL(tip_label_)));
  return true;
}

SIZE GtkUiBackend::ScreenSize() const {
  CheckGuiThread(__func__);
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return SIZE{1920, 1080};
  GdkRectangle r;
  gdk_monitor_get_geometry(monitor, &r);
  return SIZE{r.width, r.height};
}

RECT GtkUiBackend::WorkArea() const {
  CheckGuiThread(__func__);
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return RECT{0, 0, 1920, 1040};
  GdkRectangle r;
  gdk_monitor_get_workarea(monitor, &r);
  return RECT{r.x, r.y, r.x + r.width, r.y + r.height};
}

POINT GtkUiBackend::CursorPos() const {
  CheckGuiThread(__func__);
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return POINT{};
  GdkSeat* seat = gdk_display_get_default_seat(display);
  GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (!pointer) return POINT{};
  gint x = 0, y = 0;
  gdk_device_get_position(pointer, nullptr, &x, &y);
  return POINT{x, y};
}

std::unique_ptr<TextInputHost> GtkUiBackend::CreateTextInput(HWND hWnd, TextInputListener* listener) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  if (!native) return nullptr;
  return CreateGtkTextInput(native, listener);
}

std::unique_ptr<NotifyIcon> GtkUiBackend::CreateNotifyIcon() {
  CheckGuiThread(__func__);
  AttachUiToThisThread();
  return CreateGtkNotifyIcon();
}

namespace {

struct MenuRun {
  GMainLoop* loop = nullptr;
  UINT chosen = 0;
};

}  // namespace

bool GtkUiBackend::OtherProgramCoversScreen() const {
  CheckGuiThread(__func__);
  // The desktop names its active window (_NET_ACTIVE_WINDOW); a window of
  // another program whose frame reaches every corner of the screen is a
  // full-screen one. Without a window manager nothing is active.
  GdkScreen* screen = gdk_screen_get_default();
  if (screen == nullptr) return false;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GdkWindow* active = gdk_screen_get_active_window(screen);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (active == nullptr) return false;
  bool ours = false;
  for (const auto& [hwnd, native] : windows_) {
    GdkWindow* own = native->window ? gtk_widget_get_window(native->window) : nullptr;
    if (own != nullptr && gdk_window_get_toplevel(own) == gdk_window_get_toplevel(active)) ours = true;
  }
  GdkRectangle frame{};
  gdk_window_get_frame_extents(active, &frame);
  g_object_unref(active);
  SIZE size = ScreenSize();
  return !ours && frame.x <= 1 && frame.y <= 1 && frame.x + frame.width >= size.cx - 1 &&
         frame.y + frame.height >= size.cy - 1;
}

void GtkUiBackend::RunMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption) {
  CheckGuiThread(__func__);
  Native* parent = Find(owner);
  GtkWidget* box = gtk_message_dialog_new(parent ? GTK_WINDOW(parent->window) : nullptr, GTK_DIALOG_MODAL,
                                          GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s",
                                          brx::util::WideToUtf8(text).c_str());
  gtk_window_set_title(GTK_WINDOW(box), brx::util::WideToUtf8(caption).c_str());
  gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
  gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
}

bool GtkUiBackend::RunFolderChooser(HWND owner, const std::wstring& title, std::wstring* folder) {
  CheckGuiThread(__func__);
  if (folder == nullptr) return false;
  Native* parent = Find(owner);
  GtkWidget* chooser = gtk_file_chooser_dialog_new(
      brx::util::WideToUtf8(title).c_str(), parent ? GTK_WINDOW(parent->window) : nullptr,
      GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel", GTK_RESPONSE_CANCEL, "_Select", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
  gtk_window_set_position(GTK_WINDOW(chooser), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  // Its owner is disabled meanwhile: a chooser lost behind another window
  // would leave the user with windows that ignore every click.
  gtk_window_set_keep_above(GTK_WINDOW(chooser), TRUE);
  gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(chooser), TRUE);
  gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(chooser), TRUE);
  if (!folder->empty()) {
    const std::string start = brx::util::WideToUtf8(*folder);
    if (g_file_test(start.c_str(), G_FILE_TEST_IS_DIR))
      gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), start.c_str());
  }
  bool chosen = false;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
      *folder = brx::util::Utf8ToWide(name);
      chosen = true;
      g_free(name);
    }
  }
  gtk_widget_destroy(chooser);
  return chosen;
}

UINT GtkUiBackend::RunPopupMenu(const PopupMenu& menu, POINT, HWND) {
  CheckGuiThread(__func__);
  GtkWidget* gmenu = gtk_menu_new();
  MenuRun run;
  for (const MenuItem& item : menu.items()) {
    GtkWidget* w = item.separator ? gtk_separator_menu_item_new()
                                  : gtk_menu_item_new_with_label(brx::util::WideToUtf8(item.text).c_str());
    if (!item.separator) {
      gtk_widget_set_sensitive(w, item.enabled);
      g_object_set_data(G_OBJECT(w), "ombrix-id", GUINT_TO_POINTER(item.id));
      g_signal_connect(w, "activate", G_CALLBACK(+[](GtkMenuItem* mi, gpointer data) {
                         static_cast<MenuRun*>(data)->chosen =
                             GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(mi), "ombrix-id"));
                       }),
                       &run);
    }
    gtk_widget_show(w);
    gtk_menu_shell_append(GTK_MENU_SHELL(gmenu), w);
  }
  run.loop = g_main_loop_new(nullptr, FALSE);
  // The item's activation comes after the menu's deactivation: quit once
  // both have run.
  g_signal_connect(gmenu, "deactivate", G_CALLBACK(+[](GtkMenuShell*, gpointer data) {
                     g_idle_add(
                         [](gpointer d) -> gboolean {
                           g_main_loop_quit(static_cast<MenuRun*>(d)->loop);
                           return G_SOURCE_REMOVE;
                         },
                         data);
                   }),
                   &run);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  // A menu asked for by a click that has already been handed on as a
  // message has no current event: it takes the click's time, or the
  // click's own release would close it at once.
  guint32 time = gtk_get_current_event_time();
  if (time == GDK_CURRENT_TIME) time = menu_request_time_;
  menu_request_time_ = GDK_CURRENT_TIME;
  gtk_menu_popup(GTK_MENU(gmenu), nullptr, nullptr, nullptr, nullptr, 0, time);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (gtk_widget_get_visible(gmenu)) g_main_loop_run(run.loop);
  g_main_loop_unref(run.loop);
  gtk_widget_destroy(gmenu);
  return run.chosen;
}

int GtkUiBackend::RunDropDown(const std::vector<std::wstring>& rows, int selected, const RECT& field, HWND owner) {
  CheckGuiThread(__func__);
  Native* parent = Find(owner);
  return RunGtkDropDown(parent ? GTK_WINDOW(parent->window) : nullptr, rows, selected, field);
}

void* GtkUiBackend::GetNativeContainer(HWND hWnd) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  return native ? native->fixed : nullptr;
}

}  // namespace uilib
