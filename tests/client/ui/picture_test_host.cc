#include "tests/client/ui/picture_test_host.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "client/core/message_ids.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "uilib/winsys/win_api.h"

namespace ombrix::test {

uilib::LRESULT FrameWindow::HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                                          uilib::LPARAM lparam) {
  if (msg == ombrix::messages::kScreenshotChosen) {
    chosen.push_back(*reinterpret_cast<const PictureItem*>(lparam));
    return 0;
  }
  return CWindowWnd::HandleMessage(msg, wparam, lparam);
}

void FakePrompt::Ask(uilib::HWND parent, const std::wstring& title, const std::wstring& text,
                     std::function<void()> on_yes, std::function<void()> on_no) {
  asked = title + L"|" + text;
  parent_enabled_while_asked = uilib::IsWindowEnabled(parent);
  yes = std::move(on_yes);
  no = std::move(on_no);
}

std::wstring Host::GetSkinFolder() { return DefaultSkin(); }

time_t Day(int day) {
  tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 2;
  t.tm_mday = day;
  t.tm_hour = 12;
  t.tm_isdst = -1;
  return mktime(&t);
}

void WriteJpeg(const std::string& path, int w, int h, uint32_t rgb) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
  gdk_pixbuf_fill(pixbuf, rgb << 8 | 0xFF);
  ASSERT_TRUE(gdk_pixbuf_save(pixbuf, path.c_str(), "jpeg", nullptr, nullptr));
  g_object_unref(pixbuf);
}

}  // namespace ombrix::test
