#pragma once

#include <functional>
#include <memory>
#include <string>

#include "client/core/event_chain.h"
#include "client/ui/dialogs/ob_small_dialog.h"

class CMessageDialog;
class CWarningDialog;

// The feedback form: an optional title (4-30 characters) and a required
// text (10-1000 characters) sent to the web service. It stays open until
// the reply (event 33) arrives.
class CFeedDialog : public OBSmallDialog {
 public:
  using Sender = std::function<void(const std::wstring& content, const std::wstring& title)>;

  // `events` carries the reply and outlives the dialog.
  CFeedDialog(const std::wstring& skin_folder, EventChain* events, Sender send);
  ~CFeedDialog() override;

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBFeedDialog"; }
  uilib::UINT GetClassStyle() const override { return 8; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI& msg) override;

  void Show();

  CMessageDialog* message_dialog() const { return message_.get(); }
  CWarningDialog* warning_dialog() const { return warning_.get(); }

 protected:
  void InitControls() override;

 private:
  void OnConfirm();
  void OnTextChanged(const std::wstring& name);
  void OnReply(const EventParameter* p);

  const std::wstring skin_folder_;
  EventChain* events_;
  Sender send_;
  EventChain::Handle subscription_ = 0;
  std::unique_ptr<CMessageDialog> message_;
  std::unique_ptr<CWarningDialog> warning_;
};
