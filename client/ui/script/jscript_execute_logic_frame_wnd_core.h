#pragma once

#include "client/ui/script/frame_script_target.h"
#include "client/ui/script/ijscript_execute.h"

// The main window's own page methods (CB_OnLoad ... CB_SetKnow). Methods
// that name an argument count act only on exactly that many arguments.
class JScriptExecuteLogicFrameWndCore : public IJScriptExecute {
 public:
  explicit JScriptExecuteLogicFrameWndCore(FrameScriptTarget* frame);
  FrameScriptTarget* frame() const { return frame_; }

 private:
  FrameScriptTarget* frame_;
};
