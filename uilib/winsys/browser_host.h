#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "uilib/winsys/ui_defs.h"

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

// Which top-level pages reach window.external, and how much of it. Pages
// under `trusted_prefixes` ("file:///opt/x/html/") get every method, and
// they alone are reached by CallFunction; pages under `limited_prefixes`
// ("http://site.example/") get only `limited_methods`. Any other page, and
// any frame inside a page, gets no window.external.
struct ExternalAccess {
  std::vector<std::string> trusted_prefixes;
  std::vector<std::string> limited_prefixes;
  std::vector<std::string> limited_methods;
};

// How a call of a page function ended.
enum class PageCallResult {
  kCalled,   // the function ran
  kMissing,  // the page has no such function
  kFailed,   // it threw, or the page could not be reached
};

// A navigation the page (or a server) asks for.
struct NavigationRequest {
  std::string url;
  bool new_window = false;    // a link or script asking for another window
  bool user_gesture = false;  // the user clicked or typed for it
  bool redirect = false;      // a server's redirect of a load under way
};

enum class NavigationVerdict {
  kFollow,         // shown in this view
  kOpenElsewhere,  // not followed here; handed to the user's web browser
  kRefuse,         // not followed anywhere
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
  // its arguments (passed as values, never pasted into script). Only a
  // trusted page (ExternalAccess) is called, judged by where the view is
  // at the moment of the call and again inside the page before anything
  // of the arguments is read there; false when there is no such page to
  // call. `done`, when given, learns how the call ended.
  virtual bool CallFunction(const std::string& name, const std::vector<std::wstring>& args,
                            std::function<void(PageCallResult)> done = nullptr) = 0;

  // Offers `handler` (borrowed; null to withdraw) as window.external.
  virtual void SetExternalAccess(ExternalHandler* handler, ExternalAccess access) = 0;
  // Every method for the pages under `trusted_prefixes`, nothing for others.
  void SetExternal(ExternalHandler* handler, std::vector<std::string> trusted_prefixes) {
    SetExternalAccess(handler, ExternalAccess{std::move(trusted_prefixes), {}, {}});
  }

  // Keeps the view on the pages under `stay_prefixes`: a navigation of the
  // top page elsewhere is not followed, and one the user asked for (a link,
  // a server's redirect) goes to `open_elsewhere` instead (the user's web
  // browser), see DecideNavigation. Empty prefixes: every page may load.
  virtual void SetNavigationPolicy(std::vector<std::string> stay_prefixes,
                                   std::function<void(const std::string& url)> open_elsewhere) = 0;

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

// What a view kept on `stay_prefixes` does with `request`. Without prefixes
// everything is followed. Frames' blank documents are always followed;
// pages under the prefixes are shown here (a new window's too); any other
// http or https page is handed to the user's browser when the user asked
// for it or a server redirected there, and refused otherwise, so a page
// cannot open windows on its own; other schemes are refused.
NavigationVerdict DecideNavigation(const NavigationRequest& request,
                                   const std::vector<std::string>& stay_prefixes);

// Calls the page function `name` with one text argument on `browser`'s
// trusted page and writes a warning when the page lacks the function or
// the call fails. False without a page to call.
bool CallJScript(BrowserHost* browser, const std::string& name, const std::wstring& argument);

// file:// address of an absolute local path, each byte outside the
// unreserved set percent-escaped, as the browser writes it.
std::string FileUrl(const std::string& absolute_path);

}  // namespace uilib
