#include "client/host/window_links.h"

#include "client/ui/frame/frame_windows.h"
#include "client/ui/frame/ob_frame_wnd.h"
#include "runtime/logmaker/log.h"

uilib::HWND FrameWindowLink::GetFrameHwnd() const { return frame_.GetHWND(); }

SignInState FrameWindowLink::GetSignInState() const { return frame_.sign_in_state(); }

void FrameWindowLink::ShowAfterSignIn(SignInState state, uilib::HWND, LoginStood login_stood) {
  LogWarn(L"UI: signed in (%ls), the main window takes over\n",
          state == SignInState::kGuest ? L"guest" : L"account");
  frame_.ShowAfterSignIn(state, login_stood);
}

void FrameWindowLink::StartDelayedCheck() { frame_.StartDelayedCheck(); }

void FrameWindowLink::ShowSettings() { frame_.windows().ShowSettings(1); }

void FrameWindowLink::ShowRemind(const std::wstring& which) { frame_.ShowRemind(which); }
