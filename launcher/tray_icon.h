#pragma once

#include <mutex>
#include <string>
#include <vector>

// The launcher's icon in the notification area: an image id and a tip.
// The update procedure changes the tip from its own thread, the main
// thread blinks the image, so implementations are thread-safe.
class ITrayIcon {
 public:
  static constexpr size_t kMaxTip = 127;  // longer tips are cut

  virtual ~ITrayIcon() = default;
  virtual void Add(int icon, const std::wstring& tip) = 0;
  virtual void SetIcon(int icon) = 0;
  virtual void SetTip(const std::wstring& tip) = 0;
  virtual void Remove() = 0;
};

// Keeps every change in memory and, when given a file, appends it there as
// one line ("add <icon> <tip>", "icon <icon>", "tip <tip>", "remove"), so
// another process (a test, the demo) can follow the icon.
class RecordingTrayIcon : public ITrayIcon {
 public:
  explicit RecordingTrayIcon(std::string record_file = "");

  void Add(int icon, const std::wstring& tip) override;
  void SetIcon(int icon) override;
  void SetTip(const std::wstring& tip) override;
  void Remove() override;

  std::vector<std::string> changes() const;
  int icon() const;
  std::wstring tip() const;
  bool shown() const;

 private:
  void Record(const std::string& line);

  const std::string record_file_;
  mutable std::mutex mutex_;
  std::vector<std::string> changes_;
  int icon_ = 0;
  std::wstring tip_;
  bool shown_ = false;
};
