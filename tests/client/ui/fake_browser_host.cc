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
                                   std::function<void(bool found)> done) {
  if (closed_) return false;
  page_calls.push_back({name, args});
  if (on_page_call) on_page_call(page_calls.back());
  if (done) done(true);
  return true;
}

void FakeBrowserHost::SetExternal(uilib::ExternalHandler* handler, std::vector<std::string> allowed_prefixes) {
  handler_ = handler;
  allowed_ = std::move(allowed_prefixes);
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

bool FakeBrowserHost::SimulateExternalCall(const std::string& name, const std::vector<std::wstring>& args) {
  if (closed_ || handler_ == nullptr || !uilib::UrlAllowed(brx::util::WideToUtf8(url_), allowed_)) return false;
  auto names = handler_->ExternalMethodNames();
  if (std::find(names.begin(), names.end(), name) == names.end()) return false;
  handler_->OnExternalCall(name, args);
  return true;
}

std::vector<FakeBrowserHost::PageCall> FakeBrowserHost::CallsOf(const std::string& name) const {
  std::vector<PageCall> out;
  for (const auto& call : page_calls) {
    if (call.name == name) out.push_back(call);
  }
  return out;
}

}  // namespace ombrix::test
