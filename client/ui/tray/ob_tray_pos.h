#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "uilib/ui_defs.h"

// Turns the stream of mouse-move callbacks of the notification icon into
// hover and leave: the first move after a leave is a hover; a thread looks
// at the cursor every interval and reports a leave once it has moved from
// where the last move left it. The thread never touches the UI itself.
class OBTrayPos {
 public:
  explicit OBTrayPos(std::chrono::milliseconds interval = std::chrono::milliseconds(1000));
  virtual ~OBTrayPos();
  OBTrayPos(const OBTrayPos&) = delete;
  OBTrayPos& operator=(const OBTrayPos&) = delete;

  // GUI thread, on every mouse-move callback.
  void Track();

 protected:
  // Derived destructors call this first, so that the thread never calls
  // into a half-destroyed object.
  void Stop();
  virtual void OnHover() = 0;
  virtual void OnLeave() = 0;

 private:
  void Run();

  const std::chrono::milliseconds interval_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool tracking_ = false;
  uilib::POINT last_{};
  std::thread thread_;
};
