#pragma once

#include <cstdint>
#include <string>

// The tray tip that shows a download's progress, changed at most once a
// second: "翎岚下载中...<percent>%[<speed>KB/s]". Lives on the launcher's
// main thread.
class DownloadProgressTip {
 public:
  static constexpr uint32_t kIntervalMs = 1000;

  // Takes one progress report (`expected` 0: length unknown) at tick
  // `now`. True with `*tip` set when the tip is to change. A count below
  // the last one starts a new download: the first report of each download
  // only sets the baseline, so a speed is never taken across two downloads.
  bool Update(uint64_t received, uint64_t expected, uint32_t now, std::wstring* tip);

 private:
  bool has_baseline_ = false;
  uint32_t last_time_ = 0;
  uint64_t last_bytes_ = 0;
};
