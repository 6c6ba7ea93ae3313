#pragma once

#include <memory>
#include <string>

#include "uilib/controls/paint_manager_ui.h"
#include "uilib/controls/ui_event.h"
#include "uilib/winsys/window_wnd.h"

namespace uilib {
class CListUI;
}  // namespace uilib
class UninstallRemoval;
class UninstallReport;

// The uninstaller's window: page 1 warns and asks, page 2 lists every
// removed file as the removal reports it. Built from the layout file
// "OBUninstall.xml" shipped beside the program, whose controls carry the
// dialog's resource ids as names. Messages to the user appear in the
// window's own message panel. Once the removal has begun, the window cannot
// be closed until "完成" is enabled: a half-done removal helps nobody.
class UninstallDialog : public uilib::CWindowWnd, public uilib::INotifyUI {
 public:
  // Message numbers of the removal's events (a heap std::string path in
  // wParam, freed by the dialog) and of its end.
  static constexpr uilib::UINT kFileDeleted = 2028;
  static constexpr uilib::UINT kFileFailed = 2029;
  static constexpr uilib::UINT kFolderFailed = 2030;
  static constexpr uilib::UINT kRemovalFinished = 2031;

  UninstallDialog(std::wstring layout, std::string edition_key, std::string folder,
                  std::wstring version, std::string report_base, std::string website);
  ~UninstallDialog() override;

  // Makes, centres and shows the window; false when the layout cannot be built.
  bool Open();
  // Waits a bounded time for the removal report, after the loop has ended.
  void WaitForReport();

  bool removal_started() const { return removal_ != nullptr; }
  bool removal_finished() const { return finished_; }
  uilib::CPaintManagerUI& paint_manager() { return pm_; }

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBUninstallFrame"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wParam,
                               uilib::LPARAM lParam) override;
  void Notify(uilib::TNotifyUI& msg) override;

 private:
  enum class Question { kNone, kNotice, kConfirm };

  void OnUninstallClicked();
  void Ask(Question question, const wchar_t* caption, const wchar_t* text);
  void Answer(bool ok);
  void StartRemoval();
  void AddListLine(uilib::UINT event, const std::string& path);
  // Finds the controls below; false (logged) when the layout lacks one.
  bool BindControls();
  // The frame ends the program, unless the removal is still at work.
  void CloseFrame();

  const std::wstring layout_;
  const std::string key_;
  const std::string folder_;
  const std::wstring version_;
  const std::string report_base_;
  const std::string website_;
  uilib::CPaintManagerUI pm_;
  // The layout's controls the dialog works with, found once it is built.
  struct Controls {
    uilib::CControlUI* page_one = nullptr;
    uilib::CControlUI* page_two = nullptr;
    uilib::CControlUI* finish = nullptr;
    uilib::CControlUI* message_panel = nullptr;
    uilib::CControlUI* message_caption = nullptr;
    uilib::CControlUI* message_text = nullptr;
    uilib::CControlUI* message_ok = nullptr;
    uilib::CControlUI* message_cancel = nullptr;
    uilib::CListUI* file_list = nullptr;
  } controls_;
  Question question_ = Question::kNone;
  bool finished_ = false;
  std::unique_ptr<class RemovalToWindow> sink_;
  std::unique_ptr<UninstallRemoval> removal_;
  std::unique_ptr<UninstallReport> report_;
};

// What the user is told when the folder given is not an installation:
// nothing was removed.
std::wstring NotAnInstallationText(const std::string& folder);
// Tells it in a message box ("提示"), the only window there is then: the
// dialog's layout comes with an installation.
void ShowNotAnInstallation(const std::string& folder);
