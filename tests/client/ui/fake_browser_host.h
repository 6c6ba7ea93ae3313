#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "uilib/winsys/browser_host.h"

namespace ombrix::test {

// A browser without a page engine: records what the client asks of the
// page and lets tests act as the page. It keeps the host's rules: page
// functions reach trusted pages only, the external object's methods
// depend on where the page is, and page-made navigations go through the
// navigation policy.
class FakeBrowserHost : public uilib::BrowserHost {
 public:
  struct PageCall {
    std::string name;
    std::vector<std::wstring> args;
    std::wstring url;  // where the page was
  };

  void Navigate(const std::wstring& url) override;
  std::wstring LocationName() const override { return title_; }
  std::wstring CurrentUrl() const override { return url_; }
  bool IsLoadComplete() const override { return loaded_ && !closed_; }
  bool CallFunction(const std::string& name, const std::vector<std::wstring>& args,
                    std::function<void(uilib::PageCallResult)> done) override;
  void SetExternalAccess(uilib::ExternalHandler* handler, uilib::ExternalAccess access) override;
  void SetNavigationPolicy(std::vector<std::string> stay_prefixes,
                           std::function<void(const std::string& url)> open_elsewhere) override;
  void SetRect(const uilib::RECT& rect) override { rect_ = rect; }
  void SetVisible(bool visible) override { visible_ = visible; }
  void Close() override;

  // The page finished loading with this title.
  void FinishLoad(const std::wstring& title);
  // The page's script calls window.external.<name>(args): false when the
  // page has no window.external or it has no such method.
  bool SimulateExternalCall(const std::string& name, const std::vector<std::wstring>& args);
  // The user clicks a link of the page (or a server redirects the load):
  // what the policy made of it.
  uilib::NavigationVerdict SimulateLinkClick(const std::string& url, bool new_window = false);
  uilib::NavigationVerdict SimulateRedirect(const std::string& url);
  // Runs when the client calls a page function.
  std::function<void(const PageCall&)> on_page_call;
  std::function<void()> on_close;
  // Page functions the page lacks, and ones that throw.
  std::set<std::string> missing_functions, throwing_functions;

  std::vector<std::wstring> navigations;
  std::vector<PageCall> page_calls;
  // Calls refused because the page was not a trusted one.
  std::vector<PageCall> refused_calls;
  // What the policy handed to the user's browser.
  std::vector<std::string> opened_elsewhere;
  std::vector<PageCall> CallsOf(const std::string& name) const;
  uilib::RECT rect_{};
  bool visible_ = true;
  bool closed_ = false;
  int close_calls = 0;

 private:
  uilib::NavigationVerdict PageNavigation(const uilib::NavigationRequest& request);

  std::wstring url_;
  std::wstring title_;
  bool loaded_ = false;
  uilib::ExternalHandler* handler_ = nullptr;
  uilib::ExternalAccess access_;
  std::vector<std::string> stay_;
  std::function<void(const std::string&)> open_elsewhere_;
};

}  // namespace ombrix::test
