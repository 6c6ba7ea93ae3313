#include "client/ui/tray/ob_tray_pos.h"

#include "uilib/win_api.h"

OBTrayPos::OBTrayPos(std::chrono::milliseconds interval) : interval_(interval), thread_([this] { Run(); }) {}

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
  bool hover = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    uilib::GetCursorPos(&last_);
    if (!tracking_) {
      tracking_ = true;
      hover = true;
    }
  }
  if (hover) OnHover();
}

void OBTrayPos::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, interval_, [this] { return stop_; })) {
    if (!tracking_) continue;
    uilib::POINT now{};
    uilib::GetCursorPos(&now);
    if (now.x == last_.x && now.y == last_.y) continue;
    tracking_ = false;
    lock.unlock();
    OnLeave();
    lock.lock();
  }
}
