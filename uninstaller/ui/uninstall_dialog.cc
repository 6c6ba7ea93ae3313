#include "uninstaller/ui/uninstall_dialog.h"

#include <utility>

#include "runtime/base/thread.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/shell.h"
#include "runtime/util/text_convert.h"
#include "uilib/controls/control_ui.h"
#include "uilib/builder/dialog_builder.h"
#include "uilib/controls/list_ui.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"
#include "uninstaller/installation_guard.h"
#include "uninstaller/uninstall_removal.h"
#include "uninstaller/uninstall_report.h"

using uilib::HWND;
using uilib::LPARAM;
using uilib::LRESULT;
using uilib::POINT;
using uilib::RECT;
using uilib::SIZE;
using uilib::UINT;
using uilib::WPARAM;

namespace {

using uilib::CControlUI;

// The dialog resources' ids, the names of the layout's controls.
constexpr wchar_t kPageOne[] = L"201";
constexpr wchar_t kPageTwo[] = L"202";
constexpr wchar_t kWebLink[] = L"1003";
constexpr wchar_t kUninstallButton[] = L"1004";
constexpr wchar_t kCancelButton[] = L"1005";
constexpr wchar_t kFinishButton[] = L"1007";
constexpr wchar_t kFileList[] = L"1009";
// The message panel.
constexpr wchar_t kMessagePanel[] = L"msgbox";
constexpr wchar_t kMessageCaption[] = L"msgcaption";
constexpr wchar_t kMessageText[] = L"msgtext";
constexpr wchar_t kMessageOk[] = L"msgok";
constexpr wchar_t kMessageCancel[] = L"msgcancel";

constexpr int kFrameIcon = 128;
constexpr int kListRowHeight = 18;
// The report has its own 10 s time-outs; a little more covers the rest.
constexpr int kReportWaitMs = 12000;

}  // namespace

// Hands the removal's events to the window as messages, each path in a
// string owned by the message. Made on the window's thread, whose queue
// carries the window's messages.
class RemovalToWindow : public IRemovalSink {
 public:
  explicit RemovalToWindow(HWND hwnd) : hwnd_(hwnd), thread_id_(brx::base::CurrentThreadId()) {}
  void OnRemoval(Event event, const std::string& path) override {
    brx::base::PostOwnedMessage(thread_id_, hwnd_, event, std::make_unique<std::string>(path));
  }
  void OnFinished() override { uilib::PostMessage(hwnd_, UninstallDialog::kRemovalFinished, 0, 0); }

 private:
  const HWND hwnd_;
  const uint32_t thread_id_;
};

UninstallDialog::UninstallDialog(std::wstring layout, std::string edition_key, std::string folder,
                                 std::wstring version, std::string report_base, std::string website)
    : layout_(std::move(layout)),
      key_(std::move(edition_key)),
      folder_(std::move(folder)),
      version_(std::move(version)),
      report_base_(std::move(report_base)),
      website_(std::move(website)) {}

UninstallDialog::~UninstallDialog() {
  if (removal_) removal_->Stop();
  if (report_) report_->Stop();
}

bool UninstallDialog::Open() {
  if (!Create(0, L"卸载翎岚", uilib::WS_POPUP, 0)) return false;
  CenterWindow();
  SetIcon(kFrameIcon);
  ShowWindow(true);
  return true;
}

void UninstallDialog::WaitForReport() {
  if (removal_) removal_->Stop();
  if (report_) report_->WaitForEnd(kReportWaitMs);
}

LRESULT UninstallDialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case uilib::WM_CREATE: {
      pm_.Init(GetHWND());
      uilib::CDialogBuilder builder;
      CControlUI* root = builder.Create(layout_, nullptr, nullptr, &pm_);
      if (!root) return -1;
      pm_.AttachDialog(root);
      if (!BindControls()) return -1;
      pm_.AddNotifier(this);
      SIZE size = pm_.GetInitSize();
      if (size.cx != 0)
        uilib::SetWindowPos(GetHWND(), 0, 0, 0, size.cx, size.cy,
                            uilib::SWP_NOMOVE | uilib::SWP_NOZORDER);
      if (CControlUI* link = pm_.FindControlQuiet(kWebLink); link && !website_.empty())
        link->SetText(brx::util::Utf8ToWide(website_));
      return 0;
    }
    case uilib::WM_NCHITTEST: {
      POINT pt{uilib::GET_X_LPARAM(lParam), uilib::GET_Y_LPARAM(lParam)};
      uilib::ScreenToClient(GetHWND(), &pt);
      RECT band = pm_.GetCaptionRect();
      if (pt.y >= band.top && pt.y < band.bottom) {
        CControlUI* c = pm_.FindControl(pt);
        if (!c || std::wstring(c->GetClass()) != L"ButtonUI") return uilib::HTCAPTION;
      }
      return uilib::HTCLIENT;
    }
    case uilib::WM_KEYDOWN:
      // Escape is the dialog's cancel: it answers an open question "no",
      // otherwise it closes the frame.
      if (wParam == uilib::VK_ESCAPE) {
        if (question_ != Question::kNone)
          Answer(false);
        else
          CloseFrame();
        return 0;
      }
      if (wParam == uilib::VK_RETURN && question_ != Question::kNone) {
        Answer(true);
        return 0;
      }
      break;
    case uilib::WM_CLOSE:
      CloseFrame();
      return 0;
    case uilib::WM_DESTROY:
      uilib::PostQuitMessage(0);
      break;
    case kFileDeleted:
    case kFileFailed:
    case kFolderFailed: {
      std::unique_ptr<std::string> path = brx::base::TakeMessagePayload<std::string>(wParam);
      if (path) AddListLine(msg, *path);
      return 0;
    }
    case kRemovalFinished:
      finished_ = true;
      controls_.finish->SetEnabled(true);
      return 0;
    default:
      break;
  }
  LRESULT res = 0;
  if (pm_.MessageHandler(msg, wParam, lParam, res)) return res;
  return CWindowWnd::HandleMessage(msg, wParam, lParam);
}

void UninstallDialog::Notify(uilib::TNotifyUI& msg) {
  if (msg.sType != L"click" || !msg.pSender) return;
  std::wstring name = msg.pSender->GetName();
  if (name == kMessageOk)
    Answer(true);
  else if (name == kMessageCancel)
    Answer(false);
  else if (name == kCancelButton)
    CloseFrame();
  else if (name == kUninstallButton)
    OnUninstallClicked();
  else if (name == kFinishButton)
    CloseFrame();
  else if (name == kWebLink && !website_.empty())
    uilib::GetUiBackend().GetShell().OpenUrl(website_);
}

void UninstallDialog::OnUninstallClicked() {
  switch (FindRunningProgram(key_)) {
    case RunningProgram::kClient:
      Ask(Question::kNotice, L"提示", L"卸载程序检测到翎岚正在运行,请退出翎岚后重试");
      return;
    case RunningProgram::kGame:
      Ask(Question::kNotice, L"提示", L"卸载程序检测到游戏正在运行,请退出游戏后重试");
      return;
    case RunningProgram::kNone:
      Ask(Question::kConfirm, L"警告", L"卸载翎岚,将会删除游戏截图,确认删除?");
      return;
  }
}

void UninstallDialog::Ask(Question question, const wchar_t* caption, const wchar_t* text) {
  question_ = question;
  controls_.message_caption->SetText(caption);
  controls_.message_text->SetText(text);
  controls_.message_cancel->SetVisible(question == Question::kConfirm);
  // The page behind waits for the answer.
  controls_.page_one->SetEnabled(false);
  controls_.message_panel->SetVisible(true);
  controls_.message_ok->SetFocus();
}

void UninstallDialog::Answer(bool ok) {
  Question question = question_;
  question_ = Question::kNone;
  controls_.message_panel->SetVisible(false);
  controls_.page_one->SetEnabled(true);
  if (question != Question::kConfirm) return;
  if (ok)
    StartRemoval();
  else
    CloseFrame();
}

void UninstallDialog::StartRemoval() {
  controls_.page_one->SetVisible(false);
  controls_.page_two->SetVisible(true);
  controls_.finish->SetEnabled(false);
  sink_ = std::make_unique<RemovalToWindow>(GetHWND());
  removal_ = std::make_unique<UninstallRemoval>(folder_, key_, sink_.get());
  report_ = std::make_unique<UninstallReport>(report_base_, version_, brx::util::Utf8ToWide(key_));
  removal_->Start();
  report_->Start();
}

void UninstallDialog::AddListLine(UINT event, const std::string& path) {
  uilib::CListUI* list = controls_.file_list;
  auto* row = new uilib::CListLabelElementUI;
  row->SetText(
      brx::util::Utf8ToWide(RemovalListLine(static_cast<IRemovalSink::Event>(event), path)));
  row->SetFixedHeight(kListRowHeight);
  list->Add(row);
  // Keep the last line in view: the rows that no longer fit above it are
  // hidden, the list keeps them all.
  int fits = list->GetHeight() > 0 ? list->GetHeight() / kListRowHeight : 1;
  int hidden = list->GetCount() - fits;
  if (hidden > 0) list->GetItemAt(hidden - 1)->SetVisible(false);
}

bool UninstallDialog::BindControls() {
  // Looked up once: a layout that lacks one refuses the dialog here rather
  // than failing at the first click that needs it.
  const std::pair<const wchar_t*, CControlUI**> required[] = {
      {kPageOne, &controls_.page_one},
      {kPageTwo, &controls_.page_two},
      {kFinishButton, &controls_.finish},
      {kMessagePanel, &controls_.message_panel},
      {kMessageCaption, &controls_.message_caption},
      {kMessageText, &controls_.message_text},
      {kMessageOk, &controls_.message_ok},
      {kMessageCancel, &controls_.message_cancel},
  };
  const wchar_t* missing = nullptr;
  for (const auto& [name, slot] : required) {
    *slot = pm_.FindControlQuiet(name);
    if (*slot == nullptr && missing == nullptr) missing = name;
  }
  controls_.file_list = dynamic_cast<uilib::CListUI*>(pm_.FindControlQuiet(kFileList));
  if (controls_.file_list == nullptr && missing == nullptr) missing = kFileList;
  if (missing == nullptr) return true;
  LogError(L"%s:%d:the uninstall layout lacks the required control %ls; the dialog is not made\n",
           __func__, __LINE__, missing);
  return false;
}

void UninstallDialog::CloseFrame() {
  if (removal_ && !finished_) return;
  uilib::DestroyWindow(GetHWND());
}

std::wstring NotAnInstallationText(const std::string& folder) {
  return brx::util::Utf8ToWide(folder) + L" 不是翎岚的安装文件夹,未删除任何文件";
}

void ShowNotAnInstallation(const std::string& folder) {
  uilib::MessageBox(0, NotAnInstallationText(folder).c_str(), L"提示");
}
