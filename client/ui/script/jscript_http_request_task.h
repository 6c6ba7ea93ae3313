#pragma once

#include "client/ui/script/jscript_execute_http.h"
#include "runtime/base/task.h"

// One page request, run on the bridge thread: a POST without a body,
// asking for a gzip reply.
class JScriptHttpRequestTask : public brx::base::Task {
 public:
  JScriptHttpRequestTask(JScriptExecuteHttp::Request request, JScriptExecuteHttp* owner, bool gzip);
  void Run(brx::base::MessageLoop* loop, int64_t task_id) override;

 private:
  JScriptExecuteHttp::Request request_;
  JScriptExecuteHttp* owner_;
  bool gzip_;
};
