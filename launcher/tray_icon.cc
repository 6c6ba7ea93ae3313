#include "launcher/tray_icon.h"

#include <fcntl.h>
#include <unistd.h>

#include "runtime/util/text_convert.h"

namespace {

std::wstring Cut(const std::wstring& tip) { return tip.substr(0, ITrayIcon::kMaxTip); }

}  // namespace

RecordingTrayIcon::RecordingTrayIcon(std::string record_file)
    : record_file_(std::move(record_file)) {}

void RecordingTrayIcon::Add(int icon, const std::wstring& tip) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    icon_ = icon;
    tip_ = Cut(tip);
    shown_ = true;
  }
  Record("add " + std::to_string(icon) + " " + brx::util::WideToUtf8(Cut(tip)));
}

void RecordingTrayIcon::SetIcon(int icon) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    icon_ = icon;
  }
  Record("icon " + std::to_string(icon));
}

void RecordingTrayIcon::SetTip(const std::wstring& tip) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tip_ = Cut(tip);
  }
  Record("tip " + brx::util::WideToUtf8(Cut(tip)));
}

void RecordingTrayIcon::Remove() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_ = false;
  }
  Record("remove");
}

void RecordingTrayIcon::Record(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  changes_.push_back(line);
  if (record_file_.empty()) return;
  // One append per line keeps lines whole for a reader that follows the file.
  int fd = open(record_file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  std::string text = line + "\n";
  if (write(fd, text.data(), text.size()) < 0) {
    // The record is a courtesy; the icon itself works without it.
  }
  close(fd);
}

std::vector<std::string> RecordingTrayIcon::changes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return changes_;
}

int RecordingTrayIcon::icon() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return icon_;
}

std::wstring RecordingTrayIcon::tip() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tip_;
}

bool RecordingTrayIcon::shown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_;
}
