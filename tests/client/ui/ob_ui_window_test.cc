#include "client/ui/base/ob_ui_window.h"

#include <gtest/gtest.h>

#include "tests/client/ui/test_window.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace ombrix::test {
namespace {

class OBUIWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { UseHeadlessBackend(); }

  // Hit test of a client point, asked the way the system asks: in screen
  // coordinates.
  static LRESULT HitTest(HWND hwnd, POINT client) {
    ClientToScreen(hwnd, &client);
    return SendMessage(hwnd, WM_NCHITTEST, 0, MAKELPARAM(client.x, client.y));
  }
};

TEST_F(OBUIWindowTest, CaptionBandDragsOnlyOverNonButtons) {
  TestWindow window(FixtureLayout(L"caption.xml"), true, nullptr);
  HWND hwnd = window.CreateDefault();
  ASSERT_NE(hwnd, 0u);

  // The band is x 10..190, y 0..30 of a 200 x 100 window.
  EXPECT_EQ(HitTest(hwnd, {50, 10}), HTCAPTION) << "a label in the band";
  EXPECT_EQ(HitTest(hwnd, {50, 29}), HTCAPTION) << "last row of the band";
  EXPECT_EQ(HitTest(hwnd, {110, 10}), HTCLIENT) << "a plain button in the band";
  EXPECT_EQ(HitTest(hwnd, {130, 10}), HTCAPTION) << "only plain buttons count as client";
  EXPECT_EQ(HitTest(hwnd, {5, 10}), HTCLIENT) << "left of the band";
  EXPECT_EQ(HitTest(hwnd, {195, 10}), HTCLIENT) << "right of the band";
  EXPECT_EQ(HitTest(hwnd, {50, 30}), HTCLIENT) << "first row below the band";
  EXPECT_EQ(HitTest(hwnd, {50, 60}), HTCLIENT) << "the body";

  // As the user sees it: a press on the title moves the window, a press on
  // the button clicks it.
  auto* backend = HeadlessBackend::Current();
  backend->ClearActions();
  test_driver::MouseDown(hwnd, {50, 10});
  test_driver::MouseUp(hwnd, {50, 10});
  EXPECT_EQ(backend->ActionsOf("movedrag").size(), 1u);
  test_driver::ClickAt(hwnd, {110, 10});
  EXPECT_EQ(window.notes.back(), L"click:closebtn");
}

TEST_F(OBUIWindowTest, CreationAppliesFrameColourKeyAndLayoutSize) {
  TestWindow sized(FixtureLayout(L"caption.xml"), true, nullptr);
  HWND hwnd = sized.CreateDefault();
  ASSERT_NE(hwnd, 0u);
  EXPECT_EQ(sized.init_calls, 1);
  RECT rc;
  GetWindowRect(hwnd, &rc);
  EXPECT_EQ(rc.Width(), 200);
  EXPECT_EQ(rc.Height(), 100);
  DWORD style = GetWindowStyle(hwnd);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX), 0u);
  EXPECT_EQ(style & (WS_CLIPSIBLINGS | WS_CLIPCHILDREN), WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  EXPECT_TRUE(GetWindowExStyle(hwnd) & WS_EX_LAYERED);
  COLORREF key = 0;
  uint8_t alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
  EXPECT_EQ(key, 0x004B43u);
  EXPECT_EQ(alpha, 255);
  EXPECT_TRUE(flags & LWA_COLORKEY);

  // No initial size in the layout: the size given to Create stays; no
  // colour key when the window does not ask for one, but still layered.
  TestWindow unsized(FixtureLayout(L"nosize.xml"), false, nullptr);
  HWND plain = unsized.CreateDefault();
  ASSERT_NE(plain, 0u);
  GetWindowRect(plain, &rc);
  EXPECT_EQ(rc.Width(), 400);
  EXPECT_EQ(rc.Height(), 300);
  EXPECT_TRUE(GetWindowExStyle(plain) & WS_EX_LAYERED);
  flags = 0;
  GetLayeredWindowAttributes(plain, &key, &alpha, &flags);
  EXPECT_FALSE(flags & LWA_COLORKEY);
  EXPECT_FALSE(GetWindowRgn(plain).has_value()) << "square corners need no region";

  // A layout given as text instead of a file name.
  TestWindow inline_layout(
      L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Window size=\"5,5\"><Container "
      L"name=\"ContainerNormal\"/></Window>",
      true, nullptr);
  HWND tiny = inline_layout.CreateDefault();
  ASSERT_NE(tiny, 0u);
  GetWindowRect(tiny, &rc);
  EXPECT_EQ(rc.Width(), 5);
  EXPECT_NE(inline_layout.Find(L"ContainerNormal"), nullptr);
}

TEST_F(OBUIWindowTest, RoundTopCornersFollowTheSizeButNotMinimising) {
  TestWindow window(FixtureLayout(L"caption.xml"), true, nullptr);
  HWND hwnd = window.CreateDefault();
  ASSERT_NE(hwnd, 0u);
  auto region = GetWindowRgn(hwnd);
  ASSERT_TRUE(region.has_value());
  EXPECT_FALSE(region->Contains(0, 0)) << "top left is round";
  EXPECT_FALSE(region->Contains(199, 0)) << "top right is round";
  EXPECT_TRUE(region->Contains(100, 0));
  EXPECT_TRUE(region->Contains(0, 99)) << "bottom corners stay square";
  EXPECT_TRUE(region->Contains(199, 99));
  EXPECT_FALSE(region->Contains(100, 100));

  SetWindowPos(hwnd, 0, 0, 0, 300, 150, SWP_NOMOVE | SWP_NOZORDER);
  region = GetWindowRgn(hwnd);
  ASSERT_TRUE(region.has_value());
  EXPECT_TRUE(region->Contains(299, 149));
  EXPECT_TRUE(region->Contains(250, 140)) << "rebuilt from the new size";
  EXPECT_FALSE(region->Contains(299, 0));
  std::vector<RECT> before = region->Rects();

  ShowWindow(hwnd, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(hwnd));
  region = GetWindowRgn(hwnd);
  ASSERT_TRUE(region.has_value());
  EXPECT_EQ(region->Rects(), before) << "a minimised window keeps its region";
}

// Counts its own end, so the test sees that the window let it go.
class CountingCallback : public IDialogBuilderCallback {
 public:
  explicit CountingCallback(int* deleted) : deleted_(deleted) {}
  ~CountingCallback() override { ++*deleted_; }
  CControlUI* CreateControl(LPCTSTR) override { return nullptr; }

 private:
  int* deleted_;
};

TEST_F(OBUIWindowTest, MissingBrokenOrUnknownLayoutFailsCreation) {
  for (const wchar_t* file : {L"no_such_layout.xml", L"broken.xml", L"unknown.xml"}) {
    SCOPED_TRACE(testing::Message() << file);
    int callbacks_deleted = 0;
    TestWindow window(FixtureLayout(file), std::make_unique<CountingCallback>(&callbacks_deleted));
    EXPECT_EQ(window.CreateDefault(), 0u);
    EXPECT_EQ(window.init_calls, 0) << "no controls to prepare";
    EXPECT_EQ(callbacks_deleted, 1) << "the callback goes whatever the result";
  }
  int callbacks_deleted = 0;
  TestWindow good(FixtureLayout(L"nosize.xml"),
                  std::make_unique<CountingCallback>(&callbacks_deleted));
  EXPECT_NE(good.CreateDefault(), 0u);
  EXPECT_EQ(callbacks_deleted, 1);
  EXPECT_EQ(good.Find(L"no_such_control"), nullptr) << "a missing control is null, not a crash";
}

TEST_F(OBUIWindowTest, EveryWindowObjectHasExactlyOneOwner) {
  // The owner deletes the object while its window exists: the window goes
  // with it and nothing deletes the object again.
  bool destroyed = false;
  auto owned =
      std::make_unique<TestWindow>(FixtureLayout(L"nosize.xml"), true, nullptr, &destroyed);
  HWND hwnd = owned->CreateDefault();
  ASSERT_NE(hwnd, 0u);
  owned.reset();
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(IsWindow(hwnd));

  // The window is destroyed first: the object stays for its owner.
  destroyed = false;
  owned = std::make_unique<TestWindow>(FixtureLayout(L"nosize.xml"), true, nullptr, &destroyed);
  hwnd = owned->CreateDefault();
  ASSERT_NE(hwnd, 0u);
  DestroyWindow(hwnd);
  test_driver::Pump();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(owned->init_calls, 1);
  owned.reset();
  EXPECT_TRUE(destroyed);

  // A window nobody owns deletes itself after its last message.
  destroyed = false;
  auto* orphan = new TestWindow(FixtureLayout(L"nosize.xml"), true, nullptr, &destroyed);
  orphan->DeleteOnFinalMessage();
  hwnd = orphan->CreateDefault();
  ASSERT_NE(hwnd, 0u);
  DestroyWindow(hwnd);
  test_driver::Pump();
  EXPECT_TRUE(destroyed);

  // ... and goes at once when its creation fails.
  destroyed = false;
  orphan = new TestWindow(FixtureLayout(L"broken.xml"), true, nullptr, &destroyed);
  orphan->DeleteOnFinalMessage();
  EXPECT_EQ(orphan->CreateDefault(), 0u);
  EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace ombrix::test
