#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "client/core/message_ids.h"
#include "client/core/shot_catalogue.h"
#include "client/ui/picture/ob_album_wnd.h"
#include "client/ui/picture/ob_pic_wnd.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/picture_test_host.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_snapshot.h"

using namespace uilib;

namespace ombrix::test {
namespace {

class PictureWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessBackend();
    host_.store = brx::util::Utf8ToWide(dir_.path());
    host_.catalogue.SetOwner(&host_);
    host_.catalogue.SetCreationTimeSourceForTesting([this](const brx::util::FindData& file) {
      auto it = dates_.find(file.name);
      return it == dates_.end() ? Day(1) : it->second;
    });
    ASSERT_NE(frame_.Create(0, L"frame", WS_POPUP, 0, 0, 0, 300, 200), 0u);
  }
  // <store>/Users/All Users/<game>/<relative>, made on `day` of the month.
  std::wstring Shot(const std::string& game, const std::string& relative, int day,
                    uint32_t rgb = 0xC02020) {
    std::string path = dir_.path() + "/Users/All Users/" + game + "/" + relative;
    WriteJpeg(path, 320, 180, rgb);
    dates_[brx::util::Utf8ToWide(relative.substr(relative.rfind('/') + 1))] = Day(day);
    return brx::util::Utf8ToWide(path);
  }
  std::wstring GameDir(const std::string& game) {
    return brx::util::Utf8ToWide(dir_.path() + "/Users/All Users/" + game);
  }
  static void WaitForTiles(const PictureWindow& window) {
    ASSERT_TRUE(WaitUntil(
        [&] {
          test_driver::Pump();
          return window.PendingTiles() == 0;
        },
        std::chrono::seconds(60)));
  }
  static POINT Centre(const RECT& rc) {
    return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  }
  static uint32_t Pixel(HWND hwnd, POINT pt) {
    uint32_t argb = 0;
    EXPECT_TRUE(WindowSnapshotPixel(hwnd, pt, &argb));
    return argb & 0xFFFFFF;
  }
  static bool Near(uint32_t a, uint32_t b) {
    for (int shift : {0, 8, 16})
      if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
          24)
        return false;
    return true;
  }

  TempDir dir_;
  Host host_;
  FrameWindow frame_;
  std::map<std::wstring, time_t> dates_;
};

TEST_F(PictureWindowTest, PickerFillsSeriesAndSendsTheChoiceToTheFrame) {
  // "1" is contained in "12" and comes last: a series of game 12 must still
  // open with game 12's shots.
  host_.game_ids = {L"12", L"1", L"7"};
  const std::wstring late = Shot("12", "late.jpg", 9, 0x2040C0);
  Shot("12", "burst/b1.jpg", 3);
  Shot("12", "burst/b2.jpg", 3);
  Shot("12", "burst/b3.jpg", 4);  // same series folder, another day: still one tile
  const std::wstring early = Shot("12", "early.jpg", 2, 0x20C020);
  const std::wstring other = Shot("1", "one.jpg", 5);
  Shot("1", "burst/x.jpg", 5);

  COBPicWnd picker(&host_);
  HWND hwnd = picker.Create(frame_);
  ASSERT_NE(hwnd, 0u);
  EXPECT_EQ(GetWindowText(hwnd), L"选择截图");
  RECT rc;
  GetWindowRect(hwnd, &rc);
  EXPECT_EQ(rc, (RECT{1920 - 1044, (1080 - 768) / 2, 1920 - 1044 + 766, (1080 - 768) / 2 + 600}));
  ASSERT_TRUE(GetWindowRgn(hwnd).has_value());
  EXPECT_FALSE(GetWindowRgn(hwnd)->Contains(0, 0));
  EXPECT_TRUE(GetWindowRgn(hwnd)->Contains(4, 0));

  picker.ShowPictures();
  EXPECT_TRUE(IsWindowVisible(hwnd));
  const auto& items = picker.items();
  ASSERT_EQ(items.size(), 5u);
  // Games in list order, days ascending; one tile per series folder.
  EXPECT_EQ(items[0].path, early);
  EXPECT_EQ(items[1].kind, 1);
  EXPECT_EQ(items[1].path, GameDir("12") + L"/burst");
  EXPECT_EQ(items[1].fileName, L"b1.jpg");
  EXPECT_EQ(items[1].gameId, L"12");
  EXPECT_EQ(items[2].path, late);
  EXPECT_EQ(items[3].path, other);
  EXPECT_EQ(items[4].path, GameDir("1") + L"/burst");
  EXPECT_TRUE(picker.IsSelected(0));

  // Tiles: a picture fitted and centred on the list colour, a series under
  // its grid.
  WaitForTiles(picker);
  const RECT tile0 = picker.ItemRect(0), tile1 = picker.ItemRect(1);
  EXPECT_TRUE(Near(Pixel(hwnd, Centre(tile0)), 0x20C020));
  EXPECT_TRUE(Near(Pixel(hwnd, {tile0.left + 80, tile0.top + 2}), 0xEDFEE0))
      << "16:9 leaves bands above";
  EXPECT_TRUE(Near(Pixel(hwnd, {tile1.left + 80, tile1.top + 30}), 0xFFDC7A));
  EXPECT_TRUE(Near(Pixel(hwnd, {tile1.left + 40, tile1.top + 30}), 0xC02020));

  // A single shot that vanished from disk is not chosen.
  std::filesystem::remove(brx::util::WideToUtf8(other));
  test_driver::DoubleClickAt(hwnd, Centre(picker.ItemRect(3)));
  EXPECT_TRUE(frame_.chosen.empty());
  EXPECT_TRUE(picker.shown());

  // Opening the series lists its three shots, from game 12.
  test_driver::DoubleClickAt(hwnd, Centre(tile1));
  ASSERT_TRUE(picker.series_open());
  EXPECT_TRUE(picker.back_visible());
  ASSERT_EQ(picker.items().size(), 3u);
  EXPECT_EQ(picker.items()[2].path, GameDir("12") + L"/burst/b3.jpg");
  EXPECT_EQ(picker.items()[2].gameId, L"12");

  // Back returns to the top view.
  test_driver::ClickAt(hwnd, Centre(PictureWindow::ButtonRect(PictureWindow::kBack)));
  EXPECT_FALSE(picker.series_open());
  EXPECT_FALSE(picker.back_visible());
  EXPECT_EQ(picker.items().size(), 4u);

  // Choose a shot inside the series with the choose button: the frame gets
  // it during the send, the picker hides and frees the album's opener.
  test_driver::DoubleClickAt(hwnd, Centre(picker.ItemRect(1)));
  test_driver::ClickAt(hwnd, Centre(picker.ItemRect(1)));
  test_driver::ClickAt(hwnd, Centre(PictureWindow::ButtonRect(PictureWindow::kChoose)));
  ASSERT_EQ(frame_.chosen.size(), 1u);
  EXPECT_EQ(frame_.chosen[0].path, GameDir("12") + L"/burst/b2.jpg");
  EXPECT_EQ(frame_.chosen[0].fileName, L"b2.jpg");
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_FALSE(picker.shown());
  EXPECT_FALSE(picker.series_open());
  EXPECT_EQ(host_.enabled, std::vector<PictureOpener>{PictureOpener::kAlbum});

  // Shown again: the top view from the disk; a single shot goes straight out.
  picker.ShowPictures();
  ASSERT_EQ(picker.items().size(), 4u);
  test_driver::DoubleClickAt(hwnd, Centre(picker.ItemRect(2)));
  ASSERT_EQ(frame_.chosen.size(), 2u);
  EXPECT_EQ(frame_.chosen[1].path, late);
  EXPECT_EQ(frame_.chosen[1].gameId, L"12");
}

TEST_F(PictureWindowTest, AlbumDeletesTheSelectionAfterAskingAndStopsAtAFailure) {
  host_.game_ids = {L"5"};
  const std::wstring a = Shot("5", "a.jpg", 1);
  Shot("5", "set/s1.jpg", 2);
  Shot("5", "set/s2.jpg", 2);
  const std::wstring c = Shot("5", "c.jpg", 3);
  const std::wstring d = Shot("5", "d.jpg", 4);
  const std::wstring e = Shot("5", "e.jpg", 5);

  COBAlbumWnd album(&host_);
  HWND hwnd = album.Create(frame_);
  ASSERT_NE(hwnd, 0u);
  ASSERT_EQ(host_.prompts.size(), 1u);
  FakePrompt& prompt = *host_.prompts[0];
  album.ShowPictures();
  ASSERT_EQ(album.items().size(), 5u);

  // Opening a single shot goes to the desktop.
  auto& shell = HeadlessBackend::Current()->recording_shell();
  test_driver::DoubleClickAt(hwnd, Centre(album.ItemRect(2)));
  ASSERT_EQ(shell.requests().size(), 1u);
  EXPECT_EQ(shell.requests()[0].target, brx::util::WideToUtf8(c));

  // Select a, the series and d (Ctrl adds), then e is not selected.
  test_driver::ClickAt(hwnd, Centre(album.ItemRect(0)));
  for (size_t i : {1u, 3u}) {
    POINT pt = Centre(album.ItemRect(i));
    SendMessage(hwnd, WM_LBUTTONDOWN, MK_CONTROL, MAKELPARAM(pt.x, pt.y));
    SendMessage(hwnd, WM_LBUTTONUP, MK_CONTROL, MAKELPARAM(pt.x, pt.y));
  }
  EXPECT_TRUE(album.IsSelected(0) && album.IsSelected(1) && album.IsSelected(3));
  EXPECT_FALSE(album.IsSelected(2));

  // No: nothing goes.
  test_driver::ClickAt(hwnd, Centre(PictureWindow::ButtonRect(PictureWindow::kDelete)));
  EXPECT_EQ(prompt.asked, L"提示|确定删除?");
  EXPECT_FALSE(prompt.parent_enabled_while_asked);
  prompt.no();
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_EQ(album.items().size(), 5u);

  // Yes, with d already gone from disk: a and the series folder are
  // deleted, the loop stops at d and leaves it listed.
  std::filesystem::remove(brx::util::WideToUtf8(d));
  test_driver::ClickAt(hwnd, Centre(PictureWindow::ButtonRect(PictureWindow::kDelete)));
  prompt.yes();
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_FALSE(std::filesystem::exists(brx::util::WideToUtf8(a)));
  EXPECT_FALSE(std::filesystem::exists(brx::util::WideToUtf8(GameDir("5") + L"/set")));
  EXPECT_TRUE(std::filesystem::exists(brx::util::WideToUtf8(c)));
  EXPECT_TRUE(std::filesystem::exists(brx::util::WideToUtf8(e)));
  ASSERT_EQ(album.items().size(), 3u);
  EXPECT_EQ(album.items()[0].path, c);
  EXPECT_EQ(album.items()[1].path, d);
  EXPECT_TRUE(album.IsSelected(1));

  // Closing hides and frees the picker's opener; the next fill reads the disk.
  test_driver::ClickAt(hwnd, Centre(PictureWindow::ButtonRect(PictureWindow::kClose)));
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_EQ(host_.enabled, std::vector<PictureOpener>{PictureOpener::kPicker});
  album.ShowPictures();
  ASSERT_EQ(album.items().size(), 2u);

  // Tiles are kept between openings, but a picture changed on disk is made again.
  WaitForTiles(album);
  album.ShowPictures();
  EXPECT_EQ(album.PendingTiles(), 0u);
  EXPECT_TRUE(Near(Pixel(album, Centre(album.ItemRect(0))), 0xC02020));
  WriteJpeg(brx::util::WideToUtf8(c), 640, 480, 0x30A0F0);
  album.ShowPictures();
  EXPECT_EQ(album.PendingTiles(), 1u);
  WaitForTiles(album);
  EXPECT_TRUE(Near(Pixel(album, Centre(album.ItemRect(0))), 0x30A0F0));
  EXPECT_TRUE(Near(Pixel(album, Centre(album.ItemRect(1))), 0xC02020));
}

// A long album is used as any list: Shift+click selects a range from the
// last click, Ctrl+click adds one; the keys move through it and the view
// follows; the bar at its side can be dragged.
TEST_F(PictureWindowTest, ALongAlbumScrollsByKeysAndItsBarAndShiftClickSelectsARange) {
  host_.game_ids = {L"5"};
  for (int i = 0; i < 30; ++i) Shot("5", "shot" + std::to_string(100 + i) + ".jpg", 1 + i % 28);
  COBAlbumWnd album(&host_);
  HWND hwnd = album.Create(frame_);
  ASSERT_NE(hwnd, 0u);
  album.ShowPictures();
  ASSERT_EQ(album.items().size(), 30u);
  const RECT list = PictureWindow::kListRect;
  auto in_view = [&](size_t i) {
    const RECT rc = album.ItemRect(i);
    return rc.top >= list.top && rc.bottom <= list.bottom;
  };
  auto selected = [&] {
    std::vector<size_t> out;
    for (size_t i = 0; i < album.items().size(); ++i)
      if (album.IsSelected(i)) out.push_back(i);
    return out;
  };
  auto click = [&](size_t i, WPARAM keys) {
    POINT pt = Centre(album.ItemRect(i));
    SendMessage(hwnd, WM_LBUTTONDOWN, keys | MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    SendMessage(hwnd, WM_LBUTTONUP, keys, MAKELPARAM(pt.x, pt.y));
  };
  click(1, 0);
  click(6, MK_SHIFT);
  EXPECT_EQ(selected(), (std::vector<size_t>{1, 2, 3, 4, 5, 6}));
  click(9, MK_CONTROL);
  click(3, MK_SHIFT | MK_CONTROL);  // from the last click, added to the rest
  EXPECT_EQ(selected(), (std::vector<size_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  click(2, 0);
  EXPECT_EQ(selected(), std::vector<size_t>{2});

  // Keys: the current item moves, the selection with it, the view follows.
  ASSERT_FALSE(in_view(29));
  test_driver::PressKey(hwnd, VK_END);
  EXPECT_EQ(selected(), std::vector<size_t>{29});
  EXPECT_TRUE(in_view(29));
  EXPECT_FALSE(in_view(0));
  test_driver::PressKey(hwnd, VK_HOME);
  EXPECT_EQ(selected(), std::vector<size_t>{0});
  EXPECT_TRUE(in_view(0));
  test_driver::PressKey(hwnd, VK_DOWN);
  test_driver::PressKey(hwnd, VK_RIGHT);
  EXPECT_EQ(selected(), std::vector<size_t>{PictureWindow::kColumns + 1});
  test_driver::PressKey(hwnd, VK_NEXT);
  const size_t paged = selected().at(0);
  EXPECT_GT(paged, static_cast<size_t>(2 * PictureWindow::kColumns));
  EXPECT_TRUE(in_view(paged));
  EXPECT_FALSE(in_view(1));
  test_driver::PressKey(hwnd, VK_PRIOR);
  EXPECT_EQ(selected(), std::vector<size_t>{PictureWindow::kColumns + 1});
  EXPECT_TRUE(in_view(1));
  test_driver::PressKey(hwnd, VK_LEFT);
  test_driver::PressKey(hwnd, VK_UP);
  EXPECT_EQ(selected(), std::vector<size_t>{0});
  test_driver::PressKey(hwnd, VK_DOWN, true);  // Shift extends
  EXPECT_EQ(selected().size(), static_cast<size_t>(PictureWindow::kColumns + 1));

  // The bar: dragged to the bottom shows the last row, back to the top the first.
  const RECT thumb = album.ScrollThumbRect();
  ASSERT_GT(thumb.bottom, thumb.top);
  EXPECT_EQ(thumb.top, list.top);
  POINT grab = Centre(thumb);
  SendMessage(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grab.x, grab.y));
  SendMessage(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(grab.x, grab.y + 1000));
  EXPECT_TRUE(in_view(29));
  EXPECT_EQ(album.ScrollThumbRect().bottom, list.bottom);
  SendMessage(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(grab.x, grab.y - 1000));
  EXPECT_TRUE(in_view(0));
  SendMessage(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(grab.x, grab.y - 1000));
  SendMessage(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(grab.x, grab.y + 1000));
  EXPECT_TRUE(in_view(0)) << "the drag ended with the button";
  EXPECT_EQ(selected().size(), static_cast<size_t>(PictureWindow::kColumns + 1))
      << "the bar selects nothing";
  // A press on the bar's track below the thumb goes a page down.
  SendMessage(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grab.x, list.bottom - 3));
  SendMessage(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(grab.x, list.bottom - 3));
  EXPECT_FALSE(in_view(0));
  EXPECT_GT(album.ScrollThumbRect().top, list.top);
}

TEST_F(PictureWindowTest, SnapshotsOfBothWindows) {
  const std::string out = BinaryDir() + "/test-output/picture";
  std::filesystem::create_directories(out);
  host_.game_ids = {L"3"};
  COBAlbumWnd album(&host_);
  ASSERT_NE(album.Create(frame_), 0u);
  album.ShowPictures();
  ASSERT_TRUE(album.items().empty());
  // The empty album says so where the list would be.
  bool text = false;
  for (int x = 200; x < 560 && !text; ++x) text = Pixel(album, {x, 262}) != Pixel(album, {x, 400});
  EXPECT_TRUE(text);
  EXPECT_TRUE(SaveWindowSnapshot(album, out + "/album_empty.png"));

  for (int i = 0; i < 9; ++i)
    Shot("3", "s" + std::to_string(i) + ".jpg", 1 + i, 0x204080 + 0x101000 * i);
  Shot("3", "set/a.jpg", 12, 0x8040C0);
  // Files that do not decode keep their place with the not-found tile.
  Shot("3", "gone/g.jpg", 13);
  Shot("3", "bad.jpg", 14);
  WriteFile(dir_.path() + "/Users/All Users/3/gone/a.jpg", "not a picture");
  WriteFile(dir_.path() + "/Users/All Users/3/bad.jpg", "not a picture");
  COBPicWnd picker(&host_);
  ASSERT_NE(picker.Create(frame_), 0u);
  picker.ShowPictures();
  ASSERT_EQ(picker.items().size(), 12u);
  WaitForTiles(picker);
  for (size_t i = 0; i < picker.items().size(); ++i) {
    const std::wstring& path = picker.items()[i].path;
    const bool broken = path.ends_with(L"/gone") || path.ends_with(L"/bad.jpg");
    const RECT tile = picker.ItemRect(i);
    EXPECT_EQ(Pixel(picker, {tile.left + 2, tile.top + 2}) == 0u, broken)
        << brx::util::WideToUtf8(path);
  }
  EXPECT_TRUE(Near(Pixel(picker, Centre(picker.ItemRect(0))), 0x204080));
  EXPECT_TRUE(SaveWindowSnapshot(picker, out + "/picker.png"));
  for (size_t i = 0; i < picker.items().size(); ++i)
    if (picker.items()[i].path.ends_with(L"/set"))
      test_driver::DoubleClickAt(picker, Centre(picker.ItemRect(i)));
  ASSERT_TRUE(picker.series_open());
  WaitForTiles(picker);
  EXPECT_TRUE(Near(Pixel(picker, Centre(picker.ItemRect(0))), 0x8040C0));
  EXPECT_TRUE(SaveWindowSnapshot(picker, out + "/picker_series.png"));
  album.ShowPictures();
  WaitForTiles(album);
  EXPECT_TRUE(SaveWindowSnapshot(album, out + "/album.png"));
}

}  // namespace
}  // namespace ombrix::test
