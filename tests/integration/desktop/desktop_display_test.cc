// The client with its windows on an X display, used as a user uses it: the
// keys and clicks go through the X server (xdotool), the stand-in web
// service answers, and screenshots of what is on the screen are written to
// test-output/desktop-display below the build folder.

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/integration/desktop/desktop_user.h"
#include "tests/support/installed_host.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"

namespace {

namespace fs = std::filesystem;
using ombrix::test::Box;
using ombrix::test::CloseByWindowManager;
using ombrix::test::ControlBox;
using ombrix::test::ControlCentre;
using ombrix::test::Geometry;
using ombrix::test::GeometryOf;
using ombrix::test::Have;
using ombrix::test::HostProcess;
using ombrix::test::InstalledHost;
using ombrix::test::Lines;
using ombrix::test::ScopedEnv;
using ombrix::test::Shell;
using ombrix::test::Spot;
using ombrix::test::WaitUntil;
using ombrix::test::WebStandin;

constexpr auto kStartUp = std::chrono::seconds(30);
constexpr auto kSignIn = std::chrono::seconds(20);

// The names of the processes whose parent is `pid`.
std::vector<std::string> ChildNames(pid_t pid) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string stat = ombrix::test::ReadFile(entry.path().string() + "/stat");
    size_t close = stat.rfind(')');
    size_t open = stat.find('(');
    if (close == std::string::npos || open == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    std::string state;
    long parent = 0;
    rest >> state >> parent;
    if (parent == pid) names.push_back(stat.substr(open + 1, close - open - 1));
  }
  return names;
}

bool RunsWebEngine(pid_t pid) {
  for (const std::string& name : ChildNames(pid))
    if (name.rfind("WebKit", 0) == 0) return true;
  return false;
}

class DesktopDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"xdotool", "import", "trayer", "xprop"})
      if (!Have(tool)) GTEST_SKIP() << tool << " is missing";
    ASSERT_TRUE(standin_.running());
    installed_.WriteEditionValues(
        "GameId=other\nKey=OB-DEMO\nKeyDesc=Ombrix demo edition\nInstallHook=0\n"
        "GlobalConfig=" +
        standin_.base_url() + "/\n");
    fs::copy(ombrix::test::DistDir() + "/html", installed_.Path("html"),
             fs::copy_options::recursive);
    out_ = ombrix::test::BinaryDir() + "/test-output/desktop-display";
    fs::create_directories(out_);
  }

  // Visible windows of a client (by default the first) of one window class.
  std::vector<std::string> Windows(const std::string& class_name,
                                   const HostProcess* host = nullptr) const {
    if (host == nullptr) host = host_.get();
    return Lines(Shell("xdotool search --all --onlyvisible --pid " + std::to_string(host->pid()) +
                       " --classname '^" + class_name + "$'"));
  }
  bool Shows(const std::string& class_name) const { return !Windows(class_name).empty(); }

  // Takes screenshots until two in a row are the same and not of one plain
  // colour (a PNG of a few hundred bytes): the window has been drawn and
  // has finished drawing. True when that happened before the deadline.
  bool ShootSettled(const std::string& window, const std::string& name) {
    std::string png = out_ + "/" + name;
    fs::remove(png);  // never one of an earlier run
    std::string previous;
    return WaitUntil(
        [&] {
          Shell("import -window " + window + " '" + png + "'");
          std::string now = ombrix::test::ReadFile(png);
          bool same = now.size() > 1000 && now == previous;
          previous = now;
          return same;
        },
        std::chrono::seconds(20));
  }

  // The window's pixels as the screen shows them now (no metadata, so
  // equal pictures give equal texts).
  std::string Pixels(const std::string& window) const {
    const std::string ppm = out_ + "/pixels.ppm";
    fs::remove(ppm);
    Shell("import -window " + window + " 'ppm:" + ppm + "'");
    return ombrix::test::ReadFile(ppm);
  }
  // The icon the window gives the desktop (_NET_WM_ICON), empty for none.
  std::string WindowIcon(const std::string& window) const {
    std::string icon = Shell("xprop -id " + window + " _NET_WM_ICON");
    return icon.find("_NET_WM_ICON(CARDINAL)") == std::string::npos ? std::string() : icon;
  }
  // A notification area for the tray icon, as a desktop has; its panel.
  std::unique_ptr<HostProcess> StartTray() {
    auto tray = std::make_unique<HostProcess>(
        "/usr/bin/trayer",
        std::vector<std::string>{"--edge", "top", "--align", "right", "--widthtype", "request",
                                 "--height", "24", "--transparent", "false", "--SetDockType",
                                 "true"},
        installed_.Scratch("trayer.stderr"));
    EXPECT_TRUE(tray->started());
    EXPECT_TRUE(WaitUntil([&] {
      auto found = Lines(Shell("xdotool search --onlyvisible --pid " + std::to_string(tray->pid()) +
                               " --class trayer"));
      if (!found.empty()) panel_ = found.front();
      return !panel_.empty();
    }));
    return tray;
  }
  // Clicks (`count` times) with `button` on the tray icon.
  void ClickTrayIcon(int button, int count = 1) {
    Geometry icon = GeometryOf(panel_);
    Shell("xdotool mousemove " + std::to_string(icon.x + icon.width / 2) + " " +
          std::to_string(icon.y + icon.height / 2) + " click --repeat " + std::to_string(count) +
          " --delay 80 " + std::to_string(button));
  }

  // Right-clicks the tray icon; the menu's window once it is up, or "".
  std::string OpenTrayMenu() {
    ClickTrayIcon(3);
    std::string menu;
    WaitUntil([&] {
      for (const std::string& w : Windows("OBHost.exe"))
        if (GeometryOf(w).height > 3 * 20) menu = w;
      return !menu.empty();
    });
    return menu;
  }

  // The one visible window of a class, once there is one.
  std::string WaitForWindow(const std::string& class_name,
                            std::chrono::seconds deadline = std::chrono::seconds(20)) {
    std::string found;
    WaitUntil(
        [&] {
          auto windows = Windows(class_name);
          if (!windows.empty()) found = windows.front();
          return !found.empty();
        },
        deadline);
    return found;
  }
  // Clicks the control `name` of the layout `file` in `window`.
  void ClickControl(const std::string& window, const std::wstring& file, const wchar_t* name) {
    const Spot spot = ControlCentre(file, name);
    ASSERT_GE(spot.x, 0) << "no such control in the skin";
    const Geometry g = GeometryOf(window);
    Shell("xdotool mousemove " + std::to_string(g.x + spot.x) + " " + std::to_string(g.y + spot.y) +
          " click 1");
  }
  // Clicks a control of `window` and waits for a window of `class_name`.
  std::string OpenBy(const std::string& window, const std::wstring& file, const wchar_t* control,
                     const std::string& class_name) {
    ClickControl(window, file, control);
    return WaitForWindow(class_name);
  }
  // A box that waits for an answer: the window manager's close leaves it
  // shown, its button ends it.
  void ExpectStaysUntilAnswered(const std::string& box, const std::string& class_name,
                                const std::wstring& file, const wchar_t* button,
                                const std::string& png) {
    ASSERT_FALSE(box.empty()) << class_name << " did not open";
    EXPECT_EQ(CloseThroughWindowManager(box, class_name), "still shown") << class_name;
    EXPECT_TRUE(ShootSettled(box, png));
    ClickControl(box, file, button);
    EXPECT_TRUE(WaitUntil([&] { return !Shows(class_name); }))
        << class_name << " stayed after its answer";
  }
  // Asks the window manager to close `window` (of `class_name`) and waits
  // until the client has answered; what the window then is: "still shown"
  // or "hidden" (the client's own log says it after handling the close).
  std::string CloseThroughWindowManager(const std::string& window, const std::string& class_name) {
    const std::string said = "UI: " + class_name + " took the window manager's close: ";
    auto count = [&] {
      const std::string log = installed_.Log();
      size_t n = 0;
      for (size_t at = log.find(said); at != std::string::npos; at = log.find(said, at + 1)) ++n;
      return n;
    };
    const size_t before = count();
    EXPECT_TRUE(CloseByWindowManager(window));
    if (!WaitUntil([&] { return count() > before; }, std::chrono::seconds(20)))
      return "not answered";
    const std::string log = installed_.Log();
    const size_t at = log.rfind(said) + said.size();
    return log.substr(at, log.find('\n', at) - at);
  }

  // The demo user with a first diary entry, so the main page has one to show.
  WebStandin standin_{WebStandin::Options{true, {"--demo-blog"}}};
  InstalledHost installed_;
  ScopedEnv ui_{"OMBRIX_UI", std::nullopt};  // the windows, on this display
  ScopedEnv static_host_{"OMBRIX_STATIC_HOST", std::nullopt};
  ScopedEnv home_{"HOME", installed_.Scratch("state/home")};
  ScopedEnv lang_{"LANG", "en_US.UTF-8"};
  std::string out_;
  std::string panel_;
  std::unique_ptr<HostProcess> host_;
};

TEST_F(DesktopDisplayTest, KeyboardSignInHandsOverToTheMainWindowAndTheTrayMenuQuits) {
  std::unique_ptr<HostProcess> tray = StartTray();
  ASSERT_FALSE(panel_.empty());

  host_ = installed_.Run();
  ASSERT_TRUE(host_->started());
  // The login window comes up centred and takes the keyboard.
  std::string login;
  ASSERT_TRUE(WaitUntil(
      [&] {
        auto found = Windows("OBLoginWnd");
        if (!found.empty()) login = found.front();
        return !login.empty() &&
               Lines(Shell("xdotool getwindowfocus")) == std::vector<std::string>{login};
      },
      kStartUp))
      << host_->Stderr();
  EXPECT_FALSE(Shows("OBFrameWndCore")) << "the main window waits for the sign-in";
  EXPECT_FALSE(RunsWebEngine(host_->pid())) << "no web engine while the login window waits";
  EXPECT_FALSE(Shows("OBWndTray")) << "the tray's own window is never shown";
  EXPECT_TRUE(installed_.LogHas("UI: windows on the gtk backend"));
  Geometry g = GeometryOf(login);
  Geometry screen = GeometryOf(Lines(Shell("xdotool search --maxdepth 0 --name ''")).at(0));
  EXPECT_NEAR(g.x + g.width / 2, screen.width / 2, 2);
  EXPECT_NEAR(g.y + g.height / 2, screen.height / 2, 2);
  ASSERT_TRUE(ShootSettled(login, "login-window.png"));
  // The tray and the login window show the client's signed-out icon.
  const std::string signed_out_tray = Pixels(panel_);
  ASSERT_FALSE(signed_out_tray.empty());
  Shell("import -window " + panel_ + " '" + out_ + "/tray-signed-out.png'");
  const std::string login_icon = WindowIcon(login);
  EXPECT_FALSE(login_icon.empty()) << "the login window has no icon of its own";

  // A user types the account, moves on with Tab, types the password and
  // presses Enter.
  Shell(std::string("xdotool type --delay 30 ") + WebStandin::kDemoAccount);
  Shell("xdotool key Tab");
  Shell(std::string("xdotool type --delay 30 ") + WebStandin::kDemoPassword);
  Shell("xdotool key Return");

  ASSERT_TRUE(standin_.WaitForRequests("UserLogin", 1, kSignIn)) << host_->Stderr();
  auto request = standin_.RequestsFor("UserLogin").at(0);
  EXPECT_EQ(request.Param("Account"), WebStandin::kDemoAccount);
  EXPECT_EQ(request.Param("Password"), WebStandin::kDemoPassword);
  // The main window replaces the login window.
  std::string frame;
  ASSERT_TRUE(WaitUntil(
      [&] {
        auto found = Windows("OBFrameWndCore");
        if (!found.empty()) frame = found.front();
        return !frame.empty() && !Shows("OBLoginWnd");
      },
      kSignIn));
  EXPECT_TRUE(WaitUntil(
      [&] { return installed_.LogHas("UI: signed in (account), the main window takes over"); }));
  // Signed in: the tray's picture changes, and the main window's icon is
  // not the signed-out one.
  EXPECT_TRUE(WaitUntil([&] { return Pixels(panel_) != signed_out_tray; }))
      << "the tray icon looks the same signed in and signed out";
  Shell("import -window " + panel_ + " '" + out_ + "/tray-signed-in.png'");
  const std::string frame_icon = WindowIcon(frame);
  EXPECT_FALSE(frame_icon.empty());
  EXPECT_NE(frame_icon, login_icon);
  // All of it on the screen, and the page shows the user's diary, which
  // it reads from the service through the client.
  g = GeometryOf(frame);
  EXPECT_GE(g.x, 0);
  EXPECT_GE(g.y, 0);
  EXPECT_LE(g.x + g.width, screen.width);
  EXPECT_LE(g.y + g.height, screen.height);
  ASSERT_TRUE(standin_.WaitForRequests("GetUserBlogList", 1, kSignIn));
  EXPECT_TRUE(RunsWebEngine(host_->pid()));
  EXPECT_EQ(standin_.RequestsFor("GetUserBlogList").at(0).path, "/ClientInterface.axd");
  ASSERT_TRUE(ShootSettled(frame, "main-window.png"));

  // A right click on the tray icon opens the menu; its last entry quits.
  std::string menu = OpenTrayMenu();
  ASSERT_FALSE(menu.empty()) << "no tray menu";
  ASSERT_TRUE(ShootSettled("root", "tray-menu.png"));
  Geometry m = GeometryOf(menu);
  Shell("xdotool mousemove " + std::to_string(m.x + m.width / 2) + " " +
        std::to_string(m.y + m.height - 14));
  Shell("xdotool click 1");
  EXPECT_EQ(host_->WaitForExit(std::chrono::seconds(30)), 0) << host_->Stderr();
  EXPECT_TRUE(installed_.LogHas("[OBHost.exe]2.3.109.05 exit"));
  for (const char* name : {"login-window.png", "main-window.png", "tray-menu.png"})
    EXPECT_GT(fs::file_size(out_ + "/" + name), 1000u) << name;
  tray->Signal(SIGTERM);
  tray->WaitForExit(std::chrono::seconds(10));
}

// The window manager's close on every kind of window the user can reach:
// the client runs on, and each window does what it should with it (the
// login and main windows and the windows that are only looked at hide,
// the settings and the profile close as Cancel, the boxes that wait for
// an answer stay, the feedback keeps its draft). The login window, shown
// again from the tray or after a sign-out, has the keyboard in the right
// field. Only the tray's Quit ends the client.
TEST_F(DesktopDisplayTest, TheWindowManagersCloseIsEachWindowsOwnAndOnlyQuitEndsTheClient) {
  std::unique_ptr<HostProcess> tray = StartTray();
  ASSERT_FALSE(panel_.empty());
  host_ = installed_.Run();
  ASSERT_TRUE(host_->started());
  std::string login = WaitForWindow("OBLoginWnd", kStartUp);
  ASSERT_FALSE(login.empty()) << host_->Stderr();
  auto alive = [&] { return !host_->HasExited(); };

  // The login window hides; the tray's menu brings it back ("显示翎岚",
  // the first entry that can be chosen while signed out), the account box
  // taking the keys.
  EXPECT_EQ(CloseThroughWindowManager(login, "OBLoginWnd"), "hidden");
  EXPECT_TRUE(WaitUntil([&] { return !Shows("OBLoginWnd"); }));
  ASSERT_TRUE(alive());
  ASSERT_FALSE(OpenTrayMenu().empty()) << "no tray menu";
  Shell("xdotool key Down Return");
  login = WaitForWindow("OBLoginWnd");
  ASSERT_FALSE(login.empty()) << "the tray's menu shows the login window";
  ASSERT_TRUE(WaitUntil(
      [&] { return Lines(Shell("xdotool getwindowfocus")) == std::vector<std::string>{login}; }));
  Shell(std::string("xdotool type --delay 30 ") + WebStandin::kDemoAccount);
  Shell("xdotool key Tab");
  Shell(std::string("xdotool type --delay 30 ") + WebStandin::kDemoPassword);
  Shell("xdotool key Return");
  ASSERT_TRUE(standin_.WaitForRequests("UserLogin", 1, kSignIn)) << "the typed keys went nowhere";
  EXPECT_EQ(standin_.RequestsFor("UserLogin").at(0).Param("Account"), WebStandin::kDemoAccount);
  std::string frame = WaitForWindow("OBFrameWndCore", kSignIn);
  ASSERT_FALSE(frame.empty());
  ASSERT_TRUE(ShootSettled(frame, "wm-main-window.png"));

  // The main window hides and comes back from the tray.
  EXPECT_EQ(CloseThroughWindowManager(frame, "OBFrameWndCore"), "hidden");
  ASSERT_TRUE(alive());
  ClickTrayIcon(1, 2);
  frame = WaitForWindow("OBFrameWndCore");
  ASSERT_FALSE(frame.empty());

  // Settings close as Cancel and leave the main window usable: they open
  // again from it.
  std::string settings = OpenBy(frame, L"obskin.xml", L"confbtn", "OBSysConfigure");
  ASSERT_FALSE(settings.empty());
  ASSERT_TRUE(ShootSettled(settings, "wm-settings.png"));
  EXPECT_EQ(CloseThroughWindowManager(settings, "OBSysConfigure"), "hidden");
  settings = OpenBy(frame, L"obskin.xml", L"confbtn", "OBSysConfigure");
  EXPECT_FALSE(settings.empty()) << "the main window was left disabled";
  if (!settings.empty()) {
    EXPECT_EQ(CloseThroughWindowManager(settings, "OBSysConfigure"), "hidden");
  }

  // The menu goes; the about box, the exit question and the warning over
  // an untouched topic wait for an answer.
  std::string menu = OpenBy(frame, L"obskin.xml", L"menubtn", "OBContextMenu");
  ASSERT_FALSE(menu.empty());
  EXPECT_EQ(CloseThroughWindowManager(menu, "OBContextMenu"), "hidden");
  menu = OpenBy(frame, L"obskin.xml", L"menubtn", "OBContextMenu");
  ASSERT_FALSE(menu.empty());
  ExpectStaysUntilAnswered(OpenBy(menu, L"context_menu.xml", L"aboutBtn", "OBAboutDialog"),
                           "OBAboutDialog", L"about_dialog.xml", L"confirmbtn", "wm-about.png");
  menu = OpenBy(frame, L"obskin.xml", L"menubtn", "OBContextMenu");
  ASSERT_FALSE(menu.empty());
  ExpectStaysUntilAnswered(OpenBy(menu, L"context_menu.xml", L"exitBtn", "OBYesNoDialog"),
                           "OBYesNoDialog", L"yesno_dialog.xml", L"denybtn",
                           "wm-exit-question.png");
  EXPECT_TRUE(alive()) << "closing the exit question is no yes";
  ClickControl(frame, L"obskin.xml", L"topicbtn");
  ExpectStaysUntilAnswered(OpenBy(frame, L"obskin.xml", L"commitbtn", "OBWarningDialog"),
                           "OBWarningDialog", L"warning_dialog.xml", L"confirmbtn",
                           "wm-warning.png");

  // The feedback form stays with its draft, which is then sent whole.
  std::string feedback = OpenBy(frame, L"obskin.xml", L"feedbackbtn", "OBFeedDialog");
  ASSERT_FALSE(feedback.empty());
  ClickControl(feedback, L"feed_dialog.xml", L"feedlist");
  const std::string draft = "half written feedback 123";
  Shell("xdotool type --delay 20 '" + draft + "'");
  EXPECT_EQ(CloseThroughWindowManager(feedback, "OBFeedDialog"), "still shown");
  ASSERT_TRUE(ShootSettled(feedback, "wm-feedback.png"));
  ClickControl(feedback, L"feed_dialog.xml", L"confirmbtn");
  ASSERT_TRUE(standin_.WaitForRequests("RecommendedAdd", 1, kSignIn)) << "the form was gone";
  EXPECT_EQ(standin_.RequestsFor("RecommendedAdd").at(0).Param("Content"), draft);

  // The profile's province list opens right under its field on a click;
  // a second click picks a province, whose first city follows.
  std::string profile = OpenBy(frame, L"obskin.xml", L"userbtn", "OBSysConfigure");
  ASSERT_FALSE(profile.empty());
  ASSERT_TRUE(ShootSettled(profile, "wm-profile.png"));
  const Geometry at = GeometryOf(profile);
  const Box field = ControlBox(L"OBUserInfoDialog.xml", L"province_combo");
  ClickControl(profile, L"OBUserInfoDialog.xml", L"province_combo");
  Geometry list;
  ASSERT_TRUE(WaitUntil([&] {
    for (const std::string& w : Lines(Shell("xdotool search --onlyvisible --pid " +
                                            std::to_string(host_->pid()) + " --name ''"))) {
      const Geometry g = GeometryOf(w);
      if (g.y == at.y + field.bottom && g.x == at.x + field.left) list = g;
    }
    return list.height > 0;
  })) << "no list right under the field";
  EXPECT_EQ(list.width, field.right - field.left);
  const std::string screen = Shell("xdotool getdisplaygeometry");  // "width height"
  EXPECT_LE(list.y + list.height, std::atoi(screen.substr(screen.find(' ') + 1).c_str()));
  Shell("import -window root -crop " + std::to_string(list.width + 40) + "x" +
        std::to_string(list.height + 60) + "+" + std::to_string(list.x - 20) + "+" +
        std::to_string(list.y - 40) + " '" + out_ + "/wm-profile-provinces.png'");
  const int row = (list.height - 2) / 12;  // twelve rows in view
  Shell("xdotool mousemove " + std::to_string(list.x + list.width / 2) + " " +
        std::to_string(list.y + 1 + row * 2 + row / 2) + " click 1");
  ClickControl(profile, L"OBUserInfoDialog.xml", L"ok_button");
  ASSERT_TRUE(standin_.WaitForRequests("UpdateUserInfo", 1, kSignIn))
      << "the pick did not change the profile";
  EXPECT_EQ(standin_.RequestsFor("UpdateUserInfo").at(0).Param("Province"), "上海");
  EXPECT_EQ(standin_.RequestsFor("UpdateUserInfo").at(0).Param("City"), "黄浦");
  EXPECT_TRUE(WaitUntil([&] { return !Shows("OBSysConfigure"); })) << "OK closes it once saved";

  // The profile closes as Cancel; the picker and the album hide.
  profile = OpenBy(frame, L"obskin.xml", L"userbtn", "OBSysConfigure");
  ASSERT_FALSE(profile.empty());
  EXPECT_EQ(CloseThroughWindowManager(profile, "OBSysConfigure"), "hidden");
  std::string picker = OpenBy(frame, L"obskin.xml", L"insertpicbtn", "COBPicWnd");
  ASSERT_FALSE(picker.empty());
  ASSERT_TRUE(ShootSettled(picker, "wm-picker.png"));
  EXPECT_EQ(CloseThroughWindowManager(picker, "COBPicWnd"), "hidden");
  std::string album = OpenBy(frame, L"obskin.xml", L"picbtn", "COBAlbumWnd");
  ASSERT_FALSE(album.empty()) << "the picker's close gave the album's opener back";
  EXPECT_EQ(CloseThroughWindowManager(album, "COBAlbumWnd"), "hidden");
  ASSERT_TRUE(alive());

  // After a sign-out the login window takes the keys in the password box
  // (the account is remembered).
  menu = OpenBy(frame, L"obskin.xml", L"menubtn", "OBContextMenu");
  ASSERT_FALSE(menu.empty());
  std::string question = OpenBy(menu, L"context_menu.xml", L"changeUserBtn", "OBYesNoDialog");
  ASSERT_FALSE(question.empty());
  ClickControl(question, L"yesno_dialog.xml", L"confirmbtn");
  login = WaitForWindow("OBLoginWnd");
  ASSERT_FALSE(login.empty());
  ASSERT_TRUE(WaitUntil(
      [&] { return Lines(Shell("xdotool getwindowfocus")) == std::vector<std::string>{login}; }));
  ASSERT_TRUE(ShootSettled(login, "wm-login-again.png"));
  Shell(std::string("xdotool type --delay 30 ") + WebStandin::kDemoPassword);
  Shell("xdotool key Return");
  ASSERT_TRUE(standin_.WaitForRequests("UserLogin", 2, kSignIn))
      << "the keys went nowhere after the sign-out";
  EXPECT_EQ(standin_.RequestsFor("UserLogin").at(1).Param("Password"), WebStandin::kDemoPassword);
  ASSERT_FALSE(WaitForWindow("OBFrameWndCore", kSignIn).empty());

  // Only Quit ends it.
  EXPECT_TRUE(alive());
  const std::string tray_menu = OpenTrayMenu();
  ASSERT_FALSE(tray_menu.empty()) << "no tray menu";
  Geometry m = GeometryOf(tray_menu);
  Shell("xdotool mousemove " + std::to_string(m.x + m.width / 2) + " " +
        std::to_string(m.y + m.height - 14) + " click 1");
  EXPECT_EQ(host_->WaitForExit(std::chrono::seconds(30)), 0) << host_->Stderr();
  tray->Signal(SIGTERM);
  tray->WaitForExit(std::chrono::seconds(10));
}

TEST_F(DesktopDisplayTest, ASecondStartSaysSoInABoxThatWaitsForTheUser) {
  host_ = installed_.Run();
  ASSERT_TRUE(host_->started());
  ASSERT_TRUE(WaitUntil([&] { return Shows("OBLoginWnd"); }, kStartUp)) << host_->Stderr();

  auto second = installed_.Run();
  ASSERT_TRUE(second->started());
  std::string box;
  ASSERT_TRUE(WaitUntil(
      [&] {
        auto found = Windows("OBHost.exe", second.get());
        if (!found.empty()) box = found.front();
        return !box.empty();
      },
      kStartUp))
      << second->Stderr();
  EXPECT_EQ(Lines(Shell("xdotool getwindowname " + box)), std::vector<std::string>{"Tip"});
  ASSERT_TRUE(ShootSettled(box, "second-start.png"));
  // The box waits for the user; the second client ends only once it is
  // dismissed, and the first goes on.
  EXPECT_FALSE(second->HasExited());
  Shell("xdotool windowfocus --sync " + box + " key Return");
  EXPECT_EQ(second->WaitForExit(std::chrono::seconds(30)), 255);
  EXPECT_TRUE(installed_.LogHas("MessageBox[Tip]Ombrix is running"));
  EXPECT_FALSE(host_->HasExited());
  EXPECT_TRUE(Shows("OBLoginWnd"));
  ASSERT_TRUE(host_->Signal(SIGTERM));
  EXPECT_EQ(host_->WaitForExit(std::chrono::seconds(30)), 0) << host_->Stderr();
}

}  // namespace
