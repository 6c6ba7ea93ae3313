#include "client/ui/tray/ob_msg_tray_pos.h"

#include "uilib/win_api.h"

OBMsgTrayPos::~OBMsgTrayPos() { Stop(); }

void OBMsgTrayPos::SetTarget(uilib::HWND hwnd, uilib::WPARAM wparam, uilib::UINT message) {
  std::lock_guard<std::mutex> lock(target_mutex_);
  hwnd_ = hwnd;
  wparam_ = wparam;
  message_ = message;
}

void OBMsgTrayPos::OnHover() { Post(uilib::WM_MOUSEHOVER); }
void OBMsgTrayPos::OnLeave() { Post(uilib::WM_MOUSELEAVE); }

void OBMsgTrayPos::Post(uilib::LPARAM what) {
  std::lock_guard<std::mutex> lock(target_mutex_);
  if (hwnd_ != 0 && uilib::IsWindow(hwnd_)) uilib::PostMessage(hwnd_, message_, wparam_, what);
}
