// Builds a large layout and paints it in full, again and again, at its
// natural size; prints milliseconds per full paint (the target is under
// 4 ms, so a 60 Hz repaint never stutters).
//
//   uilib_paint [layout.xml]
//
// Without an argument the largest layout found under the source tree's
// skins/ is used, or else a built-in one of about 300 controls.
#include <cairo.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "runtime/util/text_convert.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/builder/dialog_builder.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_wnd.h"

namespace {

using namespace uilib;

std::string BuiltInLayout(const std::string& image) {
  std::string xml = "<Window size=\"900,640\" caption=\"0,0,0,40\" roundcorner=\"6,6\">"
                    "<Font name=\"Noto Sans CJK SC\" size=\"12\" default=\"true\"/>"
                    "<VerticalLayout bkcolor=\"#FFF3F5F8\">"
                    "<HorizontalLayout height=\"40\" bkcolor=\"#FF2B5D8C\"><Label text=\"翎岚 Ombrix\" "
                    "textcolor=\"#FFFFFFFF\"/><Button name=\"min\" width=\"28\" normalimage=\"file='" +
                    image + "' source='0,0,20,20'\"/></HorizontalLayout><HorizontalLayout>";
  for (int col = 0; col < 3; ++col) {
    xml += "<VerticalLayout inset=\"8,8,8,8\" childpadding=\"4\">";
    for (int row = 0; row < 24; ++row) {
      std::string n = std::to_string(col) + "_" + std::to_string(row);
      xml += "<HorizontalLayout height=\"20\" childpadding=\"4\">"
             "<Control width=\"20\" bkimage=\"file='" + image + "' source='20,0,40,20'\"/>"
             "<Label name=\"l" + n + "\" text=\"好友 friend " + n + " 在线\" endellipsis=\"true\"/>"
             "<Button name=\"b" + n + "\" width=\"48\" text=\"关注\" bkcolor=\"#FFE0E8F0\" "
             "hotimage=\"file='" + image + "' source='40,0,60,20' corner='4,4,4,4'\"/>"
             "<Option name=\"o" + n + "\" width=\"18\" selected=\"true\" selectedimage=\"file='" + image +
             "' source='0,0,20,20'\"/></HorizontalLayout>";
    }
    xml += "</VerticalLayout>";
  }
  xml += "</HorizontalLayout><RichEdit height=\"60\" text=\"说点什么吧 say something\" bordercolor=\"#FF909090\" "
         "bordersize=\"1\"/></VerticalLayout></Window>";
  return xml;
}

std::string LargestSkinLayout() {
#ifdef OMBRIX_SOURCE_DIR
  std::error_code ec;
  std::string best;
  uintmax_t best_size = 0;
  std::filesystem::path skins = std::filesystem::path(OMBRIX_SOURCE_DIR) / "skins";
  if (!std::filesystem::exists(skins, ec)) return "";
  for (auto& entry : std::filesystem::recursive_directory_iterator(skins, ec)) {
    if (entry.path().extension() != ".xml" || entry.path().filename() == "tooltips.xml") continue;
    uintmax_t size = entry.file_size(ec);
    if (size > best_size) {
      best_size = size;
      best = entry.path().string();
    }
  }
  return best;
#else
  return "";
#endif
}

class BenchWindow : public CWindowWnd {
 public:
  explicit BenchWindow(std::wstring skin) : skin_(std::move(skin)) {}
  LPCTSTR GetWindowClassName() const override { return L"PaintBench"; }
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_CREATE) {
      pm.Init(GetHWND());
      CDialogBuilder builder;
      pm.AttachDialog(builder.Create(skin_, nullptr, nullptr, &pm));
      SIZE init = pm.GetInitSize();
      if (init.cx) SetWindowPos(GetHWND(), 0, 0, 0, init.cx, init.cy, SWP_NOMOVE | SWP_NOZORDER);
      return 0;
    }
    LRESULT res = 0;
    if (pm.MessageHandler(msg, wParam, lParam, res)) return res;
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
  }
  CPaintManagerUI pm;

 private:
  std::wstring skin_;
};

}  // namespace

int main(int argc, char** argv) {
  SetUiBackend(std::make_unique<HeadlessBackend>());
  std::string layout = argc > 1 ? argv[1] : LargestSkinLayout();
  std::wstring skin;
  std::string image = "/tmp/uilib_paint_bench.png";
  if (layout.empty()) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 60, 20);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0.2, 0.5, 0.8);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(s, image.c_str());
    cairo_surface_destroy(s);
    skin = brx::util::Utf8ToWide(BuiltInLayout(image));
    layout = "(built-in layout)";
  } else {
    skin = brx::util::Utf8ToWide(layout);
  }
  BenchWindow window(skin);
  window.Create(0, L"bench", WS_POPUP, 0, 0, 0, 800, 600);
  if (!window.pm.GetRoot()) {
    std::fprintf(stderr, "cannot build %s\n", layout.c_str());
    return 1;
  }
  RECT rc;
  GetClientRect(window.GetHWND(), &rc);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, rc.Width(), rc.Height());
  cairo_t* cr = cairo_create(surface);
  PaintWindowInto(window.GetHWND(), cr, rc);  // warm the image cache and layout
  constexpr int kRounds = 200;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRounds; ++i) PaintWindowInto(window.GetHWND(), cr, rc);
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kRounds;
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  std::printf("uilib_paint: %s at %dx%d: %.3f ms per full paint (target < 4 ms)\n", layout.c_str(), rc.Width(),
              rc.Height(), ms);
  return 0;
}
