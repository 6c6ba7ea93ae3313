// What the display tests may ask of the toolkit's side of the windows and
// do as the display would. GUI thread, like the backend itself.
#include <string>
#include <vector>

#include "runtime/util/text_convert.h"
#include "uilib/testing/gtk_testing.h"
#include "uilib/backend/gtk/gtk_ui_backend.h"

namespace uilib {

namespace gtk_testing {

void Iterate(int ms) {
  gint64 end = g_get_monotonic_time() + static_cast<gint64>(ms) * 1000;
  do {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    if (g_get_monotonic_time() >= end) break;
    g_usleep(2000);
  } while (true);
}

bool IsMapped(HWND hwnd) {
  GtkUiBackend* b = GtkUiBackend::Current();
  auto* n = b ? b->Find(hwnd) : nullptr;
  return n && n->mapped && gtk_widget_get_mapped(n->window);
}

bool NativeOrigin(HWND hwnd, POINT* at) {
  GtkUiBackend* b = GtkUiBackend::Current();
  auto* n = b ? b->Find(hwnd) : nullptr;
  GdkWindow* own = n ? gtk_widget_get_window(n->window) : nullptr;
  if (own == nullptr) return false;
  gint x = 0, y = 0;
  gdk_window_get_origin(own, &x, &y);
  *at = POINT{x, y};
  return true;
}

bool HasShape(HWND hwnd) {
  GtkUiBackend* b = GtkUiBackend::Current();
  auto* n = b ? b->Find(hwnd) : nullptr;
  return n && n->region.has_value();
}

bool ShapeContains(HWND hwnd, int x, int y) {
  GtkUiBackend* b = GtkUiBackend::Current();
  auto* n = b ? b->Find(hwnd) : nullptr;
  if (!n || !n->region) return false;
  return n->region->Contains(x, y);
}

long ColorKey(HWND hwnd) {
  GtkUiBackend* b = GtkUiBackend::Current();
  auto* n = b ? b->Find(hwnd) : nullptr;
  if (!n) return -1;
  gint v = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(n->window), "ombrix-color-key"));
  return v == 0 ? -1 : v - 1;
}

bool IsToolWindow(HWND hwnd) {
  GtkUiBackend* b = GtkUiBackend::Current();
  auto* n = b ? b->Find(hwnd) : nullptr;
  return n && gtk_window_get_skip_taskbar_hint(GTK_WINDOW(n->window));
}

bool IsTransientFor(HWND owned, HWND owner) {
  GtkUiBackend* b = GtkUiBackend::Current();
  auto* a = b ? b->Find(owned) : nullptr;
  auto* o = b ? b->Find(owner) : nullptr;
  return a && o && gtk_window_get_transient_for(GTK_WINDOW(a->window)) == GTK_WINDOW(o->window);
}

bool SendKey(HWND hwnd, const std::string& key) {
  GtkUiBackend* b = GtkUiBackend::Current();
  auto* n = b ? b->Find(hwnd) : nullptr;
  if (!n || !gtk_widget_get_realized(n->window)) return false;
  guint keyval = gdk_keyval_from_name(key.c_str());
  if (keyval == GDK_KEY_VoidSymbol || keyval == 0) {
    std::wstring w = brx::util::Utf8ToWide(key);
    if (w.size() != 1) return false;
    keyval = gdk_unicode_to_keyval(static_cast<guint32>(w[0]));
  }
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(n->window)));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = keyval;
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()),
                                          keyval, &keys, &count) &&
        count > 0) {
      event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
      event->key.group = static_cast<guint8>(keys[0].group);
      g_free(keys);
    }
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
    gtk_main_do_event(event);
    gdk_event_free(event);
  }
  return true;
}

void RunFromToolkit(int delay_ms, std::function<void()> fn) {
  auto* held = new std::function<void()>(std::move(fn));
  g_timeout_add_full(
      G_PRIORITY_DEFAULT, static_cast<guint>(delay_ms),
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      held, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

namespace {

std::vector<GtkWidget*> FolderChoosers() {
  std::vector<GtkWidget*> out;
  GList* all = gtk_window_list_toplevels();
  for (GList* it = all; it != nullptr; it = it->next) {
    GtkWidget* w = GTK_WIDGET(it->data);
    if (GTK_IS_FILE_CHOOSER_DIALOG(w) && gtk_widget_get_visible(w)) out.push_back(w);
  }
  g_list_free(all);
  return out;
}

// The visible toplevel the backend named `name` (its own popups are
// named so), or null.
GtkWidget* ShownToplevel(const char* name) {
  GtkWidget* found = nullptr;
  GList* all = gtk_window_list_toplevels();
  for (GList* it = all; it != nullptr && found == nullptr; it = it->next) {
    GtkWidget* w = GTK_WIDGET(it->data);
    if (gtk_widget_get_visible(w) && g_strcmp0(gtk_widget_get_name(w), name) == 0) found = w;
  }
  g_list_free(all);
  return found;
}

}  // namespace

// The tip is a popup window holding a frame that holds the label.
bool ToolTipShown(std::wstring* text) {
  GtkWidget* tip = ShownToplevel("ombrix-tool-tip");
  if (tip == nullptr) return false;
  GtkWidget* frame = gtk_bin_get_child(GTK_BIN(tip));
  GtkWidget* label = frame != nullptr ? gtk_bin_get_child(GTK_BIN(frame)) : nullptr;
  if (text != nullptr && label != nullptr && GTK_IS_LABEL(label))
    *text = brx::util::Utf8ToWide(gtk_label_get_text(GTK_LABEL(label)));
  return true;
}

bool FolderChooserShown(HWND owner, std::wstring* folder, bool* over_owner) {
  std::vector<GtkWidget*> shown = FolderChoosers();
  if (shown.empty()) return false;
  GtkWidget* chooser = shown.front();
  if (folder != nullptr) {
    gchar* current = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
    *folder = current ? brx::util::Utf8ToWide(current) : std::wstring();
    g_free(current);
  }
  if (over_owner != nullptr) {
    GtkUiBackend* b = GtkUiBackend::Current();
    auto* o = b ? b->Find(owner) : nullptr;
    *over_owner = o && gtk_window_get_transient_for(GTK_WINDOW(chooser)) == GTK_WINDOW(o->window);
  }
  return true;
}

int CloseFolderChoosers() {
  std::vector<GtkWidget*> shown = FolderChoosers();
  for (GtkWidget* w : shown) gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_DELETE_EVENT);
  return static_cast<int>(shown.size());
}

bool SetPreedit(HWND hwnd, const std::string& preedit) {
  GtkUiBackend* b = GtkUiBackend::Current();
  auto* n = b ? b->Find(hwnd) : nullptr;
  if (!n || !n->text_field) return false;
  g_signal_emit_by_name(n->text_field, "preedit-changed", preedit.c_str());
  return true;
}

bool HostedText(HWND hwnd, std::wstring* text) {
  GtkUiBackend* b = GtkUiBackend::Current();
  auto* n = b ? b->Find(hwnd) : nullptr;
  if (!n || !n->text_field) return false;
  if (GTK_IS_ENTRY(n->text_field)) {
    *text = brx::util::Utf8ToWide(gtk_entry_get_text(GTK_ENTRY(n->text_field)));
    return true;
  }
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(n->text_field));
  GtkTextIter s, e;
  gtk_text_buffer_get_bounds(buffer, &s, &e);
  gchar* t = gtk_text_buffer_get_text(buffer, &s, &e, FALSE);
  *text = brx::util::Utf8ToWide(t);
  g_free(t);
  return true;
}

bool DropDownShown(RECT* screen_rect) {
  GtkWidget* w = ShownToplevel("ombrix-drop-down");
  if (w == nullptr) return false;
  if (screen_rect != nullptr) {
    gint x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(w), &x, &y);
    *screen_rect =
        RECT{x, y, x + gtk_widget_get_allocated_width(w), y + gtk_widget_get_allocated_height(w)};
  }
  return true;
}

}  // namespace gtk_testing

}  // namespace uilib
