#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdlib>
#include <filesystem>

#include "client/ui/controls/control_context.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace ombrix::test {

// ctest counts this exit code as skipped.

namespace {

// Paints a window's controls into a PNG the way its paint manager paints
// the screen.
bool PaintToPng(CPaintManagerUI& pm, HWND hwnd, const std::string& path) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, rc.Width(), rc.Height());
  cairo_t* cr = cairo_create(surface);
  pm.Paint(cr, rc);
  cairo_destroy(cr);
  bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

// Every window of the default skin on a real display: it has every control
// its code looks up, it maps with its shape, and a picture of each is left
// for review.
TEST(DefaultSkinDisplayTest, EveryWindowMapsWithItsShape) {
  ControlContext context;
  context.skin_folder = DefaultSkin();
  std::string out = BinaryDir() + "/test-output/skin-display";
  std::filesystem::create_directories(out);
  CPaintManagerUI::InitToolTips(context.skin_folder + L"/tooltips.xml");

  for (const Layout& layout : kDefaultSkinWindows) {
    std::wstring file = layout.file;
    SCOPED_TRACE(brx::util::WideToUtf8(file));
    TestWindow window(context.skin_folder + L"/" + file, true, &context);
    HWND hwnd = window.CreateDefault();
    ASSERT_NE(hwnd, 0u);
    for (const wchar_t* name : layout.names)
      EXPECT_NE(window.paint_manager().FindControlQuiet(name), nullptr)
          << brx::util::WideToUtf8(name);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    test_driver::Pump();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    SIZE corner = window.paint_manager().GetRoundCorner();
    auto shape = GetWindowRgn(hwnd);
    EXPECT_EQ(shape.has_value(), corner.cx != 0 || corner.cy != 0);
    if (shape) {
      EXPECT_FALSE(shape->Contains(0, 0)) << "the top-left corner is cut away";
    }
    std::wstring png = file;
    png.replace(png.rfind(L".xml"), 4, L".png");
    EXPECT_TRUE(PaintToPng(window.paint_manager(), hwnd, out + "/" + brx::util::WideToUtf8(png)));
  }
}

}  // namespace
}  // namespace ombrix::test
