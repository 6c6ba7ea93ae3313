#include "client/ui/tray/ob_msg_tray_pos.h"

#include "uilib/winsys/win_api.h"

OBMsgTrayPos::~OBMsgTrayPos() { Stop(); }

void OBMsgTrayPos::SetTarget(uilib::HWND hwnd, uilib::WPARAM wparam, uilib::UINT message,
                             uilib::UINT check_message) {
  std::lock_guard<std::mutex> lock(target_mutex_);
  hwnd_ = hwnd;
  wparam_ = wparam;
  message_ = message;
  check_message_ = check_message;
}

void OBMsgTrayPos::OnHover() { Post(0, uilib::WM_MOUSEHOVER); }
void OBMsgTrayPos::OnLeave() { Post(0, uilib::WM_MOUSELEAVE); }
void OBMsgTrayPos::RequestCheck() { Post(check_message_, 0); }

void OBMsgTrayPos::Post(uilib::UINT message, uilib::LPARAM what) {
  uilib::HWND hwnd;
  uilib::WPARAM wparam;
  {
    std::lock_guard<std::mutex> lock(target_mutex_);
    hwnd = hwnd_;
    wparam = wparam_;
    if (message == 0) message = message_;
  }
  // Both are safe from any thread; nothing else of the UI is touched here.
  if (hwnd != 0 && message != 0 && uilib::IsWindow(hwnd))
    uilib::PostMessage(hwnd, message, wparam, what);
}
