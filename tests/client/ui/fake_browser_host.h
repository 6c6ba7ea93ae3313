#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "uilib/browser_host.h"

namespace ombrix::test {

// A browser without a page engine: records what the client asks of the
// page and lets tests act as the page.
class FakeBrowserHost : public uilib::BrowserHost {
 public:
  struct PageCall {
    std::string name;
    std::vector<std::wstring> args;
  };

  void Navigate(const std::wstring& url) override;
  std::wstring LocationName() const override { return title_; }
  std::wstring CurrentUrl() const override { return url_; }
  bool IsLoadComplete() const override { return loaded_ && !closed_; }
  bool CallFunction(const std::string& name, const std::vector<std::wstring>& args,
                    std::function<void(bool found)> done) override;
  void SetExternal(uilib::ExternalHandler* handler, std::vector<std::string> allowed_prefixes) override;
  void SetRect(const uilib::RECT& rect) override { rect_ = rect; }
  void SetVisible(bool visible) override { visible_ = visible; }
  void Close() override;

  // The page finished loading with this title.
  void FinishLoad(const std::wstring& title);
  // The page's script calls window.external.<name>(args): false when the
  // page has no window.external or it has no such method.
  bool SimulateExternalCall(const std::string& name, const std::vector<std::wstring>& args);
  // Runs when the client calls a page function.
  std::function<void(const PageCall&)> on_page_call;
  std::function<void()> on_close;

  std::vector<std::wstring> navigations;
  std::vector<PageCall> page_calls;
  std::vector<PageCall> CallsOf(const std::string& name) const;
  uilib::RECT rect_{};
  bool visible_ = true;
  bool closed_ = false;
  int close_calls = 0;

 private:
  std::wstring url_;
  std::wstring title_;
  bool loaded_ = false;
  uilib::ExternalHandler* handler_ = nullptr;
  std::vector<std::string> allowed_;
};

}  // namespace ombrix::test
