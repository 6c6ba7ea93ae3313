// The yardstick of login_window_start: a plain GTK window of the login
// window's size with one line of text, nothing else. Runs until a signal
// ends it.
//
//   plain_gtk_window [width height]
#include <gtk/gtk.h>

#include <cstdlib>

int main(int argc, char** argv) {
  int width = argc > 2 ? std::atoi(argv[1]) : 380;
  int height = argc > 2 ? std::atoi(argv[2]) : 300;
  g_set_prgname("PlainGtkWindow");
  gtk_init(nullptr, nullptr);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), width, height);
  gtk_window_set_title(GTK_WINDOW(window), "plain");
  gtk_container_add(GTK_CONTAINER(window), gtk_label_new("Ombrix 翎岚"));
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
