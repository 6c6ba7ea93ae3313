// A skinned window driven as a user drives it: through posted input, the
// window procedure, the paint manager, the controls and the notifiers.
#include <gtest/gtest.h>

#include "runtime/util/text_convert.h"
#include "tests/uilib/headless_fixture.h"
#include "tests/uilib/skin_window.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/button_ui.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/window_snapshot.h"

namespace uilib::testing {
namespace {

namespace td = test_driver;

const char* kForm = R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="300,200" caption="0,0,0,40" roundcorner="8,8">
  <VerticalLayout bkcolor="#FFE0E0E0">
    <HorizontalLayout name="band" height="40" bkcolor="#FF203040">
      <Label name="title" text="Form" width="100" textcolor="#FFFFFFFF"/>
      <Control/>
      <Button name="close" width="20" height="20" normalimage="file='sprite.png' source='0,0,20,20'"
              hotimage="file='sprite.png' source='20,0,40,20'"/>
    </HorizontalLayout>
    <RichEdit name="account" height="24" tiptext="Account" maxchar="5"/>
    <Button name="hidden" height="20" visible="false" text="hidden"/>
    <Button name="off" height="20" enabled="false" text="off"/>
    <Button name="ok" height="20" text="OK"/>
    <Control name="keyhole" height="20" bkcolor="#FF434B00"/>
  </VerticalLayout>
</Window>)";

class SecondNotifier : public INotifyUI {
 public:
  explicit SecondNotifier(std::vector<std::wstring>* log) : log_(log) {}
  void Notify(TNotifyUI& msg) override { log_->push_back(L"second " + msg.sType); }

 private:
  std::vector<std::wstring>* log_;
};

class WindowTest : public HeadlessTest {
 protected:
  std::unique_ptr<SkinWindow> Make(const std::string& xml, int cx = 0, int cy = 0) {
    auto w = std::make_unique<SkinWindow>(brx::util::Utf8ToWide(WriteSkin("form.xml", xml)));
    w->Create(0, L"form", WS_POPUP, WS_EX_LAYERED, 100, 50, cx, cy);
    return w;
  }
};

TEST_F(WindowTest, UserInputReachesControlsAndNotifiersInOrder) {
  auto w = Make(kForm);
  ASSERT_TRUE(w->built);
  HWND hwnd = w->GetHWND();
  RECT rc;
  GetWindowRect(hwnd, &rc);
  EXPECT_EQ(rc, (RECT{100, 50, 400, 250}))
      << "the layout's size replaces the created size, not the position";

  std::vector<std::wstring> second_log;
  SecondNotifier second(&second_log);
  w->pm.AddNotifier(&second);
  std::vector<std::wstring> order;
  w->on_notify = [&](TNotifyUI& msg) {
    if (msg.sType == L"click") order.push_back(L"first");
  };

  // The caption band: a label drags, a button inside the band clicks, a
  // point below the band is an ordinary client click.
  td::MouseDown(hwnd, POINT{10, 10});
  ASSERT_EQ(backend->ActionsOf("movedrag").size(), 1u);
  td::ClickAt(hwnd, POINT{290, 20});
  EXPECT_EQ(backend->ActionsOf("movedrag").size(), 1u);
  EXPECT_EQ(w->Notes(), (std::vector<std::wstring>{L"buttondown:close", L"click:close"}));
  EXPECT_EQ(second_log, (std::vector<std::wstring>{L"second buttondown", L"second click"}));
  w->notes.clear();

  // A press that leaves the button before release does not click.
  CControlUI* ok = w->pm.FindControl(L"ok");
  ASSERT_NE(ok, nullptr);
  POINT in{(ok->GetPos().left + ok->GetPos().right) / 2,
           (ok->GetPos().top + ok->GetPos().bottom) / 2};
  td::MouseDown(hwnd, in);
  td::MouseMove(hwnd, POINT{in.x, 5});
  td::MouseUp(hwnd, POINT{in.x, 5});
  EXPECT_EQ(w->Notes(), (std::vector<std::wstring>{L"buttondown:ok"}));
  w->notes.clear();

  // Disabled and hidden controls are never activated.
  EXPECT_FALSE(w->pm.FindControl(L"off")->Activate());
  EXPECT_FALSE(w->pm.FindControl(L"hidden")->Activate());
  ASSERT_TRUE(td::Click(w->pm, L"off"));
  EXPECT_TRUE(w->Notes().empty());

  // Tab order: account, ok, then around to close; hidden and disabled
  // buttons are skipped. Space presses the focused button.
  ASSERT_TRUE(td::Click(w->pm, L"account"));
  EXPECT_EQ(w->pm.GetFocus()->GetName(), L"account");
  td::PressKey(hwnd, VK_TAB);
  EXPECT_EQ(w->pm.GetFocus()->GetName(), L"ok");
  td::PressKey(hwnd, VK_TAB);
  EXPECT_EQ(w->pm.GetFocus()->GetName(), L"close");
  td::PressKey(hwnd, VK_TAB, /*shift=*/true);
  EXPECT_EQ(w->pm.GetFocus()->GetName(), L"ok");
  w->notes.clear();
  order.clear();
  td::PressKey(hwnd, VK_SPACE);
  EXPECT_EQ(w->Notes(), (std::vector<std::wstring>{L"click:ok"}));
  EXPECT_EQ(order.size(), 1u);

  // Enter and Escape reach the window's own handler and press nothing.
  w->keys.clear();
  w->notes.clear();
  td::PressKey(hwnd, VK_RETURN);
  td::PressKey(hwnd, VK_ESCAPE);
  EXPECT_EQ(w->keys, (std::vector<std::pair<UINT, UINT>>{{WM_KEYDOWN, VK_RETURN},
                                                         {WM_KEYUP, VK_RETURN},
                                                         {WM_KEYDOWN, VK_ESCAPE},
                                                         {WM_KEYUP, VK_ESCAPE}}));
  EXPECT_TRUE(w->Notes().empty());

  // A disabled window (the owner of a modal dialog) takes no input.
  EnableWindow(hwnd, false);
  ASSERT_TRUE(td::Click(w->pm, L"ok"));
  EXPECT_TRUE(w->Notes().empty());
  EnableWindow(hwnd, true);
  w->pm.RemoveNotifier(&second);
}

TEST_F(WindowTest, EditKeepsLimitsAndReportsOnlyUserChanges) {
  auto w = Make(kForm);
  auto* edit = static_cast<CRichEditUI*>(w->pm.FindControl(L"account"));
  ASSERT_NE(edit, nullptr);
  edit->SetText(L"ab");
  EXPECT_TRUE(w->Notes().empty()) << "the program's own text is not a user change";

  ASSERT_TRUE(td::TypeInto(w->pm, L"account", L"cdefg"));
  EXPECT_EQ(edit->GetText(), L"abcde") << "maxchar=5 refuses what does not fit";
  EXPECT_EQ(w->Notes().size(), 3u) << "one textchanged per accepted character";
  w->notes.clear();
  td::TypeText(w->GetHWND(), L"\b");
  EXPECT_EQ(edit->GetText(), L"abcd");
  EXPECT_EQ(w->Notes(), (std::vector<std::wstring>{L"textchanged:account"}));

  edit->SetText(L"");
  edit->SetFloatOnly(true, true);
  w->notes.clear();
  td::TypeText(w->GetHWND(), L"1a.2.5");
  EXPECT_EQ(edit->GetText(), L"1.25") << "letters and a second point are refused";
  edit->SetSel(1, 3);
  edit->ReplaceSel(L"9");
  EXPECT_EQ(edit->GetText(), L"195");

  edit->SetEnabled(false);
  td::TypeText(w->GetHWND(), L"7");
  EXPECT_EQ(edit->GetText(), L"195");
}

TEST_F(WindowTest, RoundCornersFollowTheSizeAndSurviveMinimising) {
  auto w = Make(kForm);
  HWND hwnd = w->GetHWND();
  auto region = GetWindowRgn(hwnd);
  ASSERT_TRUE(region.has_value());
  EXPECT_EQ(region->Bounds(), (RECT{0, 0, 300, 200}));
  EXPECT_FALSE(region->Contains(0, 0)) << "top corners are round";
  EXPECT_FALSE(region->Contains(299, 0));
  EXPECT_TRUE(region->Contains(150, 0));
  EXPECT_TRUE(region->Contains(0, 199)) << "bottom corners are square";
  EXPECT_TRUE(region->Contains(299, 199));
  EXPECT_TRUE(region->Contains(0, 8));

  SetWindowPos(hwnd, 0, 0, 0, 400, 120, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(GetWindowRgn(hwnd)->Bounds(), (RECT{0, 0, 400, 120}));
  ShowWindow(hwnd, SW_MINIMIZE);
  EXPECT_TRUE(IsIconic(hwnd));
  EXPECT_EQ(GetWindowRgn(hwnd)->Bounds(), (RECT{0, 0, 400, 120}))
      << "a minimised window keeps its region";

  // A layout with square corners makes no region; one without a size keeps
  // the created size.
  auto square = Make(R"(<Window><Container bkcolor="#FF000000"/></Window>)", 120, 90);
  EXPECT_FALSE(GetWindowRgn(square->GetHWND()).has_value());
  RECT rc;
  GetClientRect(square->GetHWND(), &rc);
  EXPECT_EQ(rc, (RECT{0, 0, 120, 90}));
}

TEST_F(WindowTest, SnapshotShowsImagesRegionAndColourKey) {
  auto w = Make(kForm);
  HWND hwnd = w->GetHWND();
  ASSERT_TRUE(SetLayeredWindowAttributes(hwnd, RGB(0x43, 0x4B, 0x00), 255, LWA_COLORKEY));
  CControlUI* close = w->pm.FindControl(L"close");
  CControlUI* keyhole = w->pm.FindControl(L"keyhole");
  ASSERT_TRUE(close && keyhole);
  uint32_t px = 0;
  POINT close_mid{(close->GetPos().left + close->GetPos().right) / 2,
                  (close->GetPos().top + close->GetPos().bottom) / 2};
  ASSERT_TRUE(WindowSnapshotPixel(hwnd, close_mid, &px));
  EXPECT_EQ(px, 0xFFFF0000u) << "normal image: the red cell";
  td::MouseMove(hwnd, close_mid);
  ASSERT_TRUE(WindowSnapshotPixel(hwnd, close_mid, &px));
  EXPECT_EQ(px, 0xFF00FF00u) << "hot image: the green cell";
  ASSERT_TRUE(WindowSnapshotPixel(hwnd, POINT{0, 0}, &px));
  EXPECT_EQ(px, 0u) << "outside the round corner";
  ASSERT_TRUE(WindowSnapshotPixel(hwnd, POINT{5, keyhole->GetPos().top + 5}, &px));
  EXPECT_EQ(px, 0u) << "the colour key is a hole";
  ASSERT_TRUE(WindowSnapshotPixel(hwnd, POINT{5, 199}, &px));
  EXPECT_EQ(px, 0xFFE0E0E0u);
  EXPECT_TRUE(SaveWindowSnapshot(hwnd, OutputDir() + "/form.png"));
}

TEST_F(WindowTest, LifecycleHasOneOwner) {
  auto owner = Make(kForm);
  auto dialog = std::make_unique<SkinWindow>(L"<Window><Container/></Window>");
  dialog->Create(owner->GetHWND(), L"dialog", WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 50, 50);
  HWND dialog_hwnd = dialog->GetHWND();
  ASSERT_TRUE(IsWindow(dialog_hwnd));
  EXPECT_EQ(GetWindowOwner(dialog_hwnd), owner->GetHWND());

  // Deleting a window object whose window lives takes the window with it,
  // and the object hears nothing more.
  dialog.reset();
  EXPECT_FALSE(IsWindow(dialog_hwnd));

  // Destroying a window ends with exactly one final message; posted
  // messages for it are dropped.
  HWND hwnd = owner->GetHWND();
  owner->Close();
  EXPECT_TRUE(IsWindow(hwnd));
  td::Pump();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(owner->final_messages, 1);
  EXPECT_EQ(owner->GetHWND(), 0u);
  EXPECT_FALSE(PostMessage(hwnd, WM_USER + 1, 0, 0));
}

TEST_F(WindowTest, TimersRunOnTheClockThroughTheQueue) {
  auto w = Make(kForm);
  HWND hwnd = w->GetHWND();
  SetTimer(hwnd, 7, 500);
  int fired = 0;
  TimeSetEvent(1000, [&] { ++fired; });
  backend->AdvanceClock(499);
  td::Pump();
  EXPECT_TRUE(w->timers.empty());
  backend->AdvanceClock(1);
  td::Pump();
  EXPECT_EQ(w->timers, (std::vector<WPARAM>{7}));
  backend->AdvanceClock(2000);  // four periods pass: one coalesced WM_TIMER
  td::Pump();
  EXPECT_EQ(w->timers.size(), 2u);
  EXPECT_EQ(fired, 1);
  backend->AdvanceClock(2000);
  td::Pump();
  EXPECT_EQ(fired, 1) << "one-shot";
  KillTimer(hwnd, 7);
  backend->AdvanceClock(2000);
  td::Pump();
  EXPECT_EQ(w->timers.size(), 3u);

  // Thread messages and window messages share the queue.
  w->user_message = WM_USER + 24;
  ASSERT_TRUE(PostMessage(hwnd, WM_USER + 24, 0, 42));
  td::Pump();
  EXPECT_EQ(w->user_lparams, (std::vector<LPARAM>{42}));
}

}  // namespace
}  // namespace uilib::testing
