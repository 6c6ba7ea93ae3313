#include <algorithm>

#include "runtime/util/text_convert.h"
#include "uilib/backend/gtk/gtk_ui_backend.h"
#include "uilib/winsys/win_api.h"

namespace uilib {

namespace {

// A GtkEntry (one line) or GtkTextView (several) over the edit control.
// Changes the program makes are not reported back as user changes.
class GtkTextInput : public TextInputHost {
 public:
  GtkTextInput(GtkUiBackend::Native* native, TextInputListener* listener)
      : native_(native), listener_(listener) {
    MakeField(false);
  }

  ~GtkTextInput() override {
    if (!native_) return;  // the window and the field went first
    if (native_->text_field == field_) {
      native_->text_field = nullptr;
      native_->text_listener = nullptr;
      native_->text_field_gone = nullptr;
      SetComposing(false);
    }
    gtk_widget_destroy(field_);
    gtk_widget_grab_focus(native_->area);
  }

  void SetBounds(const RECT& rc) override {
    bounds_ = rc;
    if (!native_) return;
    gtk_fixed_move(GTK_FIXED(native_->fixed), field_, rc.left, rc.top);
    gtk_widget_set_size_request(field_, std::max(1, rc.Width()), std::max(1, rc.Height()));
  }

  void SetText(const std::wstring& text) override {
    if (!native_) return;
    std::string utf8 = brx::util::WideToUtf8(text);
    quiet_ = true;
    if (entry()) {
      gtk_entry_set_text(entry(), utf8.c_str());
    } else {
      gtk_text_buffer_set_text(buffer(), utf8.c_str(), -1);
    }
    quiet_ = false;
  }

  std::wstring GetText() const override {
    if (!native_) return L"";
    if (entry()) return brx::util::Utf8ToWide(gtk_entry_get_text(entry()));
    GtkTextIter s, e;
    gtk_text_buffer_get_bounds(buffer(), &s, &e);
    gchar* t = gtk_text_buffer_get_text(buffer(), &s, &e, FALSE);
    std::wstring out = brx::util::Utf8ToWide(t);
    g_free(t);
    return out;
  }

  void SetSelection(int start, int end) override {
    if (!native_) return;
    if (entry()) {
      gtk_editable_select_region(GTK_EDITABLE(entry()), start, end);
      return;
    }
    GtkTextIter s, e;
    gtk_text_buffer_get_iter_at_offset(buffer(), &s, start);
    gtk_text_buffer_get_iter_at_offset(buffer(), &e, end);
    gtk_text_buffer_select_range(buffer(), &e, &s);
  }

  void GetSelection(int* start, int* end) const override {
    *start = *end = 0;
    if (!native_) return;
    if (entry()) {
      gint s = 0, e = 0;
      if (!gtk_editable_get_selection_bounds(GTK_EDITABLE(entry()), &s, &e))
        s = e = gtk_editable_get_position(GTK_EDITABLE(entry()));
      *start = s;
      *end = e;
      return;
    }
    GtkTextIter s, e;
    gtk_text_buffer_get_selection_bounds(buffer(), &s, &e);
    *start = gtk_text_iter_get_offset(&s);
    *end = gtk_text_iter_get_offset(&e);
  }

  void SetMaxLength(int chars) override {
    max_ = chars;
    if (native_ && entry()) gtk_entry_set_max_length(entry(), chars);
  }

  void SetPassword(bool password) override {
    if (native_ && entry()) gtk_entry_set_visibility(entry(), !password);
  }

  void SetReadOnly(bool read_only) override {
    if (!native_) return;
    if (entry())
      gtk_editable_set_editable(GTK_EDITABLE(entry()), !read_only);
    else
      gtk_text_view_set_editable(GTK_TEXT_VIEW(field_), !read_only);
  }

  void SetMultiLine(bool multi_line) override {
    if (!native_) return;
    if (multi_line == !entry()) return;
    std::wstring text = GetText();
    SetComposing(false);
    gtk_widget_destroy(field_);
    MakeField(multi_line);
    SetBounds(bounds_);
    SetText(text);
  }

  void SetFont(const std::wstring& family, int pixel_size) override {
    if (!native_) return;
    std::string css = "* { font-family: \"" + brx::util::WideToUtf8(family) +
                      "\"; font-size: " + std::to_string(pixel_size) +
                      "px; border: none; box-shadow: none; padding: 0; min-height: 0; }";
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(field_),
                                   GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
  }

  void SetColors(uint32_t, uint32_t) override {}

  void Focus() override {
    if (native_) gtk_widget_grab_focus(field_);
  }

 private:
  GtkEntry* entry() const { return field_ && GTK_IS_ENTRY(field_) ? GTK_ENTRY(field_) : nullptr; }
  GtkTextBuffer* buffer() const { return gtk_text_view_get_buffer(GTK_TEXT_VIEW(field_)); }

  void MakeField(bool multi_line) {
    if (multi_line) {
      field_ = gtk_text_view_new();
      gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(field_), GTK_WRAP_WORD_CHAR);
      g_signal_connect(buffer(), "changed", G_CALLBACK(+[](GtkTextBuffer*, gpointer self) {
                         static_cast<GtkTextInput*>(self)->Changed();
                       }),
                       this);
      g_signal_connect(field_, "preedit-changed", G_CALLBACK(OnPreedit), this);
    } else {
      field_ = gtk_entry_new();
      gtk_entry_set_has_frame(GTK_ENTRY(field_), FALSE);
      if (max_ > 0) gtk_entry_set_max_length(GTK_ENTRY(field_), max_);
      g_signal_connect(field_, "changed", G_CALLBACK(+[](GtkEditable*, gpointer self) {
                         static_cast<GtkTextInput*>(self)->Changed();
                       }),
                       this);
      g_signal_connect(field_, "preedit-changed", G_CALLBACK(OnPreedit), this);
    }
    gtk_fixed_put(GTK_FIXED(native_->fixed), field_, bounds_.left, bounds_.top);
    gtk_widget_show(field_);
    native_->text_field = field_;
    native_->text_listener = listener_;
    native_->text_field_gone = [this] {
      native_ = nullptr;
      field_ = nullptr;
    };
  }

  void Changed() {
    if (!quiet_ && listener_) listener_->OnHostTextChanged(GetText());
  }

  // The input method's text being composed: the window hears when a
  // composition starts and ends, as it would from the system.
  static void OnPreedit(GtkWidget*, const gchar* preedit, gpointer self) {
    static_cast<GtkTextInput*>(self)->SetComposing(preedit != nullptr && *preedit != '\0');
  }

  void SetComposing(bool composing) {
    if (!native_ || native_->composing == composing) return;
    native_->composing = composing;
    PostMessage(native_->hwnd, composing ? WM_IME_STARTCOMPOSITION : WM_IME_ENDCOMPOSITION, 0, 0);
  }

  GtkUiBackend::Native* native_;
  TextInputListener* listener_;
  GtkWidget* field_ = nullptr;
  RECT bounds_{};
  int max_ = 0;
  bool quiet_ = false;
};

}  // namespace

std::unique_ptr<TextInputHost> CreateGtkTextInput(GtkUiBackend::Native* native,
                                                  TextInputListener* listener) {
  return std::make_unique<GtkTextInput>(native, listener);
}

}  // namespace uilib
