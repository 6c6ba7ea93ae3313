#pragma once

#include <string>
#include <vector>

#include "uilib/winsys/browser_host.h"

namespace uilib {

// The web view lives in a module of its own, loaded when the first view is
// made: a program that never shows a page (or has not shown one yet, as
// the main client waiting at its login window) neither loads nor links
// the web engine. The module keeps to the toolkit and the engine; what it
// needs of the library comes in this table, so no second copy of the
// library's state (its log above all) lives in the module.
struct WebViewModuleHost {
  // One log line, without its line end.
  void (*log_warning)(const char* line);
  bool (*url_allowed)(const std::string& url, const std::vector<std::string>& prefixes);
  NavigationVerdict (*decide_navigation)(const NavigationRequest& request,
                                         const std::vector<std::string>& stay);
};

// The module's file, beside the program, and its one entry: a view placed
// in `container` (a GtkFixed) at `rect`, owned by the caller; null when
// it cannot be made.
inline constexpr char kWebViewModuleFile[] = "ombrix-webview.so";
inline constexpr char kWebViewFactorySymbol[] = "OmbrixCreateWebView";
using WebViewFactory = BrowserHost* (*)(const WebViewModuleHost* host, void* container,
                                        const RECT* rect);

}  // namespace uilib
