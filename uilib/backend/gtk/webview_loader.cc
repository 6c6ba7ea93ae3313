#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/logmaker/log.h"
#include "uilib/backend/gtk/webkit_browser_host.h"
#include "uilib/backend/gtk/webview_module.h"

#ifdef OMBRIX_WEBVIEW_LINKED
// The sanitizer build has the view inside the library (see CMakeLists.txt).
extern "C" uilib::BrowserHost* OmbrixCreateWebView(const uilib::WebViewModuleHost* host,
                                                   void* container, const uilib::RECT* rect);
#endif

namespace uilib {
namespace {

void LogLine(const char* line) { LogWarnA("%s\n", line); }

const WebViewModuleHost kHost{&LogLine, &UrlAllowed, &DecideNavigation};

#ifdef OMBRIX_WEBVIEW_LINKED
WebViewFactory Factory() { return &OmbrixCreateWebView; }
#else
// Beside the program; a program of the build tree (a test) finds the
// module in the build's install folder.
std::vector<std::string> ModulePaths() {
  std::vector<std::string> paths;
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) paths.push_back((program.parent_path() / kWebViewModuleFile).string());
  paths.push_back(std::string(OMBRIX_BUILD_DIST_DIR) + "/" + kWebViewModuleFile);
  return paths;
}

// Loaded once and kept: the engine is never unloaded from a process.
WebViewFactory Factory() {
  static const WebViewFactory factory = []() -> WebViewFactory {
    std::string errors;
    for (const std::string& path : ModulePaths()) {
      if (!std::filesystem::exists(path)) continue;
      void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (module == nullptr) {
        errors += dlerror();
        continue;
      }
      if (void* entry = dlsym(module, kWebViewFactorySymbol))
        return reinterpret_cast<WebViewFactory>(entry);
      errors += path + ": no " + kWebViewFactorySymbol;
    }
    LogWarnA("browser: no web view module %s: %s\n", kWebViewModuleFile,
             errors.empty() ? "not found" : errors.c_str());
    return nullptr;
  }();
  return factory;
}
#endif

}  // namespace

std::unique_ptr<BrowserHost> CreateWebKitBrowserHost(void* container, const RECT& client_rect) {
  WebViewFactory factory = Factory();
  if (factory == nullptr) return nullptr;
  return std::unique_ptr<BrowserHost>(factory(&kHost, container, &client_rect));
}

}  // namespace uilib
