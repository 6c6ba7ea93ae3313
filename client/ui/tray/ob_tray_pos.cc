#include "client/ui/tray/ob_tray_pos.h"

#include "uilib/winsys/win_api.h"

OBTrayPos::OBTrayPos(std::chrono::milliseconds interval)
    : interval_(interval), thread_([this] { Run(); }) {}

OBTrayPos::~OBTrayPos() { Stop(); }

void OBTrayPos::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void OBTrayPos::Track() {
  uilib::POINT now{};
  uilib::GetCursorPos(&now);
  bool hover = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    last_ = now;
    if (!tracking_) {
      tracking_ = true;
      hover = true;
    }
  }
  if (hover) OnHover();
}

void OBTrayPos::CheckCursor() {
  uilib::POINT now{};
  uilib::GetCursorPos(&now);
  bool leave = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    check_pending_ = false;
    if (tracking_ && (now.x != last_.x || now.y != last_.y)) {
      tracking_ = false;
      leave = true;
    }
  }
  if (leave) OnLeave();
}

void OBTrayPos::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, interval_, [this] { return stop_; })) {
    if (!tracking_ || check_pending_) continue;
    check_pending_ = true;
    lock.unlock();
    RequestCheck();
    lock.lock();
  }
}
