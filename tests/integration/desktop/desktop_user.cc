#include "tests/integration/desktop/desktop_user.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "client/ui/controls/control_context.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/test_window.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/win_api.h"

namespace ombrix::test {

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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

bool Have(const std::string& program) {
  return !Shell("sh -c 'command -v " + program + "'").empty();
}

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

Box ControlBox(const std::wstring& file, const wchar_t* name) {
  // Laid out in memory only: the process's own windows are headless.
  UseHeadlessBackend();
  ControlContext context;
  context.skin_folder = DefaultSkin();
  TestWindow window(context.skin_folder + L"/" + file, false, &context);
  if (window.CreateDefault() == 0) return Box{};
  window.paint_manager().FindControl(uilib::POINT{0, 0});  // laid out as painting does
  uilib::CControlUI* control = window.paint_manager().FindControlQuiet(name);
  if (control == nullptr) return Box{};
  const uilib::RECT rc = control->GetPos();
  return Box{rc.left, rc.top, rc.right, rc.bottom};
}

Spot ControlCentre(const std::wstring& file, const wchar_t* name) {
  const Box box = ControlBox(file, name);
  if (box.left < 0) return Spot{};
  return Spot{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
}

}  // namespace ombrix::test
