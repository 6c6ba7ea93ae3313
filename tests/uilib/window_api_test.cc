// The window functions as the client's windows use them: placement,
// visibility, z-order, the colour key rule, default processing, and
// messages posted from worker threads into the GUI thread's queue.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "tests/uilib/headless_fixture.h"
#include "tests/uilib/skin_window.h"
#include "uilib/testing/ui_test_driver.h"

namespace uilib::testing {
namespace {

namespace td = test_driver;

// Records every message, and answers WM_CREATE as told.
class PlainWindow : public CWindowWnd {
 public:
  LPCTSTR GetWindowClassName() const override { return L"PlainWindow"; }
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    seen.push_back(msg);
    if (msg == WM_CREATE) return create_result;
    if (msg == WM_USER + 1) return static_cast<LRESULT>(wParam + lParam);
    if (msg >= WM_USER + 100) {
      posted.push_back(lParam);
      return 0;
    }
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
  }
  int Count(UINT msg) const { return static_cast<int>(std::count(seen.begin(), seen.end(), msg)); }
  LRESULT create_result = 0;
  std::vector<UINT> seen;
  std::vector<LPARAM> posted;
};

class WindowApiTest : public HeadlessTest {};

TEST_F(WindowApiTest, PlacementVisibilityAndZOrder) {
  PlainWindow refused;
  refused.create_result = -1;
  EXPECT_EQ(refused.Create(0, L"no", WS_POPUP, 0, 0, 0, 10, 10), 0u);
  EXPECT_EQ(refused.Count(WM_NCDESTROY), 1);

  PlainWindow a, b;
  HWND ha = a.Create(0, L"a", WS_POPUP | WS_VISIBLE, WS_EX_LAYERED, 100, 100, 200, 100);
  HWND hb = b.Create(ha, L"b", WS_POPUP, 0, 150, 120, 50, 50);
  ASSERT_TRUE(ha && hb);
  EXPECT_TRUE(IsWindowVisible(ha)) << "WS_VISIBLE shows the window at creation";
  EXPECT_EQ(GetForegroundWindow(), ha);
  EXPECT_FALSE(IsWindowVisible(hb));
  EXPECT_EQ(WindowFromPoint(POINT{160, 130}), ha);
  ShowWindow(hb, SW_SHOWNA);
  EXPECT_EQ(WindowFromPoint(POINT{160, 130}), hb) << "the window shown last is on top";
  EXPECT_EQ(GetForegroundWindow(), ha) << "SW_SHOWNA does not activate";
  SetWindowPos(ha, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_TRUE(IsTopMost(ha));
  EXPECT_EQ(WindowFromPoint(POINT{160, 130}), ha) << "top-most windows stay above";
  SetWindowPos(ha, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_FALSE(IsTopMost(ha));

  // Position and size changes report themselves; FRAMECHANGED asks for
  // the frame again; NOMOVE and NOSIZE keep what they say.
  a.seen.clear();
  SetWindowPos(ha, 0, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  RECT rc;
  GetWindowRect(ha, &rc);
  EXPECT_EQ(rc, (RECT{10, 20, 210, 120}));
  EXPECT_EQ(a.Count(WM_NCCALCSIZE), 1);
  EXPECT_EQ(a.Count(WM_MOVE), 1);
  EXPECT_EQ(a.Count(WM_SIZE), 0);
  MoveWindow(ha, 10, 20, 300, 150, true);
  EXPECT_EQ(a.Count(WM_SIZE), 1);
  POINT pt{15, 25};
  ScreenToClient(ha, &pt);
  EXPECT_EQ(pt, (POINT{5, 5}));

  // Centring: over a visible owner, else on the work area, never off it.
  b.CenterWindow();
  GetWindowRect(hb, &rc);
  EXPECT_EQ(rc, (RECT{135, 70, 185, 120}));
  ShowWindow(ha, SW_HIDE);
  b.CenterWindow();
  GetWindowRect(hb, &rc);
  EXPECT_EQ(rc, (RECT{935, 495, 985, 545}));

  // Minimise and restore report SIZE_MINIMIZED and SIZE_RESTORED.
  ShowWindow(ha, SW_SHOW);
  a.seen.clear();
  SendMessage(ha, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(ha));
  SendMessage(ha, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(ha));
  EXPECT_EQ(a.Count(WM_SIZE), 2);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYFULLSCREEN), 1040);

  // The colour key needs the layered style.
  EXPECT_FALSE(SetLayeredWindowAttributes(hb, RGB(1, 2, 3), 255, LWA_COLORKEY));
  SetWindowLong(hb, GWL_EXSTYLE, GetWindowLong(hb, GWL_EXSTYLE) | static_cast<long>(WS_EX_LAYERED));
  EXPECT_TRUE(SetLayeredWindowAttributes(hb, RGB(1, 2, 3), 255, LWA_COLORKEY));
  COLORREF key = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(hb, &key, nullptr, &flags));
  EXPECT_EQ(key, RGB(1, 2, 3));
  EXPECT_EQ(flags, LWA_COLORKEY);

  // Default processing: SC_CLOSE closes, and owned windows go with their owner.
  EXPECT_EQ(SendMessage(ha, WM_USER + 1, 40, 2), 42);
  SendMessage(ha, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(ha));
  EXPECT_FALSE(IsWindow(hb));
  EXPECT_EQ(b.Count(WM_DESTROY), 1);
  EXPECT_LT(std::find(a.seen.begin(), a.seen.end(), WM_DESTROY),
            std::find(a.seen.begin(), a.seen.end(), WM_NCDESTROY));
}

TEST_F(WindowApiTest, WorkersPostIntoTheGuiQueueInOrder) {
  PlainWindow w;
  HWND hwnd = w.Create(0, L"w", WS_POPUP, 0, 0, 0, 10, 10);
  constexpr int kPerThread = 200;
  std::atomic<int> ready{0};
  auto worker = [&](LPARAM base) {
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
    for (int i = 0; i < kPerThread; ++i) ASSERT_TRUE(PostMessage(hwnd, WM_USER + 100, 0, base + i));
  };
  std::thread t1(worker, 0);
  std::thread t2(worker, 10000);
  // The GUI thread waits in GetMessage as the main loop does.
  MSG msg;
  int received = 0;
  while (received < 2 * kPerThread && uilib::GetMessage(&msg)) {
    uilib::DispatchMessage(&msg);
    if (msg.message == WM_USER + 100) ++received;
  }
  t1.join();
  t2.join();
  ASSERT_EQ(static_cast<int>(w.posted.size()), 2 * kPerThread);
  LPARAM last_a = -1, last_b = 9999;
  for (LPARAM v : w.posted) {
    if (v < 10000) {
      EXPECT_EQ(v, last_a + 1) << "one thread's posts keep their order";
      last_a = v;
    } else {
      EXPECT_EQ(v, last_b + 1);
      last_b = v;
    }
  }
  // A quit message ends the loop and is left for it.
  uilib::PostQuitMessage(3);
  PostMessage(hwnd, WM_USER + 100, 0, -5);
  EXPECT_EQ(td::Pump(), 0);
  EXPECT_FALSE(uilib::GetMessage(&msg));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_EQ(td::Pump(), 1);
  DestroyWindow(hwnd);
  EXPECT_FALSE(PostMessage(hwnd, WM_USER + 100, 0, 0))
      << "no queue takes messages for a destroyed window";
}

// The window functions belong to the thread that first used them; another
// thread may only post and ask whether a window exists. Anything else from
// it is caught at once in the test build.
TEST_F(WindowApiTest, AUiCallOffTheGuiThreadIsCaught) {
#ifdef NDEBUG
  GTEST_SKIP() << "a release build only logs it";
#else
  PlainWindow w;
  HWND hwnd = w.Create(0, L"w", WS_POPUP, 0, 0, 0, 10, 10);
  std::thread([&] {
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(PostMessage(hwnd, WM_USER + 100, 0, 7));
  }).join();
  EXPECT_EQ(td::Pump(), 1);
  EXPECT_EQ(w.posted, std::vector<LPARAM>{7});
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        PlainWindow other;
        other.Create(0, L"other", WS_POPUP, 0, 0, 0, 10, 10);
        std::thread([] {
          POINT pt;
          uilib::GetCursorPos(&pt);
        }).join();
      },
      "GetCursorPos called off the GUI thread");
  EXPECT_DEATH(
      {
        PlainWindow other;
        HWND h = other.Create(0, L"other", WS_POPUP, 0, 0, 0, 10, 10);
        std::thread([h] { uilib::ShowWindow(h, SW_SHOW); }).join();
      },
      "ShowWindow called off the GUI thread");
  DestroyWindow(hwnd);
#endif
}

TEST_F(WindowApiTest, ControlTimersAndNotifiersThatLeaveWhileNotified) {
  SkinWindow w(L"<Window size=\"60,30\"><Button name=\"b\"/></Window>");
  w.Create(0, L"timers", WS_POPUP, 0, 0, 0, 0, 0);
  CControlUI* button = w.pm.FindControl(L"b");
  ASSERT_TRUE(w.pm.SetTimer(button, 5, 100));
  backend->AdvanceClock(100);
  td::Pump();
  EXPECT_EQ(w.Notes(), (std::vector<std::wstring>{L"timer:b"}));
  ASSERT_TRUE(w.pm.KillTimer(button, 5));
  backend->AdvanceClock(500);
  td::Pump();
  EXPECT_EQ(w.Notes().size(), 1u);

  // A notifier that removes itself (a dialog closing on "click") does not
  // disturb the others, and is not called again.
  struct Leaver : INotifyUI {
    CPaintManagerUI* pm = nullptr;
    int calls = 0;
    void Notify(TNotifyUI&) override {
      ++calls;
      pm->RemoveNotifier(this);
    }
  } leaver;
  leaver.pm = &w.pm;
  w.pm.RemoveNotifier(&w);
  w.pm.AddNotifier(&leaver);
  w.pm.AddNotifier(&w);
  w.notes.clear();
  ASSERT_TRUE(button->Activate());
  ASSERT_TRUE(button->Activate());
  EXPECT_EQ(leaver.calls, 1);
  EXPECT_EQ(w.Notes(), (std::vector<std::wstring>{L"click:b", L"click:b"}));

  // A window freed by its own notifier (an owner deleting a dialog on
  // "click") ends the delivery cleanly.
  {
    auto dialog =
        std::make_unique<SkinWindow>(L"<Window size=\"40,20\"><Button name=\"x\"/></Window>");
    dialog->Create(0, L"dialog", WS_POPUP, 0, 0, 0, 0, 0);
    HWND dialog_hwnd = dialog->GetHWND();
    SkinWindow* raw = dialog.get();
    raw->on_notify = [&](TNotifyUI& msg) {
      if (msg.sType == L"click") dialog.reset();
    };
    ASSERT_TRUE(td::Click(raw->pm, L"x"));
    EXPECT_EQ(dialog, nullptr);
    EXPECT_FALSE(IsWindow(dialog_hwnd));
  }

  // Deleting a focused, hot control leaves the manager with neither.
  ASSERT_TRUE(td::Click(w.pm, L"b"));
  EXPECT_EQ(w.pm.GetFocus(), button);
  w.pm.AttachDialog(nullptr);
  EXPECT_EQ(w.pm.GetFocus(), nullptr);
  EXPECT_EQ(w.pm.GetHotControl(), nullptr);
  td::ClickAt(w.GetHWND(), POINT{5, 5});
}

}  // namespace
}  // namespace uilib::testing

namespace uilib::testing {
namespace {

// Sees the owner as it stands while the box is up.
class BoxWatchingBackend : public HeadlessBackend {
 public:
  BoxWatchingBackend() : HeadlessBackend(Options{}) {}
  void RunMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption) override {
    owner_enabled_while_shown.push_back(owner == 0 || IsWindowEnabled(owner));
    HeadlessBackend::RunMessageBox(owner, text, caption);
  }
  std::vector<bool> owner_enabled_while_shown;
};

TEST_F(WindowApiTest, AMessageBoxHoldsItsOwnerOnlyWhileItIsUp) {
  auto* boxes = new BoxWatchingBackend;
  std::unique_ptr<UiBackend> fixture_backend = SetUiBackend(std::unique_ptr<UiBackend>(boxes));
  {
    PlainWindow owner;
    ASSERT_NE(owner.Create(0, L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 0, 100, 100), 0u);
    EXPECT_EQ(MessageBox(owner.GetHWND(), L"Ombrix is running", L"Tip"), 1);
    EXPECT_TRUE(IsWindowEnabled(owner.GetHWND())) << "the owner gets its input back";
    // An owner that was already disabled (under a dialog) stays so.
    EnableWindow(owner.GetHWND(), false);
    MessageBox(owner.GetHWND(), nullptr, nullptr);
    EXPECT_FALSE(IsWindowEnabled(owner.GetHWND()));
    MessageBox(0, L"no owner", L"Error");
    ASSERT_EQ(boxes->owner_enabled_while_shown, (std::vector<bool>{false, false, true}));
    auto shown = boxes->ActionsOf("message_box");
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].detail, L"Tip: Ombrix is running");
    EXPECT_EQ(shown[0].hwnd, owner.GetHWND());
    EXPECT_EQ(shown[1].detail, L": ");
    EXPECT_EQ(shown[2].detail, L"Error: no owner");
  }
  SetUiBackend(std::move(fixture_backend));
}

}  // namespace
}  // namespace uilib::testing

namespace uilib::testing {
namespace {

class ChooserWatchingBackend : public HeadlessBackend {
 public:
  ChooserWatchingBackend() : HeadlessBackend(Options{}) {}
  bool RunFolderChooser(HWND owner, const std::wstring& title, std::wstring* folder) override {
    owner_enabled_while_shown.push_back(owner == 0 || IsWindowEnabled(owner));
    return HeadlessBackend::RunFolderChooser(owner, title, folder);
  }
  std::vector<bool> owner_enabled_while_shown;
};

TEST_F(WindowApiTest, AFolderChooserHoldsItsOwnerWhileUpAndOnlyAChoiceChangesTheFolder) {
  auto* chooser = new ChooserWatchingBackend;
  std::unique_ptr<UiBackend> fixture_backend = SetUiBackend(std::unique_ptr<UiBackend>(chooser));
  {
    PlainWindow owner;
    ASSERT_NE(owner.Create(0, L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 0, 100, 100), 0u);
    std::wstring folder = L"/home/user/Pictures";
    chooser->QueueFolderChoice(L"/home/user/Shots");
    EXPECT_TRUE(ChooseFolder(owner.GetHWND(), L"Where to", &folder));
    EXPECT_EQ(folder, L"/home/user/Shots");
    EXPECT_TRUE(IsWindowEnabled(owner.GetHWND())) << "the owner gets its input back";
    // Cancelled, or an empty answer: the folder stays as it was.
    chooser->QueueFolderChoice(std::nullopt);
    chooser->QueueFolderChoice(L"");
    EXPECT_FALSE(ChooseFolder(owner.GetHWND(), L"Where to", &folder));
    EXPECT_FALSE(ChooseFolder(owner.GetHWND(), L"Where to", &folder));
    EXPECT_EQ(folder, L"/home/user/Shots");
    EXPECT_TRUE(IsWindowEnabled(owner.GetHWND()));
    // An owner already disabled (under a dialog) stays so; none at all is
    // fine; nowhere to put the answer asks nothing.
    EnableWindow(owner.GetHWND(), false);
    EXPECT_FALSE(ChooseFolder(owner.GetHWND(), L"", &folder));
    EXPECT_FALSE(IsWindowEnabled(owner.GetHWND()));
    std::wstring none;
    chooser->QueueFolderChoice(L"/tmp");
    EXPECT_TRUE(ChooseFolder(0, L"Alone", &none));
    EXPECT_EQ(none, L"/tmp");
    chooser->QueueFolderChoice(L"/never");
    EXPECT_FALSE(ChooseFolder(owner.GetHWND(), L"Where to", nullptr));
    ASSERT_EQ(chooser->owner_enabled_while_shown,
              (std::vector<bool>{false, false, false, false, true}));
    auto shown = chooser->ActionsOf("folder_chooser");
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[0].hwnd, owner.GetHWND());
    EXPECT_EQ(shown[0].detail, L"Where to: /home/user/Pictures");
    EXPECT_EQ(shown[1].detail, L"Where to: /home/user/Shots");
    EXPECT_EQ(shown[3].detail, L": /home/user/Shots");
    EXPECT_EQ(shown[4].hwnd, 0u);
    EXPECT_EQ(shown[4].detail, L"Alone: ");
    // The unused answer waits for the next chooser.
    std::wstring next;
    EXPECT_TRUE(ChooseFolder(0, L"", &next));
    EXPECT_EQ(next, L"/never");
  }
  SetUiBackend(std::move(fixture_backend));
}

}  // namespace
}  // namespace uilib::testing
