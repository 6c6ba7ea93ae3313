#include <algorithm>

#include "runtime/util/text_convert.h"
#include "uilib/backend/gtk/gtk_ui_backend.h"
#include "uilib/winsys/gui_thread.h"

namespace uilib {

namespace {

// Rows shown at most before the list scrolls, as desktop combos do.
constexpr int kMaxVisibleRows = 12;

struct DropDownRun {
  GMainLoop* loop = nullptr;
  int chosen = -1;
  bool done = false;
};

void Finish(DropDownRun* run, int chosen) {
  if (run->done) return;
  run->done = true;
  run->chosen = chosen;
  g_main_loop_quit(run->loop);
}

void OnRowActivated(GtkListBox*, GtkListBoxRow* row, gpointer data) {
  Finish(static_cast<DropDownRun*>(data), gtk_list_box_row_get_index(row));
}

gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  Finish(static_cast<DropDownRun*>(data), -1);
  return TRUE;
}

// With the grab, a press anywhere comes here; one outside the list closes
// it.
gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  gint x = 0, y = 0;
  gtk_window_get_position(GTK_WINDOW(widget), &x, &y);
  const int w = gtk_widget_get_allocated_width(widget);
  const int h = gtk_widget_get_allocated_height(widget);
  const bool inside =
      event->x_root >= x && event->x_root < x + w && event->y_root >= y && event->y_root < y + h;
  if (inside) return FALSE;
  Finish(static_cast<DropDownRun*>(data), -1);
  return TRUE;
}

gboolean OnGrabBroken(GtkWidget*, GdkEvent*, gpointer data) {
  Finish(static_cast<DropDownRun*>(data), -1);
  return FALSE;
}

GdkRectangle WorkAreaAt(GtkWidget* widget, int x, int y) {
  GdkDisplay* display = gtk_widget_get_display(widget);
  GdkMonitor* monitor = gdk_display_get_monitor_at_point(display, x, y);
  GdkRectangle area{0, 0, 1920, 1080};
  if (monitor != nullptr) gdk_monitor_get_workarea(monitor, &area);
  return area;
}

}  // namespace

// The rows in a borderless list right under the field (above it when the
// screen has more room there), as wide as the field and as high as its
// rows, at most kMaxVisibleRows and never past the screen. The field's
// own click opened it; a click on a row picks it, Escape or a click
// anywhere else closes it. The pointer and the keyboard are grabbed
// meanwhile, so a click in another window only closes the list.
int RunGtkDropDown(GtkWindow* parent, const std::vector<std::wstring>& rows, int selected,
                   const RECT& field) {
  if (rows.empty()) return -1;
  DropDownRun run;
  GtkWidget* popup = gtk_window_new(GTK_WINDOW_POPUP);
  gtk_window_set_type_hint(GTK_WINDOW(popup), GDK_WINDOW_TYPE_HINT_COMBO);
  if (parent != nullptr) {
    gtk_window_set_transient_for(GTK_WINDOW(popup), parent);
    gtk_window_set_screen(GTK_WINDOW(popup), gtk_window_get_screen(parent));
  }
  gtk_widget_set_name(popup, "ombrix-drop-down");
  GtkWidget* frame = gtk_frame_new(nullptr);
  gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_OUT);
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  GtkWidget* list = gtk_list_box_new();
  gtk_list_box_set_selection_mode(GTK_LIST_BOX(list), GTK_SELECTION_BROWSE);
  gtk_list_box_set_activate_on_single_click(GTK_LIST_BOX(list), TRUE);
  for (const std::wstring& text : rows) {
    GtkWidget* label = gtk_label_new(brx::util::WideToUtf8(text).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_widget_set_margin_start(label, 6);
    gtk_widget_set_margin_end(label, 6);
    gtk_widget_set_margin_top(label, 3);
    gtk_widget_set_margin_bottom(label, 3);
    gtk_list_box_insert(GTK_LIST_BOX(list), label, -1);
  }
  // The focused row (the chosen one, or the one the arrow keys reach)
  // is scrolled into view.
  gtk_container_set_focus_vadjustment(
      GTK_CONTAINER(list), gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled)));
  gtk_container_add(GTK_CONTAINER(scrolled), list);
  gtk_container_add(GTK_CONTAINER(frame), scrolled);
  gtk_container_add(GTK_CONTAINER(popup), frame);
  gtk_widget_show_all(frame);

  // One row's height sets the list's; the field's width its width.
  GtkListBoxRow* first = gtk_list_box_get_row_at_index(GTK_LIST_BOX(list), 0);
  gint row_height = 0;
  gtk_widget_get_preferred_height(GTK_WIDGET(first), nullptr, &row_height);
  row_height = std::max(row_height, 1);
  const int wanted = row_height * std::min<int>(static_cast<int>(rows.size()), kMaxVisibleRows) + 2;
  const GdkRectangle area = WorkAreaAt(popup, field.left, field.bottom);
  const int below = area.y + area.height - field.bottom;
  const int above = field.top - area.y;
  const bool up = wanted > below && above > below;
  const int height = std::max(row_height + 2, std::min(wanted, up ? above : below));
  const int width = std::max(static_cast<int>(field.right - field.left), 40);
  gtk_widget_set_size_request(scrolled, width - 2, height - 2);
  const int x = std::clamp(static_cast<int>(field.left), area.x,
                           std::max(area.x, area.x + area.width - width));
  gtk_window_move(GTK_WINDOW(popup), x, up ? field.top - height : field.bottom);

  if (selected >= 0 && selected < static_cast<int>(rows.size())) {
    GtkListBoxRow* row = gtk_list_box_get_row_at_index(GTK_LIST_BOX(list), selected);
    gtk_list_box_select_row(GTK_LIST_BOX(list), row);
    gtk_widget_grab_focus(GTK_WIDGET(row));
  } else {
    gtk_widget_grab_focus(GTK_WIDGET(first));
  }

  run.loop = g_main_loop_new(nullptr, FALSE);
  g_signal_connect(list, "row-activated", G_CALLBACK(OnRowActivated), &run);
  g_signal_connect(popup, "key-press-event", G_CALLBACK(OnKeyPress), &run);
  g_signal_connect(popup, "button-press-event", G_CALLBACK(OnButtonPress), &run);
  g_signal_connect(popup, "grab-broken-event", G_CALLBACK(OnGrabBroken), &run);
  gtk_widget_show(popup);
  gtk_grab_add(popup);
  GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(popup));
  const GdkGrabStatus grabbed =
      gdk_seat_grab(seat, gtk_widget_get_window(popup), GDK_SEAT_CAPABILITY_ALL, TRUE, nullptr,
                    nullptr, nullptr, nullptr);
  if (grabbed == GDK_GRAB_SUCCESS) g_main_loop_run(run.loop);
  gdk_seat_ungrab(seat);
  gtk_grab_remove(popup);
  g_main_loop_unref(run.loop);
  gtk_widget_destroy(popup);
  return run.chosen;
}

int GtkUiBackend::RunDropDown(const std::vector<std::wstring>& rows, int selected,
                              const RECT& field, HWND owner) {
  CheckGuiThread(__func__);
  Native* parent = Find(owner);
  return RunGtkDropDown(parent ? GTK_WINDOW(parent->window) : nullptr, rows, selected, field);
}

}  // namespace uilib
