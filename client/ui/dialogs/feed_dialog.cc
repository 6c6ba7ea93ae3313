#include "client/ui/dialogs/feed_dialog.h"

#include <json/json.h>

#include "client/core/web_events.h"
#include "client/ui/dialogs/message_dialog.h"
#include "client/ui/dialogs/warning_dialog.h"
#include "runtime/util/json_parse.h"
#include "runtime/util/text_convert.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

CFeedDialog::CFeedDialog(const std::wstring& skin_folder, EventChain* events, Sender send)
    : OBSmallDialog(skin_folder, L"feed_dialog.xml"),
      skin_folder_(skin_folder),
      events_(events),
      send_(std::move(send)) {
  if (events_ != nullptr)
    subscription_ = events_->Subscribe(SEVENT_RESPONSE_RecommendedAdd, this, &CFeedDialog::OnReply);
}

CFeedDialog::~CFeedDialog() {
  if (events_ != nullptr) events_->Unsubscribe(subscription_);
  // The notes are owned here and go before the form's window.
  message_.reset();
  warning_.reset();
}

LRESULT CFeedDialog::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_CLOSE) return 0;  // only the buttons close it
  return OBSmallDialog::HandleMessage(msg, wparam, lparam);
}

void CFeedDialog::InitControls() {
  if (auto* title = Find<CRichEditUI>(L"feedtitle")) title->SetTipText(L"请输入4—30个字符（选填）");
  if (auto* content = Find<CRichEditUI>(L"feedlist"))
    content->SetTipText(L"请输入10—1000个字符的内容（必填）");
}

void CFeedDialog::Show() {
  Place();
  ShowModal();
}

void CFeedDialog::Notify(TNotifyUI& msg) {
  if (msg.pSender == nullptr) return;
  const std::wstring& name = msg.pSender->GetName();
  if (msg.sType == L"click") {
    if (name == L"closebtn")
      Close();
    else if (name == L"confirmbtn")
      OnConfirm();
  } else if (msg.sType == L"textchanged") {
    OnTextChanged(name);
  }
}

void CFeedDialog::OnConfirm() {
  auto* title = Find<CRichEditUI>(L"feedtitle");
  auto* content = Find<CRichEditUI>(L"feedlist");
  if (title == nullptr || content == nullptr) return;
  long t = title->GetTextLength();
  long c = content->GetTextLength();
  if ((t >= 1 && t <= 3) || t > 30) {
    SetLabel(L"topicnum", L"请在标题栏内输入4-30个字符。");
  } else if (c < 10 || c > 1000) {
    SetLabel(L"topicnum", L"提交内容应在10-1000个字符以内。");
  } else if (send_) {
    send_(content->GetText(), title->GetText());
  }
}

void CFeedDialog::OnTextChanged(const std::wstring& name) {
  CControlUI* topic = Find(L"topicnum");
  if (topic == nullptr) return;
  if (!topic->GetText().empty()) topic->SetText(L"");
  auto* edit = Find<CRichEditUI>(name.c_str());
  if (edit == nullptr) return;
  if (name == L"feedtitle" && edit->GetTextLength() >= 31)
    topic->SetText(L"标题栏内容不能超过30个字。");
  else if (name == L"feedlist" && edit->GetTextLength() >= 1001)
    topic->SetText(L"提交内容不能超过1000个字。");
}

void CFeedDialog::OnReply(const EventParameter* p) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_RecommendedAdd*>(p);
  if (GetHWND() == 0) return;
  if (reply->ok) {
    Json::Value root;
    if (!brx::util::ParseUntrustedJson(brx::util::WideToUtf8(reply->param), &root)) return;
    if (root.isObject() && root["Status"].isInt() && root["Status"].asInt() == 0) {
      if (!message_) {
        message_ = std::make_unique<CMessageDialog>(skin_folder_);
        message_->CreateOwned(GetHWND(), L"OBMessageDialog");
      }
      message_->Show();
      if (auto* title = Find<CRichEditUI>(L"feedtitle")) title->SetText(L"");
      if (auto* content = Find<CRichEditUI>(L"feedlist")) content->SetText(L"");
      Close();
      // Closing the form brought the main window to the front. Nothing on
      // an X desktop keeps a note owned by the now hidden form above the
      // main window (as an owned window would stay on Windows), so the
      // note comes back in front, or the user never sees it.
      SetForegroundWindow(message_->GetHWND());
      return;
    }
  }
  if (!warning_) {
    warning_ = std::make_unique<CWarningDialog>(skin_folder_);
    warning_->CreateOwned(GetHWND(), L"OBWarningDialog");
  }
  warning_->Show(L"提示", L"网络错误，请稍后再试！");
}
