#include "uilib/backend/gtk/gtk_ui_backend.h"

#include <glib-unix.h>
#include <poll.h>

#include <algorithm>
#include <cstdlib>

#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "uilib/backend/gtk/gtk_backend.h"
#include "uilib/backend/gtk/webkit_browser_host.h"
#include "uilib/winsys/gui_thread.h"
#include "uilib/winsys/notify_icon.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_table.h"

namespace uilib {

namespace {

GtkUiBackend* g_current = nullptr;

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
    timer = g_timeout_add(
        static_cast<guint>(timeout_ms),
        [](gpointer data) -> gboolean {
          auto* st = static_cast<WaitState*>(data);
          st->done = st->timer_fired = true;
          return G_SOURCE_REMOVE;
        },
        &state);
  }
  while (!state.done) g_main_context_iteration(nullptr, TRUE);
  // Whichever source did not fire still points at `state`: remove it.
  if (!state.fd_fired) g_source_remove(fd_source);
  if (timer && !state.timer_fired) g_source_remove(timer);
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
  const uint32_t key =
      ((native->key & 0xFF) << 16) | (native->key & 0xFF00) | ((native->key >> 16) & 0xFF);
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

void OnMap(GtkWidget*, gpointer data) { static_cast<GtkUiBackend::Native*>(data)->mapped = true; }
void OnUnmap(GtkWidget*, gpointer data) {
  static_cast<GtkUiBackend::Native*>(data)->mapped = false;
}

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
    gtk_window_set_wmclass(GTK_WINDOW(window), brx::util::WideToUtf8(info.class_name).c_str(),
                           "Ombrix");
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
  native->fixed = gtk_fixed_new();
  native->area = gtk_drawing_area_new();
  gtk_widget_set_can_focus(native->area, TRUE);
  gtk_widget_add_events(native->area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                          GDK_BUTTON_RELEASE_MASK | GDK_LEAVE_NOTIFY_MASK |
                                          GDK_ENTER_NOTIFY_MASK | GDK_SCROLL_MASK |
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
  ConnectGtkInput(raw);
  g_signal_connect(window, "map", G_CALLBACK(OnMap), raw);
  g_signal_connect(window, "unmap", G_CALLBACK(OnUnmap), raw);
  gtk_widget_show(native->fixed);
  gtk_widget_show(native->area);
  windows_[hWnd] = std::move(native);
  if (info.owner) {
    if (Native* owner = Find(info.owner))
      gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(owner->window));
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
  if (minimized)
    gtk_window_iconify(GTK_WINDOW(native->window));
  else
    gtk_window_deiconify(GTK_WINDOW(native->window));
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
  if (Native* native = Find(hWnd))
    gtk_window_set_title(GTK_WINDOW(native->window), brx::util::WideToUtf8(title).c_str());
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
  if (Native* native = Find(hWnd))
    gtk_widget_queue_draw_area(native->area, rc.left, rc.top, rc.Width(), rc.Height());
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
  if (native && gtk_widget_get_visible(native->window))
    gtk_window_present(GTK_WINDOW(native->window));
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
    const char* name = shape == CursorShape::kHand
                           ? "pointer"
                           : (shape == CursorShape::kIBeam ? "text" : "default");
    cursor = gdk_cursor_new_from_name(gdk_window_get_display(w), name);
  }
  gdk_window_set_cursor(w, cursor);
}

std::unique_ptr<TextInputHost> GtkUiBackend::CreateTextInput(HWND hWnd,
                                                             TextInputListener* listener) {
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

std::unique_ptr<BrowserHost> GtkUiBackend::CreateBrowserHost(HWND hWnd, const RECT& client_rect) {
  CheckGuiThread(__func__);
  Native* native = Find(hWnd);
  if (native == nullptr) return nullptr;
  return CreateWebKitBrowserHost(native->fixed, client_rect);
}

}  // namespace uilib
