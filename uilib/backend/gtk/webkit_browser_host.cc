#include "uilib/backend/gtk/webkit_browser_host.h"

#include <gtk/gtk.h>
#include <algorithm>
#include <webkit2/webkit2.h>

#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"

namespace uilib {
namespace {

constexpr const char* kChannel = "obExternal";

// A JavaScript string literal of `text` (JSON rules, with the two line
// separators escaped so the literal survives any script parser).
std::string JsString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string JsArray(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ",";
    out += JsString(items[i]);
  }
  return out + "]";
}

std::string NewToken() {
  std::random_device rd;
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 32; ++i) token += kHex[rd() & 15];
  return token;
}

// The address as a user-content pattern: the host part of such patterns
// has no port (the exact prefix, port included, is checked again when a
// call arrives).
std::string PatternOf(const std::string& prefix) {
  size_t scheme_end = prefix.find("://");
  if (scheme_end == std::string::npos) return prefix + "*";
  size_t host_start = scheme_end + 3;
  size_t path_start = prefix.find('/', host_start);
  std::string host = prefix.substr(host_start, path_start == std::string::npos ? std::string::npos
                                                                                : path_start - host_start);
  size_t colon = host.rfind(':');
  if (colon != std::string::npos && host.find(']') == std::string::npos) host.resize(colon);
  std::string path = path_start == std::string::npos ? "/" : prefix.substr(path_start);
  return prefix.substr(0, host_start) + host + path + "*";
}

// The program's pages are small local documents: the engine keeps no page
// cache and small memory caches for them, draws without a GL context, and
// runs every view of the program in one page process. Each view keeps its
// own script channel (user content) all the same.
std::set<GtkWidget*>& LiveViews() {
  static auto* views = new std::set<GtkWidget*>;
  return *views;
}

GtkWidget* NewView(WebKitUserContentManager* manager) {
  static bool prepared = false;
  if (!prepared) {
    prepared = true;
    webkit_web_context_set_cache_model(webkit_web_context_get_default(), WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  }
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  GtkWidget* related = LiveViews().empty() ? nullptr : *LiveViews().begin();
  GtkWidget* view =
      related != nullptr
          ? GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", manager, "settings", settings,
                                    "related-view", related, nullptr))
          : GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", manager, "settings", settings,
                                    nullptr));
  g_object_unref(settings);
  LiveViews().insert(view);
  return view;
}

class WebKitBrowserHost : public BrowserHost {
 public:
  WebKitBrowserHost(GtkWidget* container, const RECT& rect) : token_(NewToken()) {
    manager_ = webkit_user_content_manager_new();
    view_ = NewView(manager_);
    g_object_ref_sink(view_);
    webkit_user_content_manager_register_script_message_handler(manager_, kChannel);
    g_signal_connect(manager_, "script-message-received::obExternal", G_CALLBACK(&OnScriptMessage), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(&OnLoadChanged), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(&OnContextMenu), this);
    cancellable_ = g_cancellable_new();
    gtk_fixed_put(GTK_FIXED(container), view_, rect.left, rect.top);
    rect_ = rect;
    ApplySize();
    gtk_widget_show(view_);
  }

  ~WebKitBrowserHost() override {
    Close();
    g_object_unref(cancellable_);
  }

  void Navigate(const std::wstring& url) override {
    if (closed_) return;
    complete_ = false;
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view_), brx::util::WideToUtf8(url).c_str());
  }

  std::wstring LocationName() const override {
    if (closed_) return L"";
    const char* title = webkit_web_view_get_title(WEBKIT_WEB_VIEW(view_));
    if (title != nullptr && *title != '\0') return brx::util::Utf8ToWide(title);
    std::string url = Uri();
    size_t slash = url.find_last_of('/');
    return brx::util::Utf8ToWide(slash == std::string::npos ? url : url.substr(slash + 1));
  }

  std::wstring CurrentUrl() const override { return brx::util::Utf8ToWide(Uri()); }
  bool IsLoadComplete() const override { return !closed_ && complete_; }

  bool CallFunction(const std::string& name, const std::vector<std::wstring>& args,
                    std::function<void(bool found)> done) override {
    if (closed_) return false;
    // The texts travel as one JSON value that the page parses: nothing of
    // them is ever read as script.
    std::vector<std::string> texts;
    for (const std::wstring& arg : args) texts.push_back(brx::util::WideToUtf8(arg));
    GVariantBuilder dict;
    g_variant_builder_init(&dict, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&dict, "{sv}", "name", g_variant_new_string(name.c_str()));
    g_variant_builder_add(&dict, "{sv}", "argsJson", g_variant_new_string(JsArray(texts).c_str()));
    static const char kBody[] =
        "var args = JSON.parse(argsJson);"
        "var f = window[name];"
        "if (typeof f !== 'function') return false;"
        "f.apply(window, args);"
        "return true;";
    auto* pending = new std::function<void(bool)>(std::move(done));
    webkit_web_view_call_async_javascript_function(WEBKIT_WEB_VIEW(view_), kBody, -1, g_variant_builder_end(&dict),
                                                   nullptr, nullptr, cancellable_, &OnCallDone, pending);
    return true;
  }

  void SetExternal(ExternalHandler* handler, std::vector<std::string> allowed_prefixes) override {
    if (closed_) return;
    handler_ = handler;
    allowed_ = std::move(allowed_prefixes);
    webkit_user_content_manager_remove_all_scripts(manager_);
    if (handler_ == nullptr || allowed_.empty()) return;
    std::string source =
        "(function(){"
        "var token=" + JsString(token_) + ";"
        "var names=" + JsArray(handler_->ExternalMethodNames()) + ";"
        "var allowed=" + JsArray(allowed_) + ";"
        "if (window.top !== window) return;"
        "var href=String(location.href), ok=false;"
        "for (var i=0;i<allowed.length;i++) if (href.lastIndexOf(allowed[i],0)===0) ok=true;"
        "if (!ok) return;"
        "var h=window.webkit.messageHandlers." + std::string(kChannel) + ";"
        "var post=h.postMessage.bind(h);"
        "var ext={};"
        "names.forEach(function(n){ext[n]=function(){"
        "var a=[];for(var j=0;j<arguments.length;j++)a.push(String(arguments[j]));"
        "post({t:token,n:n,a:a});};});"
        "Object.freeze(ext);"
        "Object.defineProperty(window,'external',{value:ext,writable:false,configurable:false});"
        "})();";
    std::vector<std::string> patterns;
    for (const std::string& prefix : allowed_) patterns.push_back(PatternOf(prefix));
    std::vector<const gchar*> allow_list;
    for (const std::string& p : patterns) allow_list.push_back(p.c_str());
    allow_list.push_back(nullptr);
    WebKitUserScript* script =
        webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow_list.data(), nullptr);
    webkit_user_content_manager_add_script(manager_, script);
    webkit_user_script_unref(script);
  }

  void SetRect(const RECT& client_rect) override {
    if (closed_) return;
    rect_ = client_rect;
    GtkWidget* parent = gtk_widget_get_parent(view_);
    if (parent != nullptr && GTK_IS_FIXED(parent)) gtk_fixed_move(GTK_FIXED(parent), view_, rect_.left, rect_.top);
    ApplySize();
  }

  void SetVisible(bool visible) override {
    if (closed_) return;
    gtk_widget_set_visible(view_, visible);
  }

  void Close() override {
    if (closed_) return;
    closed_ = true;
    handler_ = nullptr;
    g_cancellable_cancel(cancellable_);
    g_signal_handlers_disconnect_by_data(manager_, this);
    g_signal_handlers_disconnect_by_data(view_, this);
    webkit_user_content_manager_unregister_script_message_handler(manager_, kChannel);
    webkit_user_content_manager_remove_all_scripts(manager_);
    webkit_web_view_stop_loading(WEBKIT_WEB_VIEW(view_));
    LiveViews().erase(view_);
    gtk_widget_destroy(view_);
    g_object_unref(view_);
    g_object_unref(manager_);
    view_ = nullptr;
    manager_ = nullptr;
  }

 private:
  std::string Uri() const {
    if (closed_) return "";
    const char* uri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(view_));
    return uri ? uri : "";
  }

  void ApplySize() {
    gtk_widget_set_size_request(view_, std::max<int>(1, rect_.right - rect_.left),
                                std::max<int>(1, rect_.bottom - rect_.top));
  }

  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<WebKitBrowserHost*>(data);
    if (event == WEBKIT_LOAD_STARTED) self->complete_ = false;
    if (event == WEBKIT_LOAD_FINISHED) self->complete_ = true;
  }

  static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer) {
    return TRUE;
  }

  static void OnCallDone(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::function<void(bool)>> done(static_cast<std::function<void(bool)>*>(data));
    GError* error = nullptr;
    JSCValue* value =
        webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
    bool cancelled = error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    bool found = value != nullptr && jsc_value_is_boolean(value) && jsc_value_to_boolean(value);
    if (error != nullptr && !cancelled) {
      LogWarnA("page function call failed: %s\n", error->message);
    }
    if (error) g_error_free(error);
    if (value) g_object_unref(value);
    if (!cancelled && *done) (*done)(found);
  }

  static void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    auto* self = static_cast<WebKitBrowserHost*>(data);
    if (self->closed_ || self->handler_ == nullptr) return;
    // The channel is visible to every frame of every page; only the shim
    // (which alone knows the token) of an allowed top page is heard.
    if (!UrlAllowed(self->Uri(), self->allowed_)) return;
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_object(value)) return;
    std::string token = Property(value, "t");
    if (token != self->token_) return;
    std::string name = Property(value, "n");
    std::vector<std::wstring> args;
    JSCValue* list = jsc_value_object_get_property(value, "a");
    if (jsc_value_is_array(list)) {
      JSCValue* length = jsc_value_object_get_property(list, "length");
      int count = jsc_value_to_int32(length);
      g_object_unref(length);
      for (int i = 0; i < count; ++i) {
        JSCValue* item = jsc_value_object_get_property_at_index(list, static_cast<guint>(i));
        args.push_back(brx::util::Utf8ToWide(Text(item)));
        g_object_unref(item);
      }
    }
    g_object_unref(list);
    self->handler_->OnExternalCall(name, args);
  }

  static std::string Text(JSCValue* value) {
    char* text = jsc_value_to_string(value);
    std::string out = text ? text : "";
    g_free(text);
    return out;
  }

  static std::string Property(JSCValue* object, const char* name) {
    JSCValue* value = jsc_value_object_get_property(object, name);
    std::string out = jsc_value_is_string(value) ? Text(value) : std::string();
    g_object_unref(value);
    return out;
  }

  std::string token_;
  WebKitUserContentManager* manager_ = nullptr;
  GtkWidget* view_ = nullptr;
  GCancellable* cancellable_ = nullptr;
  ExternalHandler* handler_ = nullptr;
  std::vector<std::string> allowed_;
  RECT rect_{};
  bool complete_ = false;
  bool closed_ = false;
};

}  // namespace

std::unique_ptr<BrowserHost> CreateWebKitBrowserHost(void* container, const RECT& client_rect) {
  if (container == nullptr || !GTK_IS_FIXED(container)) return nullptr;
  return std::make_unique<WebKitBrowserHost>(GTK_WIDGET(container), client_rect);
}

}  // namespace uilib
