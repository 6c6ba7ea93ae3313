#include <algorithm>

#include "runtime/util/text_convert.h"
#include "uilib/backend/gtk/gtk_ui_backend.h"
#include "uilib/winsys/gui_thread.h"

namespace uilib {

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
  const int x = std::max(static_cast<int>(area.left), std::min(static_cast<int>(cursor.x) + 4,
                                                               static_cast<int>(area.right) - w));
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

}  // namespace uilib
