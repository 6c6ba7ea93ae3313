#include "uilib/browser_host.h"

#include <cstring>

#include "uilib/backend/gtk/webkit_browser_host.h"
#include "uilib/ui_backend.h"

namespace uilib {

std::unique_ptr<BrowserHost> CreateBrowserHost(HWND host_window, const RECT& client_rect) {
  UiBackend& backend = GetUiBackend();
  if (std::strcmp(backend.Name(), "gtk") != 0) return nullptr;
  void* container = backend.GetNativeContainer(host_window);
  if (container == nullptr) return nullptr;
  return CreateWebKitBrowserHost(container, client_rect);
}

bool UrlAllowed(const std::string& url, const std::vector<std::string>& allowed_prefixes) {
  if (url.empty()) return false;
  for (const std::string& prefix : allowed_prefixes) {
    if (!prefix.empty() && url.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
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
