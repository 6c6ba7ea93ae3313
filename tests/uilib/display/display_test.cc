// Real toolkit windows on an X display: shape, colour key, owned tool
// windows, and text typed through the hosted native field.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"
#include "tests/uilib/skin_window.h"
#include "uilib/backend/gtk/gtk_backend.h"
#include "uilib/backend/headless/ui_test_driver.h"
#include "uilib/rich_edit_ui.h"
#include "uilib/ui_backend.h"
#include "uilib/window_snapshot.h"

namespace uilib::testing {
namespace {

namespace td = test_driver;

const wchar_t* kLogin = LR"(<?xml version="1.0" encoding="UTF-8"?>
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

bool Settle(const std::function<bool()>& done) {
  return ombrix::test::WaitUntil([&] {
    gtk_testing::Iterate(5);
    td::Pump();
    return done();
  }, std::chrono::milliseconds(5000));
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
  login.Create(owner.GetHWND(), L"login", WS_POPUP, WS_EX_LAYERED | WS_EX_TOOLWINDOW, 300, 200, 0, 0);
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
  ASSERT_TRUE(Settle([&] { return account->GetText() == L"abc"; })) << brx::util::WideToUtf8(account->GetText());
  std::wstring hosted;
  ASSERT_TRUE(gtk_testing::HostedText(hwnd, &hosted));
  EXPECT_EQ(hosted, L"abc");
  int changes = 0;
  for (const auto& n : login.Notes()) changes += n == L"textchanged:account";
  EXPECT_EQ(changes, 3);

  // Tab leaves the field for the next control; Enter reaches the window.
  ASSERT_TRUE(gtk_testing::SendKey(hwnd, "Tab"));
  ASSERT_TRUE(Settle([&] { return login.pm.GetFocus() && login.pm.GetFocus()->GetName() == L"password"; }));
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
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
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
    ombrix::test::WaitUntil([&] {
      window = Shell("xdotool search --onlyvisible --name '^Pick the shots folder$' 2>/dev/null | head -n 1");
      return !window.empty();
    }, std::chrono::milliseconds(15000));
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
