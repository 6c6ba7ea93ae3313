#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "uilib/ui_defs.h"

namespace uilib {

// What a hosted page reaches as window.external. Only the names listed
// exist on the page's object; calling any other name throws in the page.
class ExternalHandler {
 public:
  virtual std::vector<std::string> ExternalMethodNames() const = 0;
  // A call from an allowed page, its arguments as texts in the order the
  // script passed them. GUI thread.
  virtual void OnExternalCall(const std::string& name, const std::vector<std::wstring>& args) = 0;

 protected:
  ~ExternalHandler() = default;
};

// An embedded web view placed in one of our windows. GUI thread only.
class BrowserHost {
 public:
  virtual ~BrowserHost() = default;

  virtual void Navigate(const std::wstring& url) = 0;
  // The page's title, or the last part of its address when it has none.
  virtual std::wstring LocationName() const = 0;
  virtual std::wstring CurrentUrl() const = 0;
  // The top page has finished loading.
  virtual bool IsLoadComplete() const = 0;

  // Calls the global function `name` of the top page with the texts as
  // its arguments (passed as values, never pasted into script). Returns
  // false when there is no page to call; a page without the function is
  // left alone. `done`, when given, learns whether the function existed.
  virtual bool CallFunction(const std::string& name, const std::vector<std::wstring>& args,
                            std::function<void(bool found)> done = nullptr) = 0;

  // Offers `handler` (borrowed; null to withdraw) as window.external to
  // top-level pages whose address starts with one of `allowed_prefixes`
  // ("file:///opt/x/html/", "http://site.example/"). Other pages, and
  // frames inside pages, get no window.external.
  virtual void SetExternal(ExternalHandler* handler, std::vector<std::string> allowed_prefixes) = 0;

  // Place within the host window's client area, and visibility.
  virtual void SetRect(const RECT& client_rect) = 0;
  virtual void SetVisible(bool visible) = 0;

  // Withdraws the external object and stops the view; safe to repeat.
  // Nothing reaches the handler afterwards.
  virtual void Close() = 0;
};

// Makes a browser in `host_window` at `client_rect` with the installed
// backend; null where the backend has no browser (headless).
std::unique_ptr<BrowserHost> CreateBrowserHost(HWND host_window, const RECT& client_rect);

// True when `url` starts with one of the prefixes (and is not empty).
bool UrlAllowed(const std::string& url, const std::vector<std::string>& allowed_prefixes);

// file:// address of an absolute local path, each byte outside the
// unreserved set percent-escaped, as the browser writes it.
std::string FileUrl(const std::string& absolute_path);

}  // namespace uilib
