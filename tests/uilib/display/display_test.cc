// Real toolkit windows on an X display: shape, colour key, owned tool
// windows, and text typed through the hosted native field.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
