#pragma once

#include "client/ui/dialogs/ob_small_dialog.h"

// What the storage quota note asks of the settings dialog that owns it.
class IQuotaDialogOwner {
 public:
  virtual ~IQuotaDialogOwner() = default;
  virtual void CloseSettings() = 0;
  // Brings up the page of the screenshot folder settings.
  virtual void ShowScreenshotFolderPage() = 0;
  virtual void OpenScreenshotFolder() = 0;
};

// The note that the screenshot store has outgrown its quota.
class CQuotaOverflowDialog : public OBSmallDialog {
 public:
  // `owner` may be null; it outlives the dialog.
  CQuotaOverflowDialog(const std::wstring& skin_folder, IQuotaDialogOwner* owner);

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBSysConfigure"; }
  uilib::UINT GetClassStyle() const override { return 2059; }
  void Notify(uilib::TNotifyUI& msg) override;

  void Show(int megabytes);

 protected:
  void InitControls() override {}

 private:
  IQuotaDialogOwner* owner_;
};
