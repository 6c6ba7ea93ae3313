#pragma once

#include <string>
#include <vector>

namespace ombrix::test {

// What the desktop test asks of the X server and of the skin, apart from
// the client: running the X tools, window geometry, the window manager's
// close, and where a control of a skin layout lies in its window.
std::string Shell(const std::string& command);
std::vector<std::string> Lines(const std::string& text);
bool Have(const std::string& program);

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};
// A window's place on the screen (xdotool's id).
Geometry GeometryOf(const std::string& window);

// Asks the window manager to close the window, as its close button, a
// taskbar's Close or Alt+F4 do (_NET_CLOSE_WINDOW; the manager sends
// WM_DELETE_WINDOW). False without a display or a window manager.
bool CloseByWindowManager(const std::string& window);

// Where the control `name` of the default skin's layout `file` lies in
// its window, as the client lays the layout out at its own size: the
// centre, in window pixels. (-1, -1) when the layout has no such control.
struct Spot {
  int x = -1, y = -1;
};
Spot ControlCentre(const std::wstring& file, const wchar_t* name);
// The control's rectangle in its window; all -1 when there is none.
struct Box {
  int left = -1, top = -1, right = -1, bottom = -1;
};
Box ControlBox(const std::wstring& file, const wchar_t* name);

}  // namespace ombrix::test
