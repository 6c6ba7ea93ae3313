#pragma once

#include "uilib/controls/ui_event.h"

struct ControlContext;

// Makes the client's own controls while a skin is built: "OBList",
// "OBPicButton", "OBUserButton" and "OBOption"; null for any other tag.
// The controls borrow `context`, which must outlive them.
class CDialogBuilderCallbackEx : public uilib::IDialogBuilderCallback {
 public:
  explicit CDialogBuilderCallbackEx(const ControlContext* context);
  uilib::CControlUI* CreateControl(uilib::LPCTSTR class_name) override;

 private:
  const ControlContext* context_;
};
