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

#include "tests/support/installed_host.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"

namespace {

namespace fs = std::filesystem;
using ombrix::test::HostProcess;
using ombrix::test::InstalledHost;
using ombrix::test::ScopedEnv;
using ombrix::test::WaitUntil;
using ombrix::test::WebStandin;

constexpr auto kStartUp = std::chrono::seconds(30);
constexpr auto kSignIn = std::chrono::seconds(20);

// Runs a shell command (bounded by `timeout`); its standard output.
std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(("timeout 20 " + command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[512];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

bool Have(const std::string& program) { return !Shell("sh -c 'command -v " + program + "'").empty(); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

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

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};

Geometry GeometryOf(const std::string& window) {
  Geometry g;
  for (const std::string& line : Lines(Shell("xdotool getwindowgeometry --shell " + window))) {
    auto value = [&](const char* key) { return std::atoi(line.c_str() + std::string(key).size()); };
    if (line.rfind("X=", 0) == 0) g.x = value("X=");
    if (line.rfind("Y=", 0) == 0) g.y = value("Y=");
    if (line.rfind("WIDTH=", 0) == 0) g.width = value("WIDTH=");
    if (line.rfind("HEIGHT=", 0) == 0) g.height = value("HEIGHT=");
  }
  return g;
}

class DesktopDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"xdotool", "import", "trayer", "xprop"})
      if (!Have(tool)) GTEST_SKIP() << tool << " is missing";
    ASSERT_TRUE(standin_.running());
    installed_.WriteEditionValues("GameId=other\nKey=OB-DEMO\nKeyDesc=Ombrix demo edition\nInstallHook=0\n"
                                  "GlobalConfig=" + standin_.base_url() + "/\n");
    fs::copy(ombrix::test::DistDir() + "/html", installed_.Path("html"), fs::copy_options::recursive);
    out_ = ombrix::test::BinaryDir() + "/test-output/desktop-display";
    fs::create_directories(out_);
  }

  // Visible windows of a client (by default the first) of one window class.
  std::vector<std::string> Windows(const std::string& class_name, const HostProcess* host = nullptr) const {
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

  // The demo user with a first diary entry, so the main page has one to show.
  WebStandin standin_{WebStandin::Options{true, {"--demo-blog"}}};
  InstalledHost installed_;
  ScopedEnv ui_{"OMBRIX_UI", std::nullopt};  // the windows, on this display
  ScopedEnv static_host_{"OMBRIX_STATIC_HOST", std::nullopt};
  ScopedEnv home_{"HOME", installed_.Scratch("state/home")};
  ScopedEnv lang_{"LANG", "en_US.UTF-8"};
  std::string out_;
  std::unique_ptr<HostProcess> host_;
};

TEST_F(DesktopDisplayTest, KeyboardSignInHandsOverToTheMainWindowAndTheTrayMenuQuits) {
  // A notification area for the tray icon, as a desktop has.
  HostProcess tray("/usr/bin/trayer",
                   {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                    "--transparent", "false", "--SetDockType", "true"},
                   installed_.Scratch("trayer.stderr"));
  ASSERT_TRUE(tray.started());
  std::string panel;
  ASSERT_TRUE(WaitUntil([&] {
    auto found = Lines(Shell("xdotool search --onlyvisible --pid " + std::to_string(tray.pid()) + " --class trayer"));
    if (!found.empty()) panel = found.front();
    return !panel.empty();
  }));

  host_ = installed_.Run();
  ASSERT_TRUE(host_->started());
  // The login window comes up centred and takes the keyboard.
  std::string login;
  ASSERT_TRUE(WaitUntil(
      [&] {
        auto found = Windows("OBLoginWnd");
        if (!found.empty()) login = found.front();
        return !login.empty() && Lines(Shell("xdotool getwindowfocus")) == std::vector<std::string>{login};
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
  const std::string signed_out_tray = Pixels(panel);
  ASSERT_FALSE(signed_out_tray.empty());
  Shell("import -window " + panel + " '" + out_ + "/tray-signed-out.png'");
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
  EXPECT_TRUE(WaitUntil([&] { return installed_.LogHas("UI: signed in (account), the main window takes over"); }));
  // Signed in: the tray's picture changes, and the main window's icon is
  // not the signed-out one.
  EXPECT_TRUE(WaitUntil([&] { return Pixels(panel) != signed_out_tray; }))
      << "the tray icon looks the same signed in and signed out";
  Shell("import -window " + panel + " '" + out_ + "/tray-signed-in.png'");
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
  Geometry icon = GeometryOf(panel);
  Shell("xdotool mousemove " + std::to_string(icon.x + icon.width / 2) + " " + std::to_string(icon.y + icon.height / 2));
  Shell("xdotool click 3");
  std::string menu;
  ASSERT_TRUE(WaitUntil([&] {
    for (const std::string& w : Windows("OBHost.exe"))
      if (GeometryOf(w).height > 3 * 20) menu = w;
    return !menu.empty();
  })) << "no tray menu";
  ASSERT_TRUE(ShootSettled("root", "tray-menu.png"));
  Geometry m = GeometryOf(menu);
  Shell("xdotool mousemove " + std::to_string(m.x + m.width / 2) + " " + std::to_string(m.y + m.height - 14));
  Shell("xdotool click 1");
  EXPECT_EQ(host_->WaitForExit(std::chrono::seconds(30)), 0) << host_->Stderr();
  EXPECT_TRUE(installed_.LogHas("[OBHost.exe]2.3.109.05 exit"));
  for (const char* name : {"login-window.png", "main-window.png", "tray-menu.png"})
    EXPECT_GT(fs::file_size(out_ + "/" + name), 1000u) << name;
  tray.Signal(SIGTERM);
  tray.WaitForExit(std::chrono::seconds(10));
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
