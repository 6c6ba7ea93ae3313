#include "client/ui/avatar/ob_update_user_image_dlg.h"

#include <utility>

#include "client/core/core_events.h"
#include "client/core/event_ids.h"
#include "client/ui/avatar/avatar_request.h"
#include "client/ui/base/cairo_text.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"
#include "uilib/winsys/win_api.h"

namespace {

// Query-string escaping of a text (UTF-8 bytes, unreserved kept).
std::string QueryEscape(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '-' || c == '.' || c == '_' || c == '~';
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

COBUpdateUserImageDlg::COBUpdateUserImageDlg(uilib::HWND owner, Setup setup)
    : owner_(owner), setup_(std::move(setup)) {
  if (setup_.messages != nullptr) {
    subscription_ = setup_.messages->Subscribe(SEVENTCHAIN_MESSAGE, this,
                                               &COBUpdateUserImageDlg::OnWindowMessage);
  }
}

COBUpdateUserImageDlg::~COBUpdateUserImageDlg() {
  if (setup_.messages != nullptr) setup_.messages->Unsubscribe(subscription_);
  // Nothing from the page may reach an editor that is going away.
  if (browser_) browser_->Close();
  browser_.reset();
  // The window's WM_DESTROY is not a close: the owner is not shown again.
  if (GetHWND() != 0) uilib::DestroyWindow(GetHWND());
}

std::wstring COBUpdateUserImageDlg::MoviePath() const {
  return setup_.program_dir + L"/OBPaint/" + setup_.game_id + L"/AvatarEditor.html";
}

std::string COBUpdateUserImageDlg::PageUrl() const {
  return uilib::FileUrl(brx::util::WideToUtf8(MoviePath())) +
         "?upload=" + QueryEscape(brx::util::WideToUtf8(setup_.upload_url));
}

uilib::Region COBUpdateUserImageDlg::EditorRegion(int w, int h) {
  uilib::Region region;
  for (int y = 0; y < h; ++y) {
    int cut = 0;
    if (y < 4) cut = 4 - y;
    if (y > h - 4) cut = y - (h - 4);
    region.Union(uilib::Region::FromRect(uilib::RECT{cut, y, w - cut, y + 1}));
  }
  return region;
}

uilib::RECT COBUpdateUserImageDlg::PageRect() const {
  uilib::RECT client{};
  uilib::GetClientRect(GetHWND(), &client);
  return uilib::RECT{0, kDragBandHeight, client.right, client.bottom};
}

bool COBUpdateUserImageDlg::EnsureWindow(const uilib::RECT& at) {
  if (GetHWND() != 0) {
    uilib::SetWindowPos(GetHWND(), 0, at.left, at.top, at.right - at.left, at.bottom - at.top, 0);
    return true;
  }
  if (Create(0, L"更换头像", uilib::WS_POPUP, uilib::WS_EX_TOOLWINDOW, at) == 0) {
    LogWarnA("avatar editor: the window could not be made\n");
    return false;
  }
  SetIcon(kIconResource);
  uilib::RECT now{};
  uilib::GetWindowRect(GetHWND(), &now);
  uilib::Region region = EditorRegion(now.right - now.left, now.bottom - now.top);
  uilib::SetWindowRgn(GetHWND(), &region, true);
  return true;
}

bool COBUpdateUserImageDlg::EnsureBrowser() {
  if (browser_) return true;
  if (!brx::util::FileExists(MoviePath())) {
    LogWarn(L"avatar editor: the page %ls is missing\n", MoviePath().c_str());
    return false;
  }
  if (setup_.browser_factory) browser_ = setup_.browser_factory(GetHWND(), PageRect());
  if (!browser_) {
    LogWarnA("avatar editor: no browser for the page\n");
    return false;
  }
  page_ready_ = false;
  // Only the editor's own folder gets window.external.
  std::string folder = uilib::FileUrl(
      brx::util::WideToUtf8(setup_.program_dir + L"/OBPaint/" + setup_.game_id + L"/"));
  browser_->SetExternal(this, {folder});
  browser_->Navigate(brx::util::Utf8ToWide(PageUrl()));
  return true;
}

bool COBUpdateUserImageDlg::ShowAt(const uilib::RECT& at, const std::wstring& key) {
  bool key_changed = key != key_;
  key_ = key;
  if (!EnsureWindow(at)) return false;
  if (!EnsureBrowser()) return false;
  browser_->SetRect(PageRect());
  // A page that is already up learns the user signed in now; one still
  // loading asks for the key when it is ready.
  if (page_ready_ && key_changed) SendKey();
  uilib::ShowWindow(GetHWND(), uilib::SW_SHOW);
  return true;
}

void COBUpdateUserImageDlg::HideEditor() {
  if (GetHWND() != 0) uilib::ShowWindow(GetHWND(), uilib::SW_HIDE);
  if (owner_ != 0) uilib::ShowWindow(owner_, uilib::SW_SHOW);
}

void COBUpdateUserImageDlg::SendKey() {
  if (browser_) browser_->CallFunction("CallFunction", {AvatarKeyCall(key_)});
}

std::vector<std::string> COBUpdateUserImageDlg::ExternalMethodNames() const {
  return {"MovieCall"};
}

void COBUpdateUserImageDlg::OnExternalCall(const std::string& name,
                                           const std::vector<std::wstring>& args) {
  if (name != "MovieCall" || args.size() != 1) return;
  HandleRequest(args[0]);
}

void COBUpdateUserImageDlg::HandleRequest(const std::wstring& xml) {
  AvatarRequest request = ParseAvatarRequest(xml);
  switch (request.kind) {
    case AvatarRequest::Kind::kReady:
      page_ready_ = true;
      SendKey();
      break;
    case AvatarRequest::Kind::kUpload:
      if (setup_.host != nullptr) setup_.host->UpdateUserHeadImage(request.head_image_url);
      if (GetHWND() != 0) uilib::ShowWindow(GetHWND(), uilib::SW_HIDE);
      break;
    case AvatarRequest::Kind::kClose:
      if (GetHWND() != 0) uilib::ShowWindow(GetHWND(), uilib::SW_HIDE);
      break;
    case AvatarRequest::Kind::kIgnored:
      break;
  }
}

bool COBUpdateUserImageDlg::OnWindowMessage(const EventParameter* event) {
  const auto* payload = static_cast<const payload::SEVENTCHAIN_MESSAGE*>(event);
  const brx::base::Message* msg = payload->msg;
  if (msg == nullptr || GetHWND() == 0) return false;
  if (msg->message != uilib::WM_SYSCOMMAND || msg->wParam != uilib::SC_CLOSE ||
      msg->hwnd != GetHWND()) {
    return false;
  }
  HideEditor();
  return true;
}

bool COBUpdateUserImageDlg::InCloseBox(int x, int y) const {
  uilib::RECT client{};
  uilib::GetClientRect(GetHWND(), &client);
  return y >= 0 && y < kDragBandHeight && x >= client.right - kDragBandRightGap && x < client.right;
}

void COBUpdateUserImageDlg::Paint() {
  uilib::PAINTSTRUCT ps{};
  cairo_t* cr = uilib::BeginPaint(GetHWND(), &ps);
  if (cr != nullptr) {
    uilib::RECT client{};
    uilib::GetClientRect(GetHWND(), &client);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.16, 0.38, 0.62);
    cairo_rectangle(cr, 0, 0, client.right, kDragBandHeight);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    CairoText title(cr, "sans-serif 10", "更换头像");
    title.ShowAt(10, (kDragBandHeight - title.height()) / 2.0);
    // The close mark in the band's right end, which is not for dragging.
    double cx = client.right - kDragBandRightGap / 2.0, cy = kDragBandHeight / 2.0;
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, cx - 5, cy - 5);
    cairo_line_to(cr, cx + 5, cy + 5);
    cairo_move_to(cr, cx + 5, cy - 5);
    cairo_line_to(cr, cx - 5, cy + 5);
    cairo_stroke(cr);
  }
  uilib::EndPaint(GetHWND(), &ps);
}

uilib::LRESULT COBUpdateUserImageDlg::HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                                                    uilib::LPARAM lparam) {
  switch (msg) {
    case uilib::WM_CLOSE:
      HideEditor();
      return 0;
    case uilib::WM_DESTROY:
      // Going away (the profile editor is being torn down) is not the
      // user closing the editor: the owner stays as it is.
      return 0;
    case uilib::WM_SIZE:
      if (browser_) browser_->SetRect(PageRect());
      break;
    case uilib::WM_PAINT:
      Paint();
      return 0;
    case uilib::WM_NCHITTEST: {
      uilib::POINT pt{uilib::GET_X_LPARAM(lparam), uilib::GET_Y_LPARAM(lparam)};
      uilib::ScreenToClient(GetHWND(), &pt);
      uilib::RECT client{};
      uilib::GetClientRect(GetHWND(), &client);
      if (pt.y >= 0 && pt.y < kDragBandHeight && pt.x >= 0 &&
          pt.x < client.right - kDragBandRightGap) {
        return uilib::HTCAPTION;
      }
      return uilib::HTCLIENT;
    }
    case uilib::WM_LBUTTONUP:
      if (InCloseBox(uilib::GET_X_LPARAM(lparam), uilib::GET_Y_LPARAM(lparam))) HideEditor();
      return 0;
    default:
      break;
  }
  return CWindowWnd::HandleMessage(msg, wparam, lparam);
}
