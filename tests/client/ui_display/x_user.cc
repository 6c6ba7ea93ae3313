#include "tests/client/ui_display/x_user.h"

#include <cstdio>
#include <cstdlib>

#include "tests/support/test_support.h"
#include "uilib/testing/gtk_testing.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/win_api.h"

namespace ombrix::test {

namespace {

std::string At(uilib::POINT pt) { return std::to_string(pt.x) + " " + std::to_string(pt.y); }

}  // namespace

std::string XUser::Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(("timeout 20 " + command + " 2>/dev/null").c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
    pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

bool XUser::Available() { return std::system("command -v xdotool >/dev/null 2>&1") == 0; }

void XUser::ClickAt(uilib::POINT screen, const std::string& modifier) {
  std::string command = "xdotool mousemove " + At(screen);
  if (!modifier.empty()) command += " keydown " + modifier;
  command += " click 1";
  if (!modifier.empty()) command += " keyup " + modifier;
  Shell(command);
}

void XUser::Key(const std::string& name) { Shell("xdotool key " + name); }

void XUser::Type(const std::string& text) { Shell("xdotool type --delay 20 '" + text + "'"); }

void XUser::Drag(uilib::POINT from, uilib::POINT to) {
  std::string command = "xdotool mousemove " + At(from) + " mousedown 1";
  // In steps, as a hand moves.
  for (int step = 1; step <= 5; ++step)
    command += " mousemove " + At(uilib::POINT{from.x + (to.x - from.x) * step / 5,
                                               from.y + (to.y - from.y) * step / 5});
  command += " mouseup 1";
  Shell(command);
}

bool XUser::Settle(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
  return WaitUntil(
      [&] {
        uilib::gtk_testing::Iterate(5);
        uilib::test_driver::Pump();
        return done();
      },
      deadline);
}

bool XUser::SettlePlaced(uilib::HWND hwnd) {
  return Settle([&] {
    uilib::RECT rc{};
    uilib::GetWindowRect(hwnd, &rc);
    uilib::POINT at{};
    return uilib::gtk_testing::IsMapped(hwnd) && uilib::gtk_testing::NativeOrigin(hwnd, &at) &&
           at.x == rc.left && at.y == rc.top;
  });
}

}  // namespace ombrix::test
