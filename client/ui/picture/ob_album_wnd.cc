#include "client/ui/picture/ob_album_wnd.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "runtime/platform/shell.h"
#include "runtime/util/text_convert.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"

namespace {

bool DeletePicture(const PictureItem& item) {
  const std::string path = brx::util::WideToUtf8(item.path);
  if (item.kind == 0) return ::unlink(path.c_str()) == 0;
  // A series goes with its folder and everything in it.
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return false;
  std::filesystem::remove_all(path, ec);
  return !ec;
}

}  // namespace

COBAlbumWnd::COBAlbumWnd(IPictureWindowHost* host)
    : PictureWindow(host, true), confirm_(host->CreateConfirmPrompt()) {}

COBAlbumWnd::~COBAlbumWnd() = default;

void COBAlbumWnd::OnChooseFile(const PictureItem& copy, bool /*series_open*/) {
  uilib::GetUiBackend().GetShell().OpenFile(brx::util::WideToUtf8(copy.path));
}

void COBAlbumWnd::OnDelete() {
  if (!AnySelected() || !confirm_) return;
  const uilib::HWND hwnd = GetHWND();
  uilib::EnableWindow(hwnd, false);
  confirm_->Ask(
      hwnd, L"提示", L"确定删除?",
      [this, hwnd] {
        uilib::EnableWindow(hwnd, true);
        DeleteSelection();
      },
      [hwnd] { uilib::EnableWindow(hwnd, true); });
}

void COBAlbumWnd::DeleteSelection() {
  const size_t count = items().size();
  for (size_t n = 0; n < count; ++n) {
    const size_t index = FirstSelected();
    if (index == npos) break;
    const PictureItem copy = items()[index];
    if (!DeletePicture(copy)) break;
    EraseItem(index);
  }
}
