#include "tests/client/ui/fake_browser_host.h"

#include <algorithm>

#include "runtime/util/text_convert.h"

namespace ombrix::test {

void FakeBrowserHost::Navigate(const std::wstring& url) {
  navigations.push_back(url);
  url_ = url;
  title_.clear();
  loaded_ = false;
}

bool FakeBrowserHost::CallFunction(const std::string& name, const std::vector<std::wstring>& args,
                                   std::function<void(uilib::PageCallResult)> done) {
  if (closed_) return false;
  if (!uilib::UrlAllowed(brx::util::WideToUtf8(url_), access_.trusted_prefixes)) {
    refused_calls.push_back({name, args, url_});
    return false;
  }
  page_calls.push_back({name, args, url_});
  if (on_page_call) on_page_call(page_calls.back());
  uilib::PageCallResult result = missing_functions.count(name)    ? uilib::PageCallResult::kMissing
                                 : throwing_functions.count(name) ? uilib::PageCallResult::kFailed
                                                                  : uilib::PageCallResult::kCalled;
  if (done) done(result);
  return true;
}

void FakeBrowserHost::SetExternalAccess(uilib::ExternalHandler* handler,
                                        uilib::ExternalAccess access) {
  handler_ = handler;
  access_ = std::move(access);
}

void FakeBrowserHost::SetNavigationPolicy(
    std::vector<std::string> stay_prefixes,
    std::function<void(const std::string& url)> open_elsewhere) {
  stay_ = std::move(stay_prefixes);
  open_elsewhere_ = std::move(open_elsewhere);
}

void FakeBrowserHost::Close() {
  ++close_calls;
  if (on_close && !closed_) on_close();
  closed_ = true;
  handler_ = nullptr;
}

void FakeBrowserHost::FinishLoad(const std::wstring& title) {
  title_ = title;
  loaded_ = true;
}

bool FakeBrowserHost::SimulateExternalCall(const std::string& name,
                                           const std::vector<std::wstring>& args) {
  if (closed_ || handler_ == nullptr) return false;
  std::string url = brx::util::WideToUtf8(url_);
  bool trusted = uilib::UrlAllowed(url, access_.trusted_prefixes);
  bool limited = !trusted && uilib::UrlAllowed(url, access_.limited_prefixes);
  if (!trusted && !limited) return false;
  auto names = handler_->ExternalMethodNames();
  if (std::find(names.begin(), names.end(), name) == names.end()) return false;
  if (limited && std::find(access_.limited_methods.begin(), access_.limited_methods.end(), name) ==
                     access_.limited_methods.end())
    return false;
  handler_->OnExternalCall(name, args);
  return true;
}

uilib::NavigationVerdict FakeBrowserHost::PageNavigation(const uilib::NavigationRequest& request) {
  uilib::NavigationVerdict verdict = uilib::DecideNavigation(request, stay_);
  if (verdict == uilib::NavigationVerdict::kFollow) {
    url_ = brx::util::Utf8ToWide(request.url);
    title_.clear();
    loaded_ = false;
  } else if (verdict == uilib::NavigationVerdict::kOpenElsewhere) {
    opened_elsewhere.push_back(request.url);
    if (open_elsewhere_) open_elsewhere_(request.url);
  }
  return verdict;
}

uilib::NavigationVerdict FakeBrowserHost::SimulateLinkClick(const std::string& url,
                                                            bool new_window) {
  return PageNavigation({url, new_window, true, false});
}

uilib::NavigationVerdict FakeBrowserHost::SimulateRedirect(const std::string& url) {
  return PageNavigation({url, false, false, true});
}

std::vector<FakeBrowserHost::PageCall> FakeBrowserHost::CallsOf(const std::string& name) const {
  std::vector<PageCall> out;
  for (const auto& call : page_calls) {
    if (call.name == name) out.push_back(call);
  }
  return out;
}

}  // namespace ombrix::test
