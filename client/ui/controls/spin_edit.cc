#include "client/ui/controls/spin_edit.h"

#include "uilib/controls/button_ui.h"
#include "uilib/controls/rich_edit_ui.h"

using namespace uilib;

void SpinEdit::Init(CButtonUI* up, CRichEditUI* edit, CButtonUI* down, float minimum, float maximum,
                    float step, float value, SpinValue::Kind kind) {
  up_ = up;
  edit_ = edit;
  down_ = down;
  if (edit_ != nullptr) {
    edit_->SetRich(false);
    edit_->SetReadOnly(false);
    edit_->SetWantTab(false);
    edit_->SetWantReturn(false);
    edit_->SetWantCtrlReturn(false);
    edit_->SetFloatOnly(true, true);
  }
  value_ = SpinValue(minimum, maximum, step, value, kind);
  Show();
}

bool SpinEdit::HandleNotify(const TNotifyUI& msg) {
  if (msg.pSender == nullptr) return false;
  if (msg.sType == L"buttondown" && msg.pSender == up_) {
    value_.StepUp();
    Show();
    return true;
  }
  if (msg.sType == L"buttondown" && msg.pSender == down_) {
    value_.StepDown();
    Show();
    return true;
  }
  if (msg.sType == L"textchanged" && msg.pSender == edit_) {
    // Our own Show is not read back.
    if (!showing_) ParseText();
    return true;
  }
  return false;
}

void SpinEdit::Show() {
  if (edit_ == nullptr) return;
  showing_ = true;
  edit_->SetText(value_.Text().c_str());
  showing_ = false;
}

void SpinEdit::ParseText() {
  if (edit_ != nullptr && value_.Parse(edit_->GetText())) Show();
}

void SpinEdit::SetValue(float value) {
  value_.Set(value);
  Show();
}

void SpinEdit::SetEnabled(bool enabled) {
  for (CControlUI* control : {static_cast<CControlUI*>(up_), static_cast<CControlUI*>(down_),
                              static_cast<CControlUI*>(edit_)})
    if (control != nullptr) control->SetEnabled(enabled);
}
