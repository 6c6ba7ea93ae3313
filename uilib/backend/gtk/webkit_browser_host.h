#pragma once

#include <memory>

#include "uilib/winsys/browser_host.h"

namespace uilib {

// A WebKitGTK view placed in a window's GtkFixed (`container`). The web
// view module is loaded on the first call; null when it cannot be.
std::unique_ptr<BrowserHost> CreateWebKitBrowserHost(void* container, const RECT& client_rect);

}  // namespace uilib
