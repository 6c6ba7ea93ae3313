#pragma once

#include <vector>

#include "client/core/event_chain.h"
#include "client/core/web_user.h"
#include "client/ui/base/ob_ui_window.h"
#include "client/ui/tray/tray_links.h"

// The small popup the tray shows while the cursor rests on its icon: the
// four new-item counters, each a button that opens its reminder page.
class OBPromptDialog : public OBUIWindow {
 public:
  // `events` carries the counter resets; `user` and `frame` outlive the
  // dialog.
  OBPromptDialog(const std::wstring& skin_folder, EventChain* events, const IWebUser* user,
                 ITrayFrame* frame);
  ~OBPromptDialog() override;

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBPromptDialog"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI& msg) override;

  void RefreshTexts();
  // At the cursor, kept inside the work area; hidden when there is
  // nothing new.
  void PlaceAndShow();
  // Hides the dialog and opens the first category with new items.
  void OpenFirstNew();
  bool inside() const { return inside_; }

 protected:
  void InitControls() override { RefreshTexts(); }

 private:
  EventChain* events_;
  const IWebUser* user_;
  ITrayFrame* frame_;
  bool inside_ = false;
  std::vector<EventChain::Handle> subscriptions_;
};
