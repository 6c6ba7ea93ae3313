// What the display says about the screen, the pointer and the active
// window.
#include "uilib/backend/gtk/gtk_ui_backend.h"
#include "uilib/winsys/gui_thread.h"

namespace uilib {

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
    if (own != nullptr && gdk_window_get_toplevel(own) == gdk_window_get_toplevel(active))
      ours = true;
  }
  GdkRectangle frame{};
  gdk_window_get_frame_extents(active, &frame);
  g_object_unref(active);
  SIZE size = ScreenSize();
  return !ours && frame.x <= 1 && frame.y <= 1 && frame.x + frame.width >= size.cx - 1 &&
         frame.y + frame.height >= size.cy - 1;
}

}  // namespace uilib
