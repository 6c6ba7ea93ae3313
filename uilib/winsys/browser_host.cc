#include "uilib/winsys/browser_host.h"

#include <cctype>
#include <cstring>

#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "uilib/winsys/ui_backend.h"

namespace uilib {

std::unique_ptr<BrowserHost> CreateBrowserHost(HWND host_window, const RECT& client_rect) {
  return GetUiBackend().CreateBrowserHost(host_window, client_rect);
}

bool UrlAllowed(const std::string& url, const std::vector<std::string>& allowed_prefixes) {
  if (url.empty()) return false;
  for (const std::string& prefix : allowed_prefixes) {
    if (!prefix.empty() && url.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

namespace {

bool HasScheme(const std::string& url, const char* scheme) {
  size_t n = std::strlen(scheme);
  if (url.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return false;
  }
  return true;
}

}  // namespace

NavigationVerdict DecideNavigation(const NavigationRequest& request,
                                   const std::vector<std::string>& stay_prefixes) {
  if (stay_prefixes.empty()) return NavigationVerdict::kFollow;
  // Frames start blank before their own page comes.
  if (request.url == "about:blank" || request.url == "about:srcdoc")
    return NavigationVerdict::kFollow;
  if (UrlAllowed(request.url, stay_prefixes)) return NavigationVerdict::kFollow;
  // Only what the user's browser shows as a web page may go there: a file
  // or another scheme handed to the desktop could start a program.
  if (!HasScheme(request.url, "http://") && !HasScheme(request.url, "https://"))
    return NavigationVerdict::kRefuse;
  return request.user_gesture || request.redirect ? NavigationVerdict::kOpenElsewhere
                                                  : NavigationVerdict::kRefuse;
}

bool CallJScript(BrowserHost* browser, const std::string& name, const std::wstring& argument) {
  if (browser == nullptr) return false;
  std::string text = brx::util::WideToUtf8(argument);
  return browser->CallFunction(name, {argument}, [name, text](PageCallResult result) {
    // The engine reports a script that threw; this is the number a
    // script host gives such a call.
    constexpr int kScriptException = static_cast<int>(0x80020009u);
    if (result == PageCallResult::kMissing) {
      LogWarnA("CallJScript[GetIDsOfNames failed] %s(%s)\n", name.c_str(), text.c_str());
    } else if (result == PageCallResult::kFailed) {
      LogWarnA("CallJScript[Invoke failed:%d] %s(%s)\n", kScriptException, name.c_str(),
               text.c_str());
    }
  });
}

std::string FileUrl(const std::string& absolute_path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : absolute_path) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (keep) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

}  // namespace uilib
