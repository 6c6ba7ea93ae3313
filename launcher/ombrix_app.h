#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "launcher/download_progress_tip.h"
#include "launcher/launcher_config.h"
#include "launcher/update_procedure.h"
#include "runtime/base/thread.h"
#include "runtime/platform/event.h"
#include "runtime/platform/tick_clock.h"

class ITrayIcon;

// The launcher's run: a blinking tray icon, the start report on the
// "datacollect" thread and the update procedure on the "download" thread,
// while the main thread's message loop blinks the icon and shows download
// progress in its tip. The loop ends when the update procedure is done.
//
// Created and run on a thread that owns a brx::base::ThreadMessageQueue.
// The destructor stops both threads (a download in flight is aborted; the
// start report gets 5 s to finish), removes the icon and sends the end
// report when a downloaded patch was processed.
class COmbrixApp : public IUpdateHost {
 public:
  static constexpr uint32_t kProgressMessage = 2024;
  // Tips set off the main thread wait for it: a toolkit's icon is only
  // touched by the thread that runs the toolkit.
  static constexpr uint32_t kTipMessage = 2025;
  static constexpr uint32_t kBlinkMs = 500;
  static constexpr int kStartReportWaitMs = 5000;
  static constexpr int kIconReady = 100, kIconBlinkA = 101, kIconBlinkB = 102;

  COmbrixApp(const LauncherConfig& config, const EditionIdentity& edition, ITrayIcon* tray,
             const brx::platform::TickClock& clock = brx::platform::SystemTickClock());
  ~COmbrixApp() override;
  COmbrixApp(const COmbrixApp&) = delete;
  COmbrixApp& operator=(const COmbrixApp&) = delete;

  // The message loop, until the update procedure ends it (or a quit arrives).
  void Run();
  // What the update procedure did; waits for it to have ended.
  UpdateOutcome TakeOutcome();

  // Download progress, on the "download" thread: false aborts the download
  // once the phase's time cap has passed, or once it is (or is announced
  // as) larger than its size cap: kManifestMaxBytes for the manifest, the
  // configured patch cap or the free space of the patch folder for a patch.
  bool OnProgress(uint64_t received, uint64_t expected);

  int phase() const { return phase_.load(); }

 private:
  // IUpdateHost, on the "download" thread.
  void SetTip(const std::wstring& tip) override;
  void SetPhase(Phase phase) override { phase_ = phase; }
  brx::http::DownloadOptions BeginDownload(Phase phase) override;

  void SendStartReport();
  void ApplyPendingTips();
  void Update();

  const LauncherConfig config_;
  const EditionIdentity edition_;
  ITrayIcon* const tray_;
  const brx::platform::TickClock& clock_;
  const uint32_t main_thread_id_;
  std::atomic<int> phase_{kIdle};
  std::atomic<uint32_t> download_start_{0};
  // When progress was last reported: a report the loop reads late is
  // timed as it was sent, not as it is read.
  std::atomic<uint32_t> progress_time_{0};
  DownloadProgressTip progress_tip_;  // main thread only
  std::mutex tips_mutex_;
  std::deque<std::wstring> pending_tips_;  // guarded by tips_mutex_
  UpdateOutcome outcome_;                  // written by "download" before it ends
  std::unique_ptr<brx::base::ThreadMethod> download_;
  std::unique_ptr<brx::base::ThreadMethod> datacollect_;
  brx::platform::Event report_done_;
};
