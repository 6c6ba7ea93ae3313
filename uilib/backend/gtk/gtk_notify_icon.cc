#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "uilib/backend/gtk/gtk_ui_backend.h"
#include "uilib/winsys/gui_thread.h"
#include "uilib/winsys/notify_icon.h"
#include "uilib/winsys/win_api.h"

namespace uilib {

namespace {

G_GNUC_BEGIN_IGNORE_DEPRECATIONS

// The notification-area icon through GtkStatusIcon. Hovering, double
// clicks and the context-menu request come back as the callback message
// with the mouse message in lParam, as the program expects.
class GtkNotifyIcon : public NotifyIcon {
 public:
  ~GtkNotifyIcon() override { Delete(); }

  bool Add(HWND callback_window, UINT callback_message, int icon_id,
           const std::wstring& tip) override {
    CheckGuiThread(__func__);
    if (icon_) Delete();
    hwnd_ = callback_window;
    message_ = callback_message;
    icon_ = gtk_status_icon_new();
    g_signal_connect(icon_, "button-press-event", G_CALLBACK(OnPress), this);
    g_signal_connect(icon_, "popup-menu", G_CALLBACK(OnPopup), this);
    g_signal_connect(icon_, "query-tooltip", G_CALLBACK(OnQueryTooltip), this);
    gtk_status_icon_set_has_tooltip(icon_, TRUE);
    Modify(icon_id, tip);
    gtk_status_icon_set_visible(icon_, TRUE);
    return true;
  }

  bool Modify(int icon_id, const std::wstring& tip) override {
    CheckGuiThread(__func__);
    if (!icon_) return false;
    icon_id_ = icon_id;
    tip_ = tip;
    std::string path = GetIconResourcePath(icon_id);
    if (!path.empty())
      gtk_status_icon_set_from_file(icon_, path.c_str());
    else
      gtk_status_icon_set_from_icon_name(icon_, "applications-games");
    gtk_status_icon_set_tooltip_text(icon_, brx::util::WideToUtf8(tip).c_str());
    return true;
  }

  void Delete() override {
    CheckGuiThread(__func__);
    if (!icon_) return;
    gtk_status_icon_set_visible(icon_, FALSE);
    g_object_unref(icon_);
    icon_ = nullptr;
  }

  bool IsAdded() const override { return icon_ != nullptr; }
  int GetIconId() const override { return icon_id_; }
  std::wstring GetTip() const override { return tip_; }

 private:
  static gboolean OnPress(GtkStatusIcon*, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<GtkNotifyIcon*>(data);
    if (event->type == GDK_2BUTTON_PRESS && event->button == 1)
      PostMessage(self->hwnd_, self->message_, 0, WM_LBUTTONDBLCLK);
    return FALSE;
  }
  static void OnPopup(GtkStatusIcon*, guint, guint activate_time, gpointer data) {
    auto* self = static_cast<GtkNotifyIcon*>(data);
    if (GtkUiBackend* backend = GtkUiBackend::Current())
      backend->NoteMenuRequestTime(activate_time);
    PostMessage(self->hwnd_, self->message_, 0, WM_RBUTTONUP);
  }
  static gboolean OnQueryTooltip(GtkStatusIcon*, gint, gint, gboolean, GtkTooltip*, gpointer data) {
    auto* self = static_cast<GtkNotifyIcon*>(data);
    PostMessage(self->hwnd_, self->message_, 0, WM_MOUSEMOVE);
    return FALSE;
  }

  GtkStatusIcon* icon_ = nullptr;
  HWND hwnd_ = 0;
  UINT message_ = 0;
  int icon_id_ = 0;
  std::wstring tip_;
};

G_GNUC_END_IGNORE_DEPRECATIONS

}  // namespace

std::unique_ptr<NotifyIcon> CreateGtkNotifyIcon() { return std::make_unique<GtkNotifyIcon>(); }

}  // namespace uilib
