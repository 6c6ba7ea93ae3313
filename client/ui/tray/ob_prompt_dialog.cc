#include "client/ui/tray/ob_prompt_dialog.h"

#include <cwchar>

#include "client/core/event_ids.h"
#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace {

struct Line {
  const wchar_t* button;
  const wchar_t* format;
  const wchar_t* page;
};
constexpr Line kLines[] = {{L"botton_new", L"   有新日记 (%d)", L"1"},
                           {L"botton_aboutme", L"   提到我的 (%d)", L"2"},
                           {L"botton_newmessage", L"   有新私信 (%d)", L"3"},
                           {L"botton_newfans", L"   有新粉丝 (%d)", L"4"}};

}  // namespace

OBPromptDialog::OBPromptDialog(const std::wstring& skin_folder, EventChain* events,
                               const IWebUser* user, ITrayFrame* frame)
    : OBUIWindow(std::make_unique<CDialogBuilderCallbackEx>(nullptr), true),
      events_(events),
      user_(user),
      frame_(frame) {
  skin_source_ = skin_folder + L"/prompt_dialog.xml";
  if (events_ != nullptr) {
    for (int id : {SEVENT_RESPONSE_ResetMirrorBlogCount, SEVENT_RESPONSE_ResetAboutUserCount,
                   SEVENT_RESPONSE_ResetMessageCount, SEVENT_RESPONSE_ResetFansCount})
      subscriptions_.push_back(
          events_->Subscribe(id, [this](const EventParameter*) { RefreshTexts(); }));
  }
}

OBPromptDialog::~OBPromptDialog() {
  for (EventChain::Handle handle : subscriptions_) events_->Unsubscribe(handle);
}

void OBPromptDialog::RefreshTexts() {
  if (GetHWND() == 0) return;
  const int counts[] = {user_->new_mirror_blog_count(), user_->new_about_user_count(),
                        user_->new_message_count(), user_->new_fans_count()};
  for (size_t i = 0; i < 4; ++i) {
    wchar_t text[256];
    std::swprintf(text, 256, kLines[i].format, counts[i]);
    if (CControlUI* button = Find(kLines[i].button)) button->SetText(text);
  }
}

void OBPromptDialog::PlaceAndShow() {
  if (user_->new_mirror_blog_count() == 0 && user_->new_about_user_count() == 0 &&
      user_->new_message_count() == 0 && user_->new_fans_count() == 0) {
    ShowWindow(false);
    return;
  }
  RECT work = GetWorkArea();
  POINT cursor{};
  GetCursorPos(&cursor);
  RECT client{};
  GetClientRect(GetHWND(), &client);
  SetWindowPos(GetHWND(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  int x = cursor.x;
  int y = cursor.y;
  if (x + client.Width() > work.right) x = work.right - client.Width();
  if (y + client.Height() > work.bottom) y = work.bottom - client.Height();
  MoveWindow(GetHWND(), x, y, client.Width(), client.Height(), true);
  ShowWindow(true, true);
}

void OBPromptDialog::OpenFirstNew() {
  ShowWindow(false);
  if (frame_ == nullptr || frame_->GetFrameHwnd() == 0) return;
  const int counts[] = {user_->new_mirror_blog_count(), user_->new_about_user_count(),
                        user_->new_message_count(), user_->new_fans_count()};
  for (size_t i = 0; i < 4; ++i) {
    if (counts[i] != 0) {
      frame_->ShowRemind(kLines[i].page);
      return;
    }
  }
}

LRESULT OBPromptDialog::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_MOUSEMOVE:
      // The cursor came over from the icon: the icon's leave must not hide
      // the dialog under it. The paint manager still sees the move.
      inside_ = true;
      break;
    case WM_MOUSELEAVE:
      inside_ = false;
      ShowWindow(false);
      return 0;
    case WM_MOUSEHOVER:
    case WM_CLOSE:
      return 0;
    default:
      break;
  }
  return OBUIWindow::HandleMessage(msg, wparam, lparam);
}

void OBPromptDialog::Notify(TNotifyUI& msg) {
  if (msg.sType != L"click" || msg.pSender == nullptr) return;
  for (const Line& line : kLines) {
    if (msg.pSender->GetName() == line.button && frame_ != nullptr) frame_->ShowRemind(line.page);
  }
  if (frame_ != nullptr && frame_->GetFrameHwnd() != 0) SetForegroundWindow(frame_->GetFrameHwnd());
  RefreshTexts();
}
