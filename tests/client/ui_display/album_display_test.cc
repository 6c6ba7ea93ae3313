// The album on a real display, driven through the X server as a user
// drives it: clicks with Ctrl held add to the selection, the keys move
// through a long album and the view follows.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "client/ui/picture/ob_album_wnd.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/picture_test_host.h"
#include "tests/client/ui_display/x_user.h"
#include "tests/support/test_support.h"
#include "uilib/backend/gtk/gtk_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_snapshot.h"

using namespace uilib;

namespace ombrix::test {
namespace {

TEST(AlbumDisplayTest, CtrlClicksAddToTheSelectionAndTheKeysScrollALongAlbum) {
  if (!XUser::Available()) GTEST_SKIP() << "xdotool is not installed";
  TempDir dir;
  Host host;
  host.store = brx::util::Utf8ToWide(dir.path());
  host.catalogue.SetOwner(&host);
  host.game_ids = {L"5"};
  for (int i = 0; i < 30; ++i)
    WriteJpeg(dir.path() + "/Users/All Users/5/shot" + std::to_string(100 + i) + ".jpg", 320, 180,
              0x203040 + 0x060402 * static_cast<uint32_t>(i));
  FrameWindow frame;
  ASSERT_NE(frame.Create(0, L"frame", WS_POPUP, 0, 0, 0, 100, 100), 0u);
  COBAlbumWnd album(&host);
  const HWND hwnd = album.Create(frame);
  ASSERT_NE(hwnd, 0u);
  album.ShowPictures();
  ASSERT_EQ(album.items().size(), 30u);
  ASSERT_TRUE(XUser::SettlePlaced(hwnd));
  ASSERT_TRUE(XUser::Settle([&] { return album.PendingTiles() == 0; }, std::chrono::seconds(60)));

  auto selected = [&] {
    std::vector<size_t> out;
    for (size_t i = 0; i < album.items().size(); ++i)
      if (album.IsSelected(i)) out.push_back(i);
    return out;
  };
  auto in_view = [&](size_t i) {
    const RECT rc = album.ItemRect(i);
    return rc.top >= PictureWindow::kListRect.top && rc.bottom <= PictureWindow::kListRect.bottom;
  };
  auto centre = [&](size_t i) {
    const RECT rc = album.ItemRect(i);
    POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ClientToScreen(hwnd, &pt);
    return pt;
  };

  XUser::ClickAt(centre(0));
  ASSERT_TRUE(XUser::Settle([&] { return selected() == std::vector<size_t>{0}; }));
  XUser::ClickAt(centre(2), "ctrl");
  XUser::ClickAt(centre(5), "ctrl");
  EXPECT_TRUE(XUser::Settle([&] {
    return selected() == std::vector<size_t>{0, 2, 5};
  })) << "Ctrl+click adds to the selection";
  XUser::ClickAt(centre(7), "shift");
  EXPECT_TRUE(XUser::Settle([&] {
    return selected() == std::vector<size_t>{5, 6, 7};
  })) << "Shift+click selects from the last click";

  // The keys go to the album, which has the focus since the click.
  ASSERT_FALSE(in_view(29));
  XUser::Key("End");
  EXPECT_TRUE(XUser::Settle([&] { return selected() == std::vector<size_t>{29} && in_view(29); }));
  EXPECT_FALSE(in_view(0));
  XUser::Key("Home");
  EXPECT_TRUE(XUser::Settle([&] { return selected() == std::vector<size_t>{0} && in_view(0); }));
  XUser::Key("Next");
  EXPECT_TRUE(XUser::Settle([&] {
    return !selected().empty() && selected()[0] > 8 && !in_view(0);
  })) << "Page Down scrolls a page";
  XUser::Key("Prior");
  EXPECT_TRUE(XUser::Settle([&] { return in_view(0); })) << "Page Up scrolls back";
  XUser::Key("Down");
  EXPECT_TRUE(
      XUser::Settle([&] { return selected() == std::vector<size_t>{PictureWindow::kColumns}; }));

  // The bar, dragged with the pointer to the bottom.
  const RECT thumb = album.ScrollThumbRect();
  POINT grab{(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
  ClientToScreen(hwnd, &grab);
  XUser::Drag(grab, POINT{grab.x, grab.y + 600});
  EXPECT_TRUE(XUser::Settle([&] { return in_view(29); })) << "the bar follows the pointer";

  const std::string out = BinaryDir() + "/test-output/skin-display";
  std::filesystem::create_directories(out);
  EXPECT_TRUE(SaveWindowSnapshot(hwnd, out + "/album_scrolled.png"));
}

}  // namespace
}  // namespace ombrix::test
