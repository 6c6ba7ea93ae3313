// What the screen shows, for the display tests: the pixels are read back
// from the root window, so a window covered by another reads as the other.
#include <gtk/gtk.h>

#include "uilib/testing/gtk_testing.h"
#include "uilib/backend/gtk/gtk_ui_backend.h"

namespace uilib::gtk_testing {

bool ScreenColorAt(HWND hwnd, int x, int y, uint32_t* rgb) {
  GtkUiBackend* backend = GtkUiBackend::Current();
  GtkUiBackend::Native* native = backend != nullptr ? backend->Find(hwnd) : nullptr;
  if (native == nullptr || !gtk_widget_get_mapped(native->window)) return false;
  gint ox = 0, oy = 0;
  gdk_window_get_origin(gtk_widget_get_window(native->area), &ox, &oy);
  GdkPixbuf* pixel =
      gdk_pixbuf_get_from_window(gdk_get_default_root_window(), ox + x, oy + y, 1, 1);
  if (pixel == nullptr) return false;
  const guchar* p = gdk_pixbuf_get_pixels(pixel);
  *rgb = (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
  g_object_unref(pixel);
  return true;
}

}  // namespace uilib::gtk_testing
