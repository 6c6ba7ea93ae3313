#include "client/ui/script/jscript_dispatch.h"

#include <atomic>

JScriptDispatch::JScriptDispatch(uilib::BrowserHost* browser, std::function<void()> post_result)
    : browser_(browser),
      post_result_(std::move(post_result)),
      stopping_(std::make_shared<std::atomic<bool>>(false)),
      loop_(std::make_unique<brx::base::MessageLoop>("JScriptDispatch:messageloop_")) {}

JScriptDispatch::~JScriptDispatch() {
  stopping_->store(true);
  loop_.reset();
}

void JScriptDispatch::AddExecutor(std::unique_ptr<IJScriptExecute> executor) {
  executor->set_owner(this);
  executors_.push_back(std::move(executor));
}

long JScriptDispatch::GetIDsOfNames(const std::vector<std::string>& names,
                                    std::vector<int32_t>* ids) const {
  if (names.empty()) return kDispNotImpl;
  ids->resize(names.size(), -1);
  bool any = false;
  for (size_t n = 0; n < names.size(); ++n) {
    bool found = false;
    for (size_t e = 0; e < executors_.size() && !found; ++e) {
      const auto& entries = executors_[e]->entries();
      for (size_t i = 0; i < entries.size(); ++i) {
        if (names[n] == entries[i].name) {
          (*ids)[n] = static_cast<int32_t>((e << 16) | i);
          found = true;
          break;
        }
      }
    }
    any = any || found;
  }
  return any ? kDispOk : kDispNotImpl;
}

long JScriptDispatch::Invoke(int32_t dispid, uint16_t flags, const ScriptArgs& args) {
  if ((flags & kDispatchMethod) == 0) return kDispNotImpl;
  uint32_t executor = static_cast<uint32_t>(dispid) >> 16;
  uint32_t entry = static_cast<uint32_t>(dispid) & 0xFFFF;
  if (executor >= executors_.size()) return kDispOk;
  IJScriptExecute* target = executors_[executor].get();
  if (entry >= target->entries().size()) return kDispOk;
  target->entries()[entry].callback(target, args);
  return kDispOk;
}

void JScriptDispatch::DeliverResults() {
  for (auto& executor : executors_) executor->OnResultsReady();
}

std::vector<std::string> JScriptDispatch::ExternalMethodNames() const {
  std::vector<std::string> names;
  for (const auto& executor : executors_) {
    for (const auto& entry : executor->entries()) names.emplace_back(entry.name);
  }
  return names;
}

void JScriptDispatch::OnExternalCall(const std::string& name,
                                     const std::vector<std::wstring>& args) {
  std::vector<int32_t> ids;
  if (GetIDsOfNames({name}, &ids) != kDispOk) return;
  Invoke(ids[0], kDispatchMethod, args);
}

void JScriptDispatch::PostResultReady() const {
  if (post_result_) post_result_();
}

bool JScriptDispatch::stopping() const { return stopping_->load(); }

int CallPageFunction(const ScriptArgs& args, const std::string& name, uilib::BrowserHost* browser) {
  if (browser == nullptr) return 1;
  return browser->CallFunction(name, args) ? 0 : 1;
}
