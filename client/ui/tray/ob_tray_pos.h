#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "uilib/winsys/ui_defs.h"

// Turns the stream of mouse-move callbacks of the notification icon into
// hover and leave: the first move after a leave is a hover; while the
// cursor is taken to be on the icon, a thread asks every interval for the
// cursor to be looked at, and a leave is reported once it has moved from
// where the last move left it. The thread never touches the UI (the
// toolkit is not thread-safe): it only asks, and the GUI thread reads the
// cursor in CheckCursor.
class OBTrayPos {
 public:
  explicit OBTrayPos(std::chrono::milliseconds interval = std::chrono::milliseconds(1000));
  virtual ~OBTrayPos();
  OBTrayPos(const OBTrayPos&) = delete;
  OBTrayPos& operator=(const OBTrayPos&) = delete;

  // GUI thread, on every mouse-move callback.
  void Track();
  // GUI thread, when the request of RequestCheck arrives.
  void CheckCursor();

 protected:
  // Derived destructors call this first, so that the thread never calls
  // into a half-destroyed object.
  void Stop();
  // GUI thread.
  virtual void OnHover() = 0;
  virtual void OnLeave() = 0;
  // The tracker's thread: have CheckCursor run on the GUI thread (post).
  // Not asked again until that has run.
  virtual void RequestCheck() = 0;

 private:
  void Run();

  const std::chrono::milliseconds interval_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool tracking_ = false;
  bool check_pending_ = false;
  uilib::POINT last_{};
  std::thread thread_;
};
