#include "client/ui/base/ob_ui_window.h"

#include <cwchar>

#include "runtime/logmaker/log.h"
#include "uilib/builder/dialog_builder.h"
#include "uilib/winsys/region.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace {

// Style bits of a frameless window: no caption, sizing frame or maximise
// box; children and siblings clipped.
constexpr DWORD kFramelessMask = 0xFF3AFFFF;
constexpr DWORD kClipBits = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

}  // namespace

OBUIWindow::OBUIWindow(std::unique_ptr<IDialogBuilderCallback> callback, bool color_key)
    : builder_callback_(std::move(callback)), color_key_(color_key) {}

OBUIWindow::~OBUIWindow() = default;

LRESULT OBUIWindow::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  bool handled = true;
  LRESULT result = 0;
  switch (msg) {
    case WM_CREATE:
      result = OnCreate(wparam, lparam, handled);
      break;
    case WM_SIZE:
      result = OnSize(wparam, lparam, handled);
      break;
    case WM_NCCALCSIZE:
      result = OnNcCalcSize(wparam, lparam, handled);
      break;
    case WM_NCHITTEST:
      result = OnNcHitTest(wparam, lparam, handled);
      break;
    case WM_NCPAINT:
      result = OnNcPaint(wparam, lparam, handled);
      break;
    case WM_NCACTIVATE:
      result = OnNcActivate(wparam, lparam, handled);
      break;
    default:
      handled = false;
      break;
  }
  if (handled) return result;
  if (paint_manager_.MessageHandler(msg, wparam, lparam, result)) return result;
  return CWindowWnd::HandleMessage(msg, wparam, lparam);
}

void OBUIWindow::OnFinalMessage(HWND hwnd) {
  CWindowWnd::OnFinalMessage(hwnd);
  if (delete_on_final_message_) delete this;
}

LRESULT OBUIWindow::OnCreate(WPARAM, LPARAM, bool& handled) {
  handled = true;
  HWND hwnd = GetHWND();
  SetWindowLong(hwnd, GWL_STYLE,
                static_cast<long>((GetWindowStyle(hwnd) & kFramelessMask) | kClipBits));
  RECT client;
  GetClientRect(hwnd, &client);
  SetWindowPos(hwnd, 0, client.left, client.top, client.Width(), client.Height(), SWP_FRAMECHANGED);
  SetWindowLong(hwnd, GWL_EXSTYLE, static_cast<long>(GetWindowExStyle(hwnd) | WS_EX_LAYERED));
  if (color_key_) SetLayeredWindowAttributes(hwnd, kColorKey, 255, LWA_COLORKEY);

  paint_manager_.Init(hwnd);
  CDialogBuilder builder;
  CControlUI* root =
      builder.Create(skin_source_, nullptr, builder_callback_.get(), &paint_manager_);
  builder_callback_.reset();
  if (root == nullptr) {
    // A window without its controls would only fail later, one look-up at a
    // time; refuse to make it.
    LogError(L"%s:%d:skin %ls of window class %ls not built: %s\n", __func__, __LINE__,
             SkinName().c_str(), GetWindowClassName(), builder.GetLastErrorMessage().c_str());
    return -1;
  }
  paint_manager_.AttachDialog(root);
  if (!BindRequired()) return -1;
  paint_manager_.AddNotifier(this);

  SIZE init = paint_manager_.GetInitSize();
  if (init.cx != 0) SetWindowPos(hwnd, 0, 0, 0, init.cx, init.cy, SWP_NOMOVE | SWP_NOZORDER);
  InitControls();
  return 0;
}

LRESULT OBUIWindow::CaptionHitTest(LPARAM lparam,
                                   std::initializer_list<const wchar_t*> client_classes) {
  POINT pt{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ScreenToClient(GetHWND(), &pt);
  RECT client;
  GetClientRect(GetHWND(), &client);
  RECT band = paint_manager_.GetCaptionRect();
  bool in_band = pt.x >= client.left + band.left && pt.x < client.right - band.right &&
                 pt.y >= band.top && pt.y < band.bottom;
  if (!in_band) return HTCLIENT;
  CControlUI* control = paint_manager_.FindControl(pt);
  if (control == nullptr) return HTCLIENT;
  for (const wchar_t* name : client_classes)
    if (std::wcscmp(control->GetClass(), name) == 0) return HTCLIENT;
  return HTCAPTION;
}

LRESULT OBUIWindow::OnNcHitTest(WPARAM, LPARAM lparam, bool& handled) {
  handled = true;
  return CaptionHitTest(lparam, {L"ButtonUI"});
}

LRESULT OBUIWindow::OnSize(WPARAM wparam, LPARAM, bool& handled) {
  handled = false;
  SIZE corner = paint_manager_.GetRoundCorner();
  if (wparam == SIZE_MINIMIZED || IsIconic(GetHWND()) || (corner.cx == 0 && corner.cy == 0))
    return 0;
  RECT rc;
  GetClientRect(GetHWND(), &rc);
  // Square bottom corners: the round rectangle covers only the top, the
  // plain one everything below its corners.
  Region shape = CreateRectRgn(rc.left, rc.top + corner.cx, rc.right, rc.bottom);
  Region round = CreateRoundRectRgn(rc.left, rc.top, rc.right + 1, rc.bottom - corner.cx, corner.cx,
                                    corner.cy);
  CombineRgn(&shape, shape, round, RGN_OR);
  SetWindowRgn(GetHWND(), &shape, true);
  return 0;
}

LRESULT OBUIWindow::OnNcPaint(WPARAM, LPARAM, bool& handled) {
  handled = true;
  return 0;
}

LRESULT OBUIWindow::OnNcCalcSize(WPARAM, LPARAM, bool& handled) {
  handled = true;
  return 0;
}

LRESULT OBUIWindow::OnNcActivate(WPARAM wparam, LPARAM, bool& handled) {
  handled = true;
  return wparam == 0 ? 1 : 0;
}

std::wstring OBUIWindow::SkinName() const {
  return skin_source_.starts_with(L"<") ? L"(inline layout)" : skin_source_;
}

bool OBUIWindow::BindRequired() {
  for (const RequiredControl& control : required_) {
    if (control.bind()) continue;
    LogError(
        L"%s:%d:skin %ls of window class %ls lacks the required control %ls; "
        L"the window is not made\n",
        __func__, __LINE__, SkinName().c_str(), GetWindowClassName(), control.name);
    return false;
  }
  return true;
}

void OBUIWindow::LogKindMismatch(const wchar_t* name, CControlUI* control) {
  LogWarn(L"%s:%d:control %ls is a %ls, not what the window expects\n", __func__, __LINE__, name,
          control->GetClass());
}
