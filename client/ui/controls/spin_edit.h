#pragma once

#include "client/ui/controls/spin_value.h"
#include "uilib/controls/ui_event.h"

namespace uilib {
class CButtonUI;
class CRichEditUI;
}  // namespace uilib

// A numeric up/down over three controls of a skin: an up button, a down
// button and a text box. Presses step the value within its limits; typed
// text is read back, limited and, where needed, shown again. Borrows the
// controls (they belong to the window's tree); any of them may be missing.
// GUI thread only.
class SpinEdit {
 public:
  void Init(uilib::CButtonUI* up, uilib::CRichEditUI* edit, uilib::CButtonUI* down, float minimum,
            float maximum, float step, float value, SpinValue::Kind kind);
  // True when the notification was this spin's.
  bool HandleNotify(const uilib::TNotifyUI& msg);
  void Show();
  void SetEnabled(bool enabled);
  void ParseText();
  // Takes `value` within the limits and shows it.
  void SetValue(float value);

  float value() const { return value_.value(); }
  uilib::CRichEditUI* edit() const { return edit_; }

 private:
  uilib::CButtonUI* up_ = nullptr;
  uilib::CButtonUI* down_ = nullptr;
  uilib::CRichEditUI* edit_ = nullptr;
  SpinValue value_;
  bool showing_ = false;
};
