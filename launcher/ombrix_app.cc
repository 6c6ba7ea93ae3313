#include "launcher/ombrix_app.h"

#include <algorithm>

#include "launcher/install_file_ops.h"
#include "launcher/tray_icon.h"
#include "launcher/version_manifest.h"
#include "runtime/http/data_collect_report.h"
#include "runtime/logmaker/log.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/util/text_convert.h"

namespace {

constexpr uintptr_t kBlinkTimer = 1;

brx::http::AbortSignal StopSignalOf(brx::base::ThreadBase* thread) {
  brx::http::AbortSignal abort;
  abort.aborted = [thread] { return thread->IsStopping(); };
  abort.wake_fd = thread->stop_event().fd();
  return abort;
}

}  // namespace

COmbrixApp::COmbrixApp(const LauncherConfig& config, const EditionIdentity& edition,
                       ITrayIcon* tray, const brx::platform::TickClock& clock)
    : config_(config),
      edition_(edition),
      tray_(tray),
      clock_(clock),
      main_thread_id_(brx::base::CurrentThreadId()),
      download_(std::make_unique<brx::base::ThreadMethod>("download")),
      datacollect_(std::make_unique<brx::base::ThreadMethod>("datacollect")) {
  tray_->Add(kIconReady, L"翎岚准备更新...");
  download_->BindThreadMethod(this, &COmbrixApp::Update);
  datacollect_->BindThreadMethod(this, &COmbrixApp::SendStartReport);
}

COmbrixApp::~COmbrixApp() {
  download_->Stop();
  // The start report may finish on its own; after that it is cut short.
  if (datacollect_->IsRunning()) report_done_.Wait(kStartReportWaitMs);
  datacollect_->Stop();
  tray_->Remove();
  if (phase_.load() == kProcessed)
    brx::http::SendDataCollectReport(config_.data_collect_base, brx::http::kEndReportText,
                                     brx::util::Utf8ToWide(edition_.version),
                                     brx::util::Utf8ToWide(edition_.key));
}

void COmbrixApp::Run() {
  datacollect_->Start();
  download_->Start();
  brx::base::SetTimer(0, kBlinkTimer, kBlinkMs);
  bool blink_a = true;
  brx::base::Message msg;
  while (brx::base::GetMessage(&msg)) {
    if (msg.message == brx::base::WM_TIMER && msg.wParam == kBlinkTimer) {
      tray_->SetIcon(blink_a ? kIconBlinkA : kIconBlinkB);
      blink_a = !blink_a;
    } else if (msg.message == kProgressMessage) {
      std::wstring tip;
      if (progress_tip_.Update(msg.wParam, static_cast<uint64_t>(msg.lParam), progress_time_.load(),
                               &tip))
        tray_->SetTip(tip);
    } else if (msg.message == kTipMessage) {
      ApplyPendingTips();
    }
  }
  brx::base::KillTimer(0, kBlinkTimer);
  ApplyPendingTips();
}

void COmbrixApp::ApplyPendingTips() {
  std::deque<std::wstring> tips;
  {
    std::lock_guard<std::mutex> lock(tips_mutex_);
    tips.swap(pending_tips_);
  }
  for (const std::wstring& tip : tips) tray_->SetTip(tip);
}

UpdateOutcome COmbrixApp::TakeOutcome() {
  download_->Stop();
  return outcome_;
}

bool COmbrixApp::OnProgress(uint64_t received, uint64_t expected) {
  uint32_t now = clock_.Now();
  uint32_t elapsed = now - download_start_.load();
  int phase = phase_.load();
  if ((phase == kManifest && elapsed > kManifestDownloadCapMs) ||
      (phase == kPatch && elapsed > kPatchDownloadCapMs))
    return false;
  progress_time_ = now;
  brx::base::PostThreadMessage(main_thread_id_, kProgressMessage, static_cast<uintptr_t>(received),
                               static_cast<intptr_t>(expected));
  return true;
}

void COmbrixApp::SetTip(const std::wstring& tip) {
  if (brx::base::CurrentThreadId() == main_thread_id_) {
    tray_->SetTip(tip);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(tips_mutex_);
    pending_tips_.push_back(tip);
  }
  brx::base::PostThreadMessage(main_thread_id_, kTipMessage, 0, 0);
}

brx::http::DownloadOptions COmbrixApp::BeginDownload(Phase phase) {
  download_start_ = clock_.Now();
  phase_ = phase;
  brx::http::DownloadOptions options;
  options.progress = [this](uint64_t received, uint64_t expected) {
    return OnProgress(received, expected);
  };
  options.abort = StopSignalOf(download_.get());
  // Below the caps, a server that stops sending is given up on at the cap too.
  uint32_t cap = phase == kManifest ? kManifestDownloadCapMs : kPatchDownloadCapMs;
  options.limits.connect_ms = cap;
  options.limits.idle_ms = cap;
  // A server that sends without end, or announces more than the cap, is
  // given up on as soon as that shows (the transfer logs it). A full disk
  // still caps at a byte: 0 would mean no cap at all.
  options.limits.max_reply_bytes =
      phase == kManifest ? kManifestMaxBytes
                         : std::max<uint64_t>(1, std::min(config_.patch_cap_bytes,
                                                          FreeSpaceAt(config_.PatchFolder())));
  return options;
}

void COmbrixApp::SendStartReport() {
  brx::http::SendDataCollectReport(config_.data_collect_base, brx::http::StartReportText(),
                                   brx::util::Utf8ToWide(edition_.version),
                                   brx::util::Utf8ToWide(edition_.key),
                                   StopSignalOf(datacollect_.get()));
  report_done_.Set();
}

void COmbrixApp::Update() {
  outcome_ = RunUpdateProcedure(config_, edition_, this);
  brx::base::PostThreadMessage(main_thread_id_, brx::base::WM_QUIT, 0, 0);
}
