#include "client/ui/picture/ob_pic_wnd.h"

#include "client/core/message_ids.h"
#include "uilib/winsys/win_api.h"

void COBPicWnd::OnChooseFile(const PictureItem& copy, bool /*series_open*/) {
  PictureItem chosen = copy;
  uilib::SendMessage(uilib::GetWindowOwner(GetHWND()), ombrix::messages::kScreenshotChosen, 0,
                     reinterpret_cast<uilib::LPARAM>(&chosen));
  Hide();
}
