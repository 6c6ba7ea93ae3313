#pragma once

#include "client/ui/tray/ob_tray_pos.h"

// A hover tracker that posts hover and leave to a window as if the icon
// had reported them: (message, wParam, WM_MOUSEHOVER or WM_MOUSELEAVE).
// Its thread asks for the cursor to be looked at by posting
// `check_message` to the same window, which calls CheckCursor for it.
class OBMsgTrayPos : public OBTrayPos {
 public:
  using OBTrayPos::OBTrayPos;
  ~OBMsgTrayPos() override;

  void SetTarget(uilib::HWND hwnd, uilib::WPARAM wparam, uilib::UINT message,
                 uilib::UINT check_message);

 protected:
  void OnHover() override;
  void OnLeave() override;
  void RequestCheck() override;

 private:
  void Post(uilib::UINT message, uilib::LPARAM what);

  std::mutex target_mutex_;
  uilib::HWND hwnd_ = 0;
  uilib::WPARAM wparam_ = 0;
  uilib::UINT message_ = 0;
  uilib::UINT check_message_ = 0;
};
