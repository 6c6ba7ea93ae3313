#pragma once

#include <string>

#include "client/ui/dialogs/ob_small_dialog.h"

// The about box: the installed version and edition, and a link to the
// product's home page.
class CAboutDialog : public OBSmallDialog {
 public:
  struct Info {
    std::wstring version;       // the installed version
    std::wstring edition_desc;  // the edition's description
    std::string home_page;      // opened by "ombrixbtn"
  };
  CAboutDialog(const std::wstring& skin_folder, Info info);

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBAboutDialog"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI& msg) override;

  void Show();

 protected:
  void InitControls() override;

 private:
  Info info_;
};
