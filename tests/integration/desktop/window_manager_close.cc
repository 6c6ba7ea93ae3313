// Apart from the rest: Xlib's headers define names (CursorShape, Status,
// None) that the skin library's headers use.
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

#include "tests/integration/desktop/desktop_user.h"

namespace ombrix::test {

bool CloseByWindowManager(const std::string& window) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  const Window root = DefaultRootWindow(display);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = static_cast<Window>(std::strtoul(window.c_str(), nullptr, 10));
  event.xclient.message_type = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = CurrentTime;
  event.xclient.data.l[1] = 2;  // from a pager or taskbar
  const Status sent =
      XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  return sent != 0;
}

}  // namespace ombrix::test
