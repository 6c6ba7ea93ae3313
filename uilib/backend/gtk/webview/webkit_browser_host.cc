// The web engine's view behind BrowserHost, built as a module of its own
// (see webview_module.h).
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "uilib/backend/gtk/webview_module.h"

namespace uilib {
namespace {

constexpr const char* kChannel = "obExternal";

// What the library lends the module; set by the entry before any view.
const WebViewModuleHost* g_host = nullptr;

void LogWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogWarning(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  g_host->log_warning(line);
}

// The library's own rules (the module links none of it).
bool Allowed(const std::string& url, const std::vector<std::string>& prefixes) {
  return g_host->url_allowed(url, prefixes);
}

NavigationVerdict Decide(const NavigationRequest& request, const std::vector<std::string>& stay) {
  return g_host->decide_navigation(request, stay);
}

// The program's wide texts are UCS-4; the engine's are UTF-8.
std::string Utf8Of(const std::wstring& text) {
  static_assert(sizeof(wchar_t) == sizeof(gunichar));
  gchar* utf8 = g_ucs4_to_utf8(reinterpret_cast<const gunichar*>(text.data()),
                               static_cast<glong>(text.size()), nullptr, nullptr, nullptr);
  std::string out = utf8 != nullptr ? utf8 : "";
  g_free(utf8);
  return out;
}

std::wstring WideOf(const std::string& text) {
  gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  glong length = 0;
  gunichar* ucs4 = g_utf8_to_ucs4_fast(valid, -1, &length);
  std::wstring out(reinterpret_cast<const wchar_t*>(ucs4), static_cast<size_t>(length));
  g_free(ucs4);
  g_free(valid);
  return out;
}

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
    } else if (c == 0xE2 && i + 2 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) == 0x80 &&
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
  std::string host = prefix.substr(
      host_start, path_start == std::string::npos ? std::string::npos : path_start - host_start);
  size_t colon = host.rfind(':');
  if (colon != std::string::npos && host.find(']') == std::string::npos) host.resize(colon);
  std::string path = path_start == std::string::npos ? "/" : prefix.substr(path_start);
  return prefix.substr(0, host_start) + host + path + "*";
}

// "scheme://host:port" of an address, for log lines that must not carry
// a path or a query.
std::string OriginOf(const std::string& url) {
  size_t scheme_end = url.find("://");
  if (scheme_end == std::string::npos) return url.substr(0, url.find(':'));
  size_t start = scheme_end + 3;
  size_t end = url.find_first_of("/?#", start);
  std::string authority =
      url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  return url.substr(0, start) + authority;
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
    webkit_web_context_set_cache_model(webkit_web_context_get_default(),
                                       WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  }
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  GtkWidget* related = LiveViews().empty() ? nullptr : *LiveViews().begin();
  GtkWidget* view =
      related != nullptr
          ? GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", manager,
                                    "settings", settings, "related-view", related, nullptr))
          : GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", manager,
                                    "settings", settings, nullptr));
  g_object_unref(settings);
  LiveViews().insert(view);
  return view;
}

class WebKitBrowserHost : public BrowserHost {
 public:
  WebKitBrowserHost(GtkWidget* container, const RECT& rect)
      : trusted_token_(NewToken()), limited_token_(NewToken()) {
    manager_ = webkit_user_content_manager_new();
    view_ = NewView(manager_);
    g_object_ref_sink(view_);
    webkit_user_content_manager_register_script_message_handler(manager_, kChannel);
    g_signal_connect(manager_, "script-message-received::obExternal", G_CALLBACK(&OnScriptMessage),
                     this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(&OnLoadChanged), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(&OnContextMenu), this);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(&OnDecidePolicy), this);
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
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view_), Utf8Of(url).c_str());
  }

  std::wstring LocationName() const override {
    if (closed_) return L"";
    const char* title = webkit_web_view_get_title(WEBKIT_WEB_VIEW(view_));
    if (title != nullptr && *title != '\0') return WideOf(title);
    std::string url = Uri();
    size_t slash = url.find_last_of('/');
    return WideOf(slash == std::string::npos ? url : url.substr(slash + 1));
  }

  std::wstring CurrentUrl() const override { return WideOf(Uri()); }
  bool IsLoadComplete() const override { return !closed_ && complete_; }

  bool CallFunction(const std::string& name, const std::vector<std::wstring>& args,
                    std::function<void(PageCallResult)> done) override {
    if (closed_) return false;
    // Only a trusted page is called: judged here, and again inside the page
    // before the arguments are read there, for the view may have moved on
    // to another page by the time the call arrives.
    if (!Allowed(Uri(), access_.trusted_prefixes)) return false;
    // The texts travel as one JSON value that the page parses: nothing of
    // them is ever read as script.
    std::vector<std::string> texts;
    for (const std::wstring& arg : args) texts.push_back(Utf8Of(arg));
    GVariantBuilder dict;
    g_variant_builder_init(&dict, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&dict, "{sv}", "name", g_variant_new_string(name.c_str()));
    g_variant_builder_add(&dict, "{sv}", "argsJson", g_variant_new_string(JsArray(texts).c_str()));
    // The prefixes come one text each (the engine passes no lists).
    std::string list;
    for (size_t i = 0; i < access_.trusted_prefixes.size(); ++i) {
      std::string key = "trusted" + std::to_string(i);
      g_variant_builder_add(&dict, "{sv}", key.c_str(),
                            g_variant_new_string(access_.trusted_prefixes[i].c_str()));
      list += (i ? "," : "") + key;
    }
    // The address test uses nothing a page could have replaced: the
    // location is unforgeable, and strings are compared by index.
    std::string body = "var trusted = [" + list +
                       "];"
                       "var href = window.location.href, ok = false;"
                       "for (var i = 0; i < trusted.length && !ok; i++) {"
                       "  var p = trusted[i], same = href.length >= p.length;"
                       "  for (var j = 0; same && j < p.length; j++) same = href[j] === p[j];"
                       "  ok = same;"
                       "}"
                       "if (!ok) return 'refused';"
                       "var args = JSON.parse(argsJson);"
                       "var f = window[name];"
                       "if (typeof f !== 'function') return 'missing';"
                       "f.apply(window, args);"
                       "return 'called';";
    auto* pending = new std::function<void(PageCallResult)>(std::move(done));
    webkit_web_view_call_async_javascript_function(WEBKIT_WEB_VIEW(view_), body.c_str(), -1,
                                                   g_variant_builder_end(&dict), nullptr, nullptr,
                                                   cancellable_, &OnCallDone, pending);
    return true;
  }

  void SetNavigationPolicy(std::vector<std::string> stay_prefixes,
                           std::function<void(const std::string&)> open_elsewhere) override {
    stay_ = std::move(stay_prefixes);
    open_elsewhere_ = std::move(open_elsewhere);
  }

  void SetExternalAccess(ExternalHandler* handler, ExternalAccess access) override {
    if (closed_) return;
    handler_ = handler;
    access_ = std::move(access);
    webkit_user_content_manager_remove_all_scripts(manager_);
    if (handler_ == nullptr) return;
    std::vector<std::string> names = handler_->ExternalMethodNames();
    AddShim(trusted_token_, names, access_.trusted_prefixes);
    std::vector<std::string> limited;
    for (const std::string& name : names) {
      if (std::find(access_.limited_methods.begin(), access_.limited_methods.end(), name) !=
          access_.limited_methods.end())
        limited.push_back(name);
    }
    AddShim(limited_token_, limited, access_.limited_prefixes);
  }

  void SetRect(const RECT& client_rect) override {
    if (closed_) return;
    rect_ = client_rect;
    GtkWidget* parent = gtk_widget_get_parent(view_);
    if (parent != nullptr && GTK_IS_FIXED(parent))
      gtk_fixed_move(GTK_FIXED(parent), view_, rect_.left, rect_.top);
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
  // The window.external of the top pages under `prefixes`: the methods
  // `names`, each posting on the channel with `token`, which only this
  // script knows; the token tells the trusted pages' calls from the
  // limited ones'.
  void AddShim(const std::string& token, const std::vector<std::string>& names,
               const std::vector<std::string>& prefixes) {
    if (prefixes.empty() || names.empty()) return;
    std::string source =
        "(function(){"
        "var token=" +
        JsString(token) +
        ";"
        "var names=" +
        JsArray(names) +
        ";"
        "var allowed=" +
        JsArray(prefixes) +
        ";"
        "if (window.top !== window) return;"
        "var href=String(location.href), ok=false;"
        "for (var i=0;i<allowed.length;i++) if (href.lastIndexOf(allowed[i],0)===0) ok=true;"
        "if (!ok) return;"
        "var h=window.webkit.messageHandlers." +
        std::string(kChannel) +
        ";"
        "var post=h.postMessage.bind(h);"
        "var ext={};"
        "names.forEach(function(n){ext[n]=function(){"
        "var a=[];for(var j=0;j<arguments.length;j++)a.push(String(arguments[j]));"
        "post({t:token,n:n,a:a});};});"
        "Object.freeze(ext);"
        "Object.defineProperty(window,'external',{value:ext,writable:false,configurable:false});"
        "})();";
    std::vector<std::string> patterns;
    for (const std::string& prefix : prefixes) patterns.push_back(PatternOf(prefix));
    std::vector<const gchar*> allow_list;
    for (const std::string& p : patterns) allow_list.push_back(p.c_str());
    allow_list.push_back(nullptr);
    WebKitUserScript* script = webkit_user_script_new(
        source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow_list.data(), nullptr);
    webkit_user_content_manager_add_script(manager_, script);
    webkit_user_script_unref(script);
  }

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

  static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                gpointer) {
    return TRUE;
  }

  static void OnCallDone(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::function<void(PageCallResult)>> done(
        static_cast<std::function<void(PageCallResult)>*>(data));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source),
                                                                            result, &error);
    bool cancelled = error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    std::string outcome =
        value != nullptr && jsc_value_is_string(value) ? Text(value) : std::string();
    if (error != nullptr && !cancelled) LogWarning("page function call failed: %s", error->message);
    if (error) g_error_free(error);
    if (value) g_object_unref(value);
    if (cancelled || !*done) return;
    (*done)(outcome == "called"    ? PageCallResult::kCalled
            : outcome == "missing" ? PageCallResult::kMissing
                                   : PageCallResult::kFailed);
  }

  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<WebKitBrowserHost*>(data);
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
      return FALSE;
    if (self->stay_.empty()) return FALSE;
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    NavigationRequest request;
    request.url = uri != nullptr ? uri : "";
    request.new_window = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
    request.user_gesture = webkit_navigation_action_is_user_gesture(action);
    request.redirect = webkit_navigation_action_is_redirect(action);
    NavigationVerdict verdict = Decide(request, self->stay_);
    if (verdict == NavigationVerdict::kFollow && !request.new_window) return FALSE;
    webkit_policy_decision_ignore(decision);
    if (verdict == NavigationVerdict::kFollow) {
      // Another window for one of our pages: shown here instead.
      webkit_web_view_load_uri(view, request.url.c_str());
    } else if (verdict == NavigationVerdict::kOpenElsewhere) {
      if (self->open_elsewhere_) self->open_elsewhere_(request.url);
    } else {
      LogWarning("browser: a page's navigation to %s was refused", OriginOf(request.url).c_str());
    }
    return TRUE;
  }

  static void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                              gpointer data) {
    auto* self = static_cast<WebKitBrowserHost*>(data);
    if (self->closed_ || self->handler_ == nullptr) return;
    // The channel is visible to every frame of every page; only a shim
    // (which alone knows its token) of an allowed top page is heard, and a
    // limited page's only for its few methods, whatever it names.
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_object(value)) return;
    std::string token = Property(value, "t");
    std::string name = Property(value, "n");
    const ExternalAccess& access = self->access_;
    if (token == self->trusted_token_) {
      if (!Allowed(self->Uri(), access.trusted_prefixes)) return;
    } else if (token == self->limited_token_) {
      if (!Allowed(self->Uri(), access.limited_prefixes)) return;
      if (std::find(access.limited_methods.begin(), access.limited_methods.end(), name) ==
          access.limited_methods.end())
        return;
    } else {
      return;
    }
    std::vector<std::wstring> args;
    JSCValue* list = jsc_value_object_get_property(value, "a");
    if (jsc_value_is_array(list)) {
      JSCValue* length = jsc_value_object_get_property(list, "length");
      int count = jsc_value_to_int32(length);
      g_object_unref(length);
      for (int i = 0; i < count; ++i) {
        JSCValue* item = jsc_value_object_get_property_at_index(list, static_cast<guint>(i));
        args.push_back(WideOf(Text(item)));
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

  std::string trusted_token_;
  std::string limited_token_;
  WebKitUserContentManager* manager_ = nullptr;
  GtkWidget* view_ = nullptr;
  GCancellable* cancellable_ = nullptr;
  ExternalHandler* handler_ = nullptr;
  ExternalAccess access_;
  std::vector<std::string> stay_;
  std::function<void(const std::string&)> open_elsewhere_;
  RECT rect_{};
  bool complete_ = false;
  bool closed_ = false;
};

}  // namespace

}  // namespace uilib

extern "C" __attribute__((visibility("default"))) uilib::BrowserHost* OmbrixCreateWebView(
    const uilib::WebViewModuleHost* host, void* container, const uilib::RECT* rect) {
  if (host == nullptr || rect == nullptr || container == nullptr || !GTK_IS_FIXED(container))
    return nullptr;
  uilib::g_host = host;
  return new uilib::WebKitBrowserHost(GTK_WIDGET(container), *rect);
}
