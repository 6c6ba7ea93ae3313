// The feedback form on a real display: after the service takes a
// feedback, the thank-you note is what the user sees in front of the main
// window, and it goes by itself a second later.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "client/core/web_events.h"
#include "client/ui/dialogs/feed_dialog.h"
#include "client/ui/dialogs/message_dialog.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/testing/gtk_testing.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace ombrix::test {
namespace {

// A main window of one plain colour, larger than the form.
constexpr wchar_t kMainWindow[] =
    L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Window size=\"600,500\">"
    L"<VerticalLayout bkcolor=\"#FFE53935\"/></Window>";
constexpr uint32_t kMainColor = 0xE53935;

bool ToolkitUntil(const std::function<bool()>& done) {
  return WaitUntil([&] {
    gtk_testing::Iterate(10);
    return done();
  });
}

void Shoot(HWND hwnd, const std::string& name) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  std::string out = BinaryDir() + "/test-output/feedback-display";
  std::filesystem::create_directories(out);
  std::string command = "import -window root -crop " + std::to_string(r.Width()) + "x" +
                        std::to_string(r.Height()) + "+" + std::to_string(r.left) + "+" +
                        std::to_string(r.top) + " '" + out + "/" + name + "' 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(FeedbackDisplayTest, TheThankYouNoteShowsInFrontOfTheMainWindow) {
  TestWindow main_window(kMainWindow, false, nullptr);
  ASSERT_NE(main_window.Create(0, L"main", WS_POPUP, 0, 100, 80, 600, 500), 0u);
  ShowWindow(main_window, SW_SHOWNORMAL);
  ASSERT_TRUE(ToolkitUntil([&] { return gtk_testing::IsMapped(main_window); }));

  EventChain events;
  int sent = 0;
  CFeedDialog feed(DefaultSkin(), &events,
                   [&](const std::wstring&, const std::wstring&) { ++sent; });
  ASSERT_NE(feed.CreateOwned(main_window, L"OBFeedDialog"), 0u);
  feed.Show();
  ASSERT_TRUE(ToolkitUntil([&] { return gtk_testing::IsMapped(feed); }));

  // Taken. The note's own one-second timer waits in the window messages,
  // which this test does not run until it has looked.
  payload::SEVENT_RESPONSE_RecommendedAdd taken({}, L"{\"Status\":0}", true);
  events.FireEvent(&taken);
  CMessageDialog* note = feed.message_dialog();
  ASSERT_NE(note, nullptr);
  EXPECT_FALSE(IsWindowVisible(feed));
  EXPECT_TRUE(IsWindowVisible(*note));
  // In front: a point inside the note's border shows the note's white,
  // not the main window's red, once the display has settled.
  uint32_t color = kMainColor;
  EXPECT_TRUE(ToolkitUntil([&] {
    return gtk_testing::IsMapped(*note) && gtk_testing::ScreenColorAt(*note, 8, 8, &color) &&
           color == 0xFFFFFF;
  })) << std::hex
      << "the screen shows 0x" << color << " where the note is";
  Shoot(*note, "thank-you-note.png");
  Shoot(main_window, "main-window-with-note.png");

  // A second later it is gone, and the main window takes input again.
  EXPECT_TRUE(WaitUntil([&] {
    gtk_testing::Iterate(10);
    test_driver::Pump();
    return !IsWindowVisible(*note);
  }));
  EXPECT_TRUE(IsWindowEnabled(main_window));
}

}  // namespace
}  // namespace ombrix::test
