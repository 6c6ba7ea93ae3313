#include "launcher/download_progress_tip.h"

#include <cwchar>

bool DownloadProgressTip::Update(uint64_t received, uint64_t expected, uint32_t now,
                                 std::wstring* tip) {
  if (!has_baseline_ || received < last_bytes_) {
    has_baseline_ = true;
    last_time_ = now;
    last_bytes_ = received;
    return false;
  }
  uint32_t elapsed = now - last_time_;
  if (elapsed < kIntervalMs) return false;
  // Bytes per millisecond is near enough kilobytes per second.
  uint64_t speed = (received - last_bytes_) / elapsed;
  wchar_t text[128];
  if (expected > 0) {
    uint64_t percent = received >= expected ? 100 : received * 100 / expected;
    swprintf(text, 128, L"翎岚下载中...%d%%[%dKB/s]", static_cast<int>(percent),
             static_cast<int>(speed));
  } else {
    // A server that sends no length gets no percentage.
    swprintf(text, 128, L"翎岚下载中...[%dKB/s]", static_cast<int>(speed));
  }
  *tip = text;
  last_time_ = now;
  last_bytes_ = received;
  return true;
}
