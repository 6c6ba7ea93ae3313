#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/ui/script/ijscript_execute.h"
#include "runtime/base/message_loop.h"
#include "uilib/winsys/browser_host.h"

// Results of the dispatch interface, as the page's script host knows them.
inline constexpr long kDispOk = 0;
inline constexpr long kDispNotImpl = static_cast<long>(0x80004001u);
// Invoke flags.
inline constexpr uint16_t kDispatchMethod = 1;
inline constexpr uint16_t kDispatchPropertyGet = 2;

// window.external of the main page: the methods of its executor tables,
// the table's index in the high 16 bits of a dispatch id and the entry's in
// the low 16. Owns the executors and the bridge thread on which the
// page's HTTP requests run. GUI thread, except where said.
class JScriptDispatch : public uilib::ExternalHandler {
 public:
  // `post_result` tells the GUI thread that a result waits (the owner
  // posts its result message, which ends in DeliverResults); it is called
  // on the bridge thread. `browser` (borrowed, may be null) is the page
  // the results and the executors' calls go to.
  JScriptDispatch(uilib::BrowserHost* browser, std::function<void()> post_result);
  ~JScriptDispatch();
  JScriptDispatch(const JScriptDispatch&) = delete;
  JScriptDispatch& operator=(const JScriptDispatch&) = delete;

  void AddExecutor(std::unique_ptr<IJScriptExecute> executor);

  // Writes the id of each known name into its place of `ids` (unknown
  // names keep theirs); kDispOk when at least one name was known.
  long GetIDsOfNames(const std::vector<std::string>& names, std::vector<int32_t>* ids) const;
  // Runs the method; an id outside the tables does nothing. Only method
  // calls are served.
  long Invoke(int32_t dispid, uint16_t flags, const ScriptArgs& args);
  // One result message arrived: every executor may deliver.
  void DeliverResults();

  // ExternalHandler.
  std::vector<std::string> ExternalMethodNames() const override;
  void OnExternalCall(const std::string& name, const std::vector<std::wstring>& args) override;

  uilib::BrowserHost* browser() const { return browser_; }
  void set_browser(uilib::BrowserHost* browser) { browser_ = browser; }
  // Any thread.
  void PostResultReady() const;
  brx::base::MessageLoop& loop() { return *loop_; }
  // Set while the dispatch is going away: requests on the bridge thread
  // give up at once.
  bool stopping() const;

 private:
  uilib::BrowserHost* browser_;
  std::function<void()> post_result_;
  std::vector<std::unique_ptr<IJScriptExecute>> executors_;
  std::shared_ptr<std::atomic<bool>> stopping_;
  // Last: stopped (and its tasks dropped) before the executors go.
  std::unique_ptr<brx::base::MessageLoop> loop_;
};

// Calls the page function `name` with `args` on `browser`'s top page. 1
// without a browser, 0 when the call was made (a missing function is the
// page's business and changes nothing).
int CallPageFunction(const ScriptArgs& args, const std::string& name, uilib::BrowserHost* browser);
