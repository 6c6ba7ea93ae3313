#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "uilib/builder/dialog_builder.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/region.h"
#include "uilib/controls/ui_event.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_wnd.h"

namespace uilib::testing {

// A skinned window as the client's windows are built on the library: the
// layout is built in WM_CREATE, the caption band drags, the top corners
// are round, and everything else goes to the paint manager. Records what
// reaches it.
class SkinWindow : public CWindowWnd, public INotifyUI {
 public:
  explicit SkinWindow(std::wstring skin, IDialogBuilderCallback* callback = nullptr)
      : skin_(std::move(skin)), callback_(callback) {}

  LPCTSTR GetWindowClassName() const override { return L"SkinTestWindow"; }

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_KEYDOWN || msg == WM_KEYUP) keys.push_back({msg, static_cast<UINT>(wParam)});
    if (msg == WM_IME_STARTCOMPOSITION || msg == WM_IME_ENDCOMPOSITION) composition.push_back(msg);
    if (msg == WM_TIMER) timers.push_back(wParam);
    if (msg == WM_COMMAND) commands.push_back(static_cast<UINT>(wParam));
    if (msg == user_message && user_message != 0) user_lparams.push_back(lParam);
    switch (msg) {
      case WM_CREATE: {
        pm.Init(GetHWND());
        CDialogBuilder builder;
        CControlUI* root = builder.Create(skin_, nullptr, callback_, &pm);
        built = root != nullptr;
        pm.AttachDialog(root);
        pm.AddNotifier(this);
        SIZE init = pm.GetInitSize();
        if (init.cx != 0)
          SetWindowPos(GetHWND(), 0, 0, 0, init.cx, init.cy, SWP_NOMOVE | SWP_NOZORDER);
        return 0;
      }
      case WM_NCHITTEST: {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(GetHWND(), &pt);
        RECT client;
        GetClientRect(GetHWND(), &client);
        RECT band = pm.GetCaptionRect();
        if (pt.x >= client.left + band.left && pt.x < client.right - band.right &&
            pt.y >= band.top && pt.y < band.bottom) {
          CControlUI* c = pm.FindControl(pt);
          if (c && std::wstring(c->GetClass()) != L"ButtonUI") return HTCAPTION;
        }
        return HTCLIENT;
      }
      case WM_SIZE: {
        SIZE corner = pm.GetRoundCorner();
        if (wParam != SIZE_MINIMIZED && (corner.cx != 0 || corner.cy != 0)) {
          RECT rc;
          GetClientRect(GetHWND(), &rc);
          Region a = CreateRectRgn(rc.left, rc.top + corner.cx, rc.right, rc.bottom);
          Region b = CreateRoundRectRgn(rc.left, rc.top, rc.right + 1, rc.bottom - corner.cx,
                                        corner.cx, corner.cy);
          CombineRgn(&a, a, b, RGN_OR);
          SetWindowRgn(GetHWND(), &a, true);
        }
        break;
      }
      default:
        break;
    }
    LRESULT res = 0;
    if (pm.MessageHandler(msg, wParam, lParam, res)) return res;
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
  }

  void Notify(TNotifyUI& msg) override {
    notes.push_back(msg.sType + L":" + (msg.pSender ? msg.pSender->GetName() : L""));
    if (on_notify) on_notify(msg);
  }

  void OnFinalMessage(HWND) override { ++final_messages; }

  // Notifications other than windowinit/setfocus/killfocus, in order.
  std::vector<std::wstring> Notes() const {
    std::vector<std::wstring> out;
    for (const auto& n : notes) {
      if (n.rfind(L"windowinit", 0) != 0 && n.rfind(L"setfocus", 0) != 0 &&
          n.rfind(L"killfocus", 0) != 0)
        out.push_back(n);
    }
    return out;
  }

  CPaintManagerUI pm;
  bool built = false;
  int final_messages = 0;
  std::vector<std::wstring> notes;
  std::vector<std::pair<UINT, UINT>> keys;
  std::vector<UINT> composition;  // WM_IME_STARTCOMPOSITION, WM_IME_ENDCOMPOSITION
  std::vector<WPARAM> timers;
  std::vector<UINT> commands;
  UINT user_message = 0;
  std::vector<LPARAM> user_lparams;
  std::function<void(TNotifyUI&)> on_notify;

 private:
  std::wstring skin_;
  IDialogBuilderCallback* callback_;
};

}  // namespace uilib::testing
