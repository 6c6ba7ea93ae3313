#include "runtime/util/text_convert.h"
#include "uilib/backend/gtk/gtk_ui_backend.h"
#include "uilib/winsys/gui_thread.h"
#include "uilib/winsys/popup_menu.h"

namespace uilib {

namespace {

struct MenuRun {
  GMainLoop* loop = nullptr;
  UINT chosen = 0;
};

}  // namespace

UINT GtkUiBackend::RunPopupMenu(const PopupMenu& menu, POINT, HWND) {
  CheckGuiThread(__func__);
  GtkWidget* gmenu = gtk_menu_new();
  MenuRun run;
  for (const MenuItem& item : menu.items()) {
    GtkWidget* w = item.separator
                       ? gtk_separator_menu_item_new()
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

}  // namespace uilib
