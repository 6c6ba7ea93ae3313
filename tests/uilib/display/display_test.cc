// Real toolkit windows on an X display: shape, colour key, owned tool
// windows, and text typed through the hosted native field.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"
#include "tests/uilib/skin_window.h"
#include "uilib/testing/gtk_testing.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/browser_host.h"
#include "uilib/controls/button_ui.h"
#include "uilib/controls/combo_ui.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/window_snapshot.h"

namespace uilib::testing {
namespace {

namespace td = test_driver;

const wchar_t* kLogin =
    LR"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="320,220" caption="0,0,0,36" roundcorner="10,10">
  <VerticalLayout bkcolor="#FFF2F4F7" bordercolor="#FF8090A0" bordersize="1">
    <HorizontalLayout height="36" bkcolor="#FF2B5D8C">
      <Label text="登录 Sign in" textcolor="#FFFFFFFF" textpadding="10,0,0,0"/>
      <Button name="close" width="28" height="24" text="×" textcolor="#FFFFFFFF" hottextcolor="#FFFFC000"/>
    </HorizontalLayout>
    <VerticalLayout inset="20,16,20,10" childpadding="10">
      <RichEdit name="account" height="28" tiptext="Account" bkcolor="#FFFFFFFF" bordercolor="#FFB0B8C0" bordersize="1" maxchar="16"/>
      <RichEdit name="password" height="28" password="true" tiptext="Password" bkcolor="#FFFFFFFF" bordercolor="#FFB0B8C0" bordersize="1"/>
      <Option name="remember" height="20" text="Remember me" align="left"/>
      <Button name="login" height="32" text="Sign in" bkcolor="#FF3C8CDC" textcolor="#FFFFFFFF"/>
      <Control height="6" bkcolor="#FF434B00"/>
    </VerticalLayout>
  </VerticalLayout>
</Window>)";

std::string OutputDir() {
  std::string out = ombrix::test::BinaryDir() + "/test-output";
  mkdir(out.c_str(), 0755);
  out += "/uilib";
  mkdir(out.c_str(), 0755);
  return out;
}

// Mapped at (x, y), where the window manager put it as asked, and known
// there by the program.
bool SettlePlacedAt(HWND hwnd, int x, int y) {
  return ombrix::test::WaitUntil(
      [&] {
        gtk_testing::Iterate(5);
        td::Pump();
        RECT rc{};
        GetWindowRect(hwnd, &rc);
        POINT at{};
        return gtk_testing::IsMapped(hwnd) && gtk_testing::NativeOrigin(hwnd, &at) && at.x == x &&
               at.y == y && rc.left == x && rc.top == y;
      },
      std::chrono::milliseconds(10000));
}

bool Settle(const std::function<bool()>& done) {
  return ombrix::test::WaitUntil(
      [&] {
        gtk_testing::Iterate(5);
        td::Pump();
        return done();
      },
      std::chrono::milliseconds(5000));
}

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto gtk = CreateGtkUiBackend();
    ASSERT_NE(gtk, nullptr) << "no display although one was promised";
    previous_ = SetUiBackend(std::move(gtk));
  }
  void TearDown() override { SetUiBackend(std::move(previous_)); }

 private:
  std::unique_ptr<UiBackend> previous_;
};

TEST_F(DisplayTest, ShapedWindowMapsAndTypedTextArrivesThroughTheNativeField) {
  ASSERT_STREQ(GetUiBackend().Name(), "gtk");
  SkinWindow owner(L"<Window size=\"200,120\"><Container bkcolor=\"#FF446688\"/></Window>");
  owner.Create(0, L"owner", WS_POPUP, 0, 40, 40, 0, 0);
  SkinWindow login(kLogin);
  login.Create(owner.GetHWND(), L"login", WS_POPUP, WS_EX_LAYERED | WS_EX_TOOLWINDOW, 300, 200, 0,
               0);
  ASSERT_TRUE(login.built);
  HWND hwnd = login.GetHWND();
  ASSERT_TRUE(SetLayeredWindowAttributes(hwnd, RGB(0x43, 0x4B, 0x00), 255, LWA_COLORKEY));
  ShowWindow(owner.GetHWND(), SW_SHOW);
  ShowWindow(hwnd, SW_SHOWNORMAL);
  ASSERT_TRUE(Settle([&] { return gtk_testing::IsMapped(hwnd); }));

  EXPECT_TRUE(gtk_testing::HasShape(hwnd));
  EXPECT_FALSE(gtk_testing::ShapeContains(hwnd, 0, 0)) << "round top corner cut out";
  EXPECT_TRUE(gtk_testing::ShapeContains(hwnd, 160, 0));
  EXPECT_TRUE(gtk_testing::ShapeContains(hwnd, 0, 219)) << "square bottom corner";
  EXPECT_EQ(gtk_testing::ColorKey(hwnd), 0x004B43);
  EXPECT_TRUE(gtk_testing::IsToolWindow(hwnd));
  EXPECT_TRUE(gtk_testing::IsTransientFor(hwnd, owner.GetHWND()));

  // Focus the account field: a native field is hosted over it; keys sent
  // to the toplevel reach it and come back as the edit's text.
  auto* account = static_cast<CRichEditUI*>(login.pm.FindControl(L"account"));
  ASSERT_NE(account, nullptr);
  ASSERT_TRUE(td::Click(login.pm, L"account"));
  ASSERT_TRUE(account->HasTextHostForTesting());
  for (const char* key : {"a", "b", "c"}) ASSERT_TRUE(gtk_testing::SendKey(hwnd, key));
  ASSERT_TRUE(Settle([&] { return account->GetText() == L"abc"; }))
      << brx::util::WideToUtf8(account->GetText());
  std::wstring hosted;
  ASSERT_TRUE(gtk_testing::HostedText(hwnd, &hosted));
  EXPECT_EQ(hosted, L"abc");
  int changes = 0;
  for (const auto& n : login.Notes()) changes += n == L"textchanged:account";
  EXPECT_EQ(changes, 3);

  // Tab leaves the field for the next control; Enter reaches the window.
  ASSERT_TRUE(gtk_testing::SendKey(hwnd, "Tab"));
  ASSERT_TRUE(
      Settle([&] { return login.pm.GetFocus() && login.pm.GetFocus()->GetName() == L"password"; }));
  ASSERT_TRUE(gtk_testing::SendKey(hwnd, "Return"));
  ASSERT_TRUE(Settle([&] {
    for (auto& k : login.keys) {
      if (k.first == WM_KEYDOWN && k.second == VK_RETURN) return true;
    }
    return false;
  }));
  EXPECT_EQ(account->GetText(), L"abc");

  EXPECT_TRUE(SaveWindowSnapshot(hwnd, OutputDir() + "/display_login.png"));
  DestroyWindow(hwnd);
  EXPECT_FALSE(IsWindow(hwnd));
  gtk_testing::Iterate(20);
}

// While an input method composes in the native field, the window is told
// (composition start and end) and Enter belongs to the input method: it
// reaches the window only once the composition is over.
TEST_F(DisplayTest, EnterWhileAnInputMethodComposesStaysWithTheInputMethod) {
  SkinWindow form(kLogin);
  form.Create(0, L"form", WS_POPUP, 0, 200, 200, 0, 0);
  const HWND hwnd = form.GetHWND();
  ShowWindow(hwnd, SW_SHOWNORMAL);
  ASSERT_TRUE(Settle([&] { return gtk_testing::IsMapped(hwnd); }));
  ASSERT_TRUE(td::Click(form.pm, L"account"));
  auto enter_seen = [&] {
    for (auto& k : form.keys)
      if (k.first == WM_KEYDOWN && k.second == VK_RETURN) return true;
    return false;
  };
  ASSERT_TRUE(gtk_testing::SetPreedit(hwnd, "ni"));
  ASSERT_TRUE(
      Settle([&] { return form.composition == std::vector<UINT>{WM_IME_STARTCOMPOSITION}; }));
  // The key is handled as SendKey delivers it: what it posts is in the
  // queue when it returns.
  ASSERT_TRUE(gtk_testing::SendKey(hwnd, "Return"));
  td::Pump();
  EXPECT_FALSE(enter_seen()) << "Enter went to the window while composing";
  ASSERT_TRUE(gtk_testing::SetPreedit(hwnd, ""));
  ASSERT_TRUE(Settle([&] {
    return form.composition == std::vector<UINT>{WM_IME_STARTCOMPOSITION, WM_IME_ENDCOMPOSITION};
  }));
  ASSERT_TRUE(gtk_testing::SendKey(hwnd, "Return"));
  EXPECT_TRUE(Settle(enter_seen)) << "after the composition Enter reaches the window again";
}

TEST_F(DisplayTest, TheToolkitRunsWhileTheLoopWaitsInGetMessage) {
  SkinWindow w(L"<Window size=\"80,60\"><Container bkcolor=\"#FF336699\"/></Window>");
  w.Create(0, L"loop", WS_POPUP, 0, 10, 10, 0, 0);
  HWND hwnd = w.GetHWND();
  ShowWindow(hwnd, SW_SHOW);
  // A toolkit event source that only GLib runs posts to the window; the
  // loop, blocked in GetMessage, must see it well before its 5 s guard.
  gtk_testing::RunFromToolkit(10, [hwnd] { PostMessage(hwnd, WM_USER + 7, 0, 0); });
  SetTimer(hwnd, 2, 5000);
  MSG msg;
  bool from_toolkit = false;
  while (uilib::GetMessage(&msg)) {
    if (msg.hwnd == hwnd && msg.message == WM_USER + 7) {
      from_toolkit = true;
      break;
    }
    if (msg.hwnd == hwnd && msg.message == WM_TIMER && msg.wParam == 2) break;
    uilib::DispatchMessage(&msg);
  }
  KillTimer(hwnd, 2);
  EXPECT_TRUE(from_toolkit);
  EXPECT_TRUE(gtk_testing::IsMapped(hwnd));
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
    pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// The user sees the chooser over its owner, opened at the given folder,
// and Escape dismisses it: nothing is chosen and the owner works again.
TEST_F(DisplayTest, TheFolderChooserAppearsOverItsOwnerAndEscapeCancelsIt) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xdotool is not installed";
  ombrix::test::TempDir dir;
  const std::string start = dir.Sub("start here");
  std::filesystem::create_directories(start);
  SkinWindow owner(L"<Window size=\"160,100\"><Container bkcolor=\"#FF446688\"/></Window>");
  owner.Create(0, L"owner", WS_POPUP, 0, 30, 30, 0, 0);
  const HWND hwnd = owner.GetHWND();
  ShowWindow(hwnd, SW_SHOW);
  ASSERT_TRUE(Settle([&] { return gtk_testing::IsMapped(hwnd); }));

  struct Seen {
    std::atomic<bool> found{false};
    std::atomic<bool> done{false};
    std::atomic<bool> looked{false};
    bool shown = false;
    bool over_owner = false;
    bool owner_enabled = true;
    std::wstring folder;
    int forced = 0;
  };
  auto seen = std::make_shared<Seen>();
  // Looked at from inside the chooser's own loop, once the display knows
  // the window.
  auto look = std::make_shared<std::function<void()>>();
  *look = [seen, again = std::weak_ptr<std::function<void()>>(look), hwnd] {
    if (seen->done) return;
    if (!seen->found) {
      if (auto next = again.lock()) gtk_testing::RunFromToolkit(20, *next);
      return;
    }
    seen->shown = gtk_testing::FolderChooserShown(hwnd, &seen->folder, &seen->over_owner);
    seen->owner_enabled = IsWindowEnabled(hwnd);
    seen->looked = true;
  };
  gtk_testing::RunFromToolkit(20, *look);
  // Whatever goes wrong, the chooser is gone after the deadline.
  gtk_testing::RunFromToolkit(20000, [seen] {
    if (!seen->done) seen->forced = gtk_testing::CloseFolderChoosers();
  });
  std::thread user([seen] {
    std::string window;
    ombrix::test::WaitUntil(
        [&] {
          window = Shell(
              "xdotool search --onlyvisible --name '^Pick the shots folder$' 2>/dev/null | head -n "
              "1");
          return !window.empty();
        },
        std::chrono::milliseconds(15000));
    if (window.empty()) return;
    seen->found = true;
    // Let the chooser's own loop look first, then press Escape in it.
    ombrix::test::WaitUntil([&] { return seen->looked || seen->done; },
                            std::chrono::milliseconds(5000));
    Shell("xdotool windowfocus --sync " + window + " key Escape");
  });

  std::wstring folder = brx::util::Utf8ToWide(start);
  const bool chosen = ChooseFolder(hwnd, L"Pick the shots folder", &folder);
  seen->done = true;
  user.join();

  EXPECT_TRUE(seen->found) << "the chooser never appeared on the display";
  EXPECT_EQ(seen->forced, 0) << "Escape did not dismiss the chooser";
  EXPECT_FALSE(chosen);
  EXPECT_EQ(folder, brx::util::Utf8ToWide(start));
  EXPECT_TRUE(seen->shown);
  EXPECT_TRUE(seen->over_owner);
  EXPECT_EQ(seen->folder, brx::util::Utf8ToWide(start));
  EXPECT_FALSE(seen->owner_enabled) << "the owner takes no input while the chooser is up";
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_FALSE(gtk_testing::FolderChooserShown(hwnd, nullptr, nullptr));
}

// What a toolkit-side probe saw of the drop-down list, for the user's
// thread (which never touches the UI itself).
struct DropDownSeen {
  std::atomic<bool> shown{false};
  std::atomic<bool> stop{false};
  std::mutex mutex;
  RECT rect{};
};

// Runs what a user does on a thread of its own (it may only drive the X
// server and wait), while this thread runs the toolkit and the windows.
// True when the user was done before the deadline.
bool RunAsUser(const std::function<void()>& actions) {
  std::atomic<bool> done{false};
  std::thread user([&] {
    actions();
    done = true;
  });
  const bool in_time = ombrix::test::WaitUntil(
      [&] {
        gtk_testing::Iterate(5);
        td::Pump();
        return done.load();
      },
      std::chrono::seconds(90));
  user.join();
  return in_time;
}

// Looks at the drop-down every 10 ms from the toolkit's own loop, which
// runs while the list waits for the user.
void ProbeDropDown(std::shared_ptr<DropDownSeen> seen) {
  if (seen->stop) return;
  RECT rect{};
  const bool shown = gtk_testing::DropDownShown(&rect);
  if (shown) {
    std::lock_guard<std::mutex> lock(seen->mutex);
    seen->rect = rect;
  }
  seen->shown = shown;
  gtk_testing::RunFromToolkit(10, [seen] { ProbeDropDown(seen); });
}

// A combo as a user meets it: a click opens the list right under the
// field, as wide as the field and only as high as the screen allows; a
// second click picks a row; Escape closes it without a change; near the
// bottom of the screen it opens above the field.
TEST_F(DisplayTest, AComboOpensUnderItsFieldOnAClickAndASecondClickPicks) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xdotool is not installed";
  std::wstring rows;
  for (int i = 0; i < 30; ++i)
    rows += L"<ListLabelElement text=\"省份" + std::to_wstring(i) + L"\"/>";
  SkinWindow w(
      L"<Window size=\"260,120\"><VerticalLayout bkcolor=\"#FFF0F0F0\" inset=\"20,40,20,0\">"
      L"<Combo name=\"province\" height=\"24\" width=\"160\">" +
      rows + L"</Combo></VerticalLayout></Window>");
  w.Create(0, L"combo", WS_POPUP, 0, 100, 80, 0, 0);
  const HWND hwnd = w.GetHWND();
  ShowWindow(hwnd, SW_SHOW);
  ASSERT_TRUE(SettlePlacedAt(hwnd, 100, 80));
  auto* combo = static_cast<CComboUI*>(w.pm.FindControl(L"province"));
  ASSERT_NE(combo, nullptr);
  auto field_on_screen = [&] {
    w.pm.FindControl(POINT{0, 0});  // laid out
    RECT rc = combo->GetPos();
    POINT a{rc.left, rc.top}, b{rc.right, rc.bottom};
    ClientToScreen(hwnd, &a);
    ClientToScreen(hwnd, &b);
    return RECT{a.x, a.y, b.x, b.y};
  };
  const RECT field = field_on_screen();

  auto seen = std::make_shared<DropDownSeen>();
  gtk_testing::RunFromToolkit(10, [seen] { ProbeDropDown(seen); });
  auto wait_shown = [&](bool shown) {
    return ombrix::test::WaitUntil([&] { return seen->shown == shown; }, std::chrono::seconds(15));
  };
  struct Steps {
    std::atomic<bool> opened{false}, closed_by_pick{false}, opened_again{false},
        closed_by_escape{false};
    RECT list{};
  };
  auto steps = std::make_shared<Steps>();
  auto click_at = [](int x, int y) {
    Shell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
  };
  ASSERT_TRUE(RunAsUser([&] {
    click_at((field.left + field.right) / 2, (field.top + field.bottom) / 2);
    steps->opened = wait_shown(true);
    if (steps->opened) {
      {
        std::lock_guard<std::mutex> lock(seen->mutex);
        steps->list = seen->rect;
      }
      // How it looks, open over its window.
      Shell("import -window root -crop 400x420+80+60 '" + OutputDir() + "/display_combo_open.png'");
      // The third of twelve rows in view.
      const RECT& l = steps->list;
      const int row = (l.bottom - l.top - 2) / 12;
      click_at((l.left + l.right) / 2, l.top + 1 + row * 2 + row / 2);
      steps->closed_by_pick = wait_shown(false);
      click_at((field.left + field.right) / 2, (field.top + field.bottom) / 2);
      steps->opened_again = wait_shown(true);
      Shell("xdotool key Escape");
      steps->closed_by_escape = wait_shown(false);
    }
  }));
  ASSERT_TRUE(steps->opened) << "a click did not open the list, or it closed at once";
  const RECT& list = steps->list;
  EXPECT_EQ(list.top, field.bottom) << "right under the field";
  EXPECT_EQ(list.left, field.left);
  EXPECT_EQ(list.right - list.left, field.right - field.left);
  EXPECT_LT(list.bottom - list.top, 30 * 14) << "not one row per province down the screen";
  EXPECT_GT(list.bottom - list.top, 5 * 14);
  EXPECT_TRUE(steps->closed_by_pick);
  EXPECT_EQ(combo->GetCurSel(), 2);
  EXPECT_EQ(combo->GetText(), L"省份2");
  EXPECT_TRUE(steps->opened_again);
  EXPECT_TRUE(steps->closed_by_escape) << "Escape closes the list";
  EXPECT_EQ(combo->GetCurSel(), 2) << "and changes nothing";
  int selects = 0;
  for (const auto& n : w.Notes()) selects += n == L"itemselect:province";
  EXPECT_EQ(selects, 1);

  // Near the bottom of the screen the list opens above the field.
  const SIZE screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SetWindowPos(hwnd, 0, 100, screen.cy - 110, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ASSERT_TRUE(SettlePlacedAt(hwnd, 100, static_cast<int>(screen.cy) - 110));
  const RECT low = field_on_screen();
  auto low_steps = std::make_shared<Steps>();
  ASSERT_TRUE(RunAsUser([&] {
    click_at((low.left + low.right) / 2, (low.top + low.bottom) / 2);
    low_steps->opened = wait_shown(true);
    {
      std::lock_guard<std::mutex> lock(seen->mutex);
      low_steps->list = seen->rect;
    }
    Shell("xdotool key Escape");
    low_steps->closed_by_escape = wait_shown(false);
  }));
  seen->stop = true;
  ASSERT_TRUE(low_steps->opened);
  EXPECT_EQ(low_steps->list.bottom, low.top) << "above the field";
  EXPECT_GE(low_steps->list.top, 0);
  EXPECT_TRUE(low_steps->closed_by_escape);
  EXPECT_TRUE(SaveWindowSnapshot(hwnd, OutputDir() + "/display_combo.png"));
}

// A tip shows while the pointer rests on its control and goes when the
// control is left, covered by a window that opens over it, or clicked; it
// comes back on the next rest, also after the pointer crossed the web
// view. A click whose answer covers the button leaves no hover outline.
TEST_F(DisplayTest, ATipGoesWhenItsControlIsLeftCoveredOrClicked) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xdotool is not installed";
  SkinWindow w(
      LR"(<Window size="420,220"><HorizontalLayout bkcolor="#FFF0F0F0">
      <VerticalLayout width="150" inset="10,10,10,10" childpadding="20">
        <Button name="a" height="40" text="A" tooltip="提示甲" bkcolor="#FFDDDDDD"/>
        <Button name="b" height="40" text="B" tooltip="提示乙" bkcolor="#FFDDDDDD"/>
      </VerticalLayout>
      <Control/>
    </HorizontalLayout></Window>)");
  w.Create(0, L"tips", WS_POPUP, 0, 300, 200, 0, 0);
  const HWND hwnd = w.GetHWND();
  ShowWindow(hwnd, SW_SHOW);
  ASSERT_TRUE(SettlePlacedAt(hwnd, 300, 200));
  // The page of a web view fills the right part of the window.
  std::unique_ptr<BrowserHost> web = CreateBrowserHost(hwnd, RECT{160, 10, 410, 210});
  ASSERT_NE(web, nullptr);
  web->Navigate(L"data:text/html,<body style='background:%23cde'>page</body>");
  SkinWindow cover(L"<Window size=\"200,120\"><Container bkcolor=\"#FF446688\"/></Window>");
  cover.Create(hwnd, L"cover", WS_POPUP, 0, 0, 0, 0, 0);
  // Clicking B opens the cover right over it, as a dialog would.
  w.on_notify = [&](TNotifyUI& msg) {
    if (msg.sType != L"click" || msg.pSender->GetName() != L"b") return;
    POINT at{20, 60};
    ClientToScreen(hwnd, &at);
    SetWindowPos(cover.GetHWND(), 0, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(cover.GetHWND(), SW_SHOW);
  };
  auto centre = [&](const wchar_t* name) {
    w.pm.FindControl(POINT{0, 0});
    const RECT rc = w.pm.FindControl(name)->GetPos();
    POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ClientToScreen(hwnd, &pt);
    return pt;
  };
  auto rest_on = [&](POINT pt) {
    // Arrive, and move a little inside, as a hand does.
    Shell("xdotool mousemove " + std::to_string(pt.x) + " " + std::to_string(pt.y) + " mousemove " +
          std::to_string(pt.x + 2) + " " + std::to_string(pt.y + 1));
  };
  auto tip_is = [&](const std::wstring& expected) {
    return Settle([&] {
      std::wstring text;
      const bool shown = gtk_testing::ToolTipShown(&text);
      return expected.empty() ? !shown : shown && text == expected;
    });
  };

  rest_on(centre(L"a"));
  EXPECT_TRUE(tip_is(L"提示甲"));
  Settle([] { return true; });  // drawn
  Shell("import -window root -crop 440x240+290+190 '" + OutputDir() + "/display_tip.png'");
  Shell("xdotool mousemove 5 5");
  EXPECT_TRUE(tip_is(L"")) << "left";
  rest_on(centre(L"a"));
  ASSERT_TRUE(tip_is(L"提示甲"));
  Shell("xdotool click 1");
  EXPECT_TRUE(tip_is(L"")) << "clicked";

  // Covered by a window that opens over it (nothing the pointer did).
  rest_on(centre(L"b"));
  ASSERT_TRUE(tip_is(L"提示乙"));
  POINT over{10, 90};
  ClientToScreen(hwnd, &over);
  SetWindowPos(cover.GetHWND(), 0, over.x, over.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(cover.GetHWND(), SW_SHOWNA);
  EXPECT_TRUE(tip_is(L"")) << "covered";
  ShowWindow(cover.GetHWND(), SW_HIDE);
  ASSERT_TRUE(Settle([&] { return !gtk_testing::IsMapped(cover.GetHWND()); }));

  // A click on B opens the cover over it: no tip, no outline left on B.
  rest_on(centre(L"b"));
  ASSERT_TRUE(tip_is(L"提示乙"));
  Shell("xdotool click 1");
  ASSERT_TRUE(Settle(
      [&] { return IsWindowVisible(cover.GetHWND()) && gtk_testing::IsMapped(cover.GetHWND()); }));
  auto* b = static_cast<CButtonUI*>(w.pm.FindControl(L"b"));
  EXPECT_TRUE(Settle([&] { return (b->GetButtonState() & UISTATE_HOT) == 0; }))
      << "the outline went with the pointer";
  EXPECT_TRUE(tip_is(L""));
  ShowWindow(cover.GetHWND(), SW_HIDE);
  ASSERT_TRUE(Settle([&] { return !gtk_testing::IsMapped(cover.GetHWND()); }));

  // Across the web view and back: the tip still comes.
  rest_on(centre(L"a"));
  ASSERT_TRUE(tip_is(L"提示甲"));
  POINT page{300, 100};
  ClientToScreen(hwnd, &page);
  rest_on(page);
  EXPECT_TRUE(tip_is(L"")) << "over the web view";
  rest_on(centre(L"a"));
  EXPECT_TRUE(tip_is(L"提示甲")) << "back from the web view";
  web->Close();
}

TEST_F(DisplayTest, ProgramsPickTheToolkitUnlessHeadlessIsForced) {
  {
    ombrix::test::ScopedEnv forced("OMBRIX_UI", "headless");
    EXPECT_STREQ(CreateDefaultUiBackend()->Name(), "headless");
  }
  ombrix::test::ScopedEnv unset("OMBRIX_UI", std::nullopt);
  EXPECT_STREQ(CreateDefaultUiBackend()->Name(), "gtk");
}

}  // namespace
}  // namespace uilib::testing

// The toolkit's libraries have no frame pointers: without the slow unwinder
// a leak report stops at g_malloc and no suppression can name its origin.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
