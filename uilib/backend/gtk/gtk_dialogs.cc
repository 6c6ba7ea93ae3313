// The modal boxes: a message with one OK button and a folder chooser.
#include "runtime/util/text_convert.h"
#include "uilib/backend/gtk/gtk_ui_backend.h"
#include "uilib/winsys/gui_thread.h"

namespace uilib {

void GtkUiBackend::RunMessageBox(HWND owner, const std::wstring& text,
                                 const std::wstring& caption) {
  CheckGuiThread(__func__);
  Native* parent = Find(owner);
  GtkWidget* box = gtk_message_dialog_new(parent ? GTK_WINDOW(parent->window) : nullptr,
                                          GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s",
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
      GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel", GTK_RESPONSE_CANCEL, "_Select",
      GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
  gtk_window_set_position(GTK_WINDOW(chooser),
                          parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
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

}  // namespace uilib
