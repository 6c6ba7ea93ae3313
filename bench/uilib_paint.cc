// Builds a window's layout as the client does, with the client's control
// factory for its own controls, and paints it in full again and again at its
// natural size; prints milliseconds per full paint (the target is under
// 4 ms, so a 60 Hz repaint never stutters).
//
//   uilib_paint [layout.xml ...]
//
// Without an argument: the main window's layout ("obskin.xml" of the source
// tree's skin), as it opens, and the largest other layout of that skin. The
// main window's page area is the web view's, which the skin library does not
// paint; what is timed is everything around it.
#include <cairo.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "client/ui/controls/control_context.h"
#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "runtime/util/text_convert.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/builder/dialog_builder.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_wnd.h"

namespace {

using namespace uilib;
namespace fs = std::filesystem;

constexpr char kMainWindowLayout[] = "obskin.xml";

fs::path SkinFolder() { return fs::path(OMBRIX_SOURCE_DIR) / "skins" / "other"; }

// The largest layout of the skin other than the main window's (tooltips are
// not a window).
std::string LargestOtherLayout() {
  std::error_code ec;
  std::string best;
  uintmax_t best_size = 0;
  for (auto& entry : fs::directory_iterator(SkinFolder(), ec)) {
    std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".xml" || name == "tooltips.xml" || name == kMainWindowLayout)
      continue;
    uintmax_t size = entry.file_size(ec);
    if (size > best_size) {
      best_size = size;
      best = entry.path().string();
    }
  }
  return best;
}

class BenchWindow : public CWindowWnd {
 public:
  BenchWindow(std::wstring skin, const ControlContext* context)
      : skin_(std::move(skin)), factory_(context) {}
  LPCTSTR GetWindowClassName() const override { return L"PaintBench"; }
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_CREATE) {
      pm.Init(GetHWND());
      CDialogBuilder builder;
      pm.AttachDialog(builder.Create(skin_, nullptr, &factory_, &pm));
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
  CDialogBuilderCallbackEx factory_;
};

// Milliseconds per full paint of `layout`; negative when it cannot be built.
double PaintTime(const std::string& layout, RECT* size) {
  // The client's controls borrow this; nothing is downloaded here.
  ControlContext context;
  context.skin_folder = fs::path(layout).parent_path().wstring();
  BenchWindow window(brx::util::Utf8ToWide(layout), &context);
  window.Create(0, L"bench", WS_POPUP, 0, 0, 0, 800, 600);
  if (!window.pm.GetRoot()) return -1;
  RECT& rc = *size;
  GetClientRect(window.GetHWND(), &rc);
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, rc.Width(), rc.Height());
  cairo_t* cr = cairo_create(surface);
  PaintWindowInto(window.GetHWND(), cr, rc);  // warm the image cache and layout
  constexpr int kRounds = 200;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRounds; ++i) PaintWindowInto(window.GetHWND(), cr, rc);
  double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
      kRounds;
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  SetUiBackend(std::make_unique<HeadlessBackend>());
  std::vector<std::string> layouts(argv + 1, argv + argc);
  if (layouts.empty())
    layouts = {(SkinFolder() / kMainWindowLayout).string(), LargestOtherLayout()};
  int failures = 0;
  for (const std::string& layout : layouts) {
    RECT rc{};
    double ms = PaintTime(layout, &rc);
    if (ms < 0) {
      std::fprintf(stderr, "cannot build %s\n", layout.c_str());
      ++failures;
      continue;
    }
    std::printf("uilib_paint: %s at %dx%d: %.3f ms per full paint (target < 4 ms)\n",
                layout.c_str(), rc.Width(), rc.Height(), ms);
  }
  std::printf("load average: %s\n", bench::LoadAverage().c_str());
  return failures ? 1 : 0;
}
