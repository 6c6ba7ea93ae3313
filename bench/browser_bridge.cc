// The embedded browser's bridge: time from Navigate of a local page to the
// page's first window.external call, and the round trip of a page
// function call answered through window.external. Needs a display (run
// under xvfb-run); prints milliseconds.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "runtime/util/text_convert.h"
#include "uilib/testing/gtk_testing.h"
#include "uilib/winsys/browser_host.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_wnd.h"

namespace {

using bench::Median;
using Clock = std::chrono::steady_clock;

class Host : public uilib::CWindowWnd {
 public:
  uilib::LPCTSTR GetWindowClassName() const override { return L"OBBridgeBench"; }
};

struct Counter : uilib::ExternalHandler {
  int loads = 0;
  int echoes = 0;
  std::vector<std::string> ExternalMethodNames() const override { return {"CB_OnLoad", "CB_Echo"}; }
  void OnExternalCall(const std::string& name, const std::vector<std::wstring>&) override {
    if (name == "CB_OnLoad") ++loads;
    if (name == "CB_Echo") ++echoes;
  }
};

bool RunUntil(const std::function<bool()>& done) {
  auto deadline = Clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    uilib::gtk_testing::Iterate(0);
  }
  return true;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main() {
  std::unique_ptr<uilib::UiBackend> gtk = uilib::CreateGtkUiBackend();
  if (gtk == nullptr) {
    std::fprintf(stderr, "browser_bridge: no display (run under xvfb-run)\n");
    return 77;
  }
  uilib::SetUiBackend(std::move(gtk));
  char dir_template[] = "/tmp/ombrix-bridge-bench-XXXXXX";
  std::string dir = mkdtemp(dir_template);
  std::ofstream(dir + "/page.html")
      << "<!DOCTYPE html><html><head><title>bench default</title><script>"
         "function Echo(a){window.external.CB_Echo(a);}"
         "window.external.CB_OnLoad('x','default');"
         "</script></head><body>bench</body></html>";

  Host host;
  host.Create(0, L"bench", uilib::WS_POPUP, 0, 0, 0, 300, 300);
  uilib::ShowWindow(host, uilib::SW_SHOW);
  auto browser = uilib::CreateBrowserHost(host, uilib::RECT{0, 0, 300, 300});
  if (!browser) return 1;
  Counter counter;
  browser->SetExternal(&counter, {uilib::FileUrl(dir + "/")});
  std::wstring url = brx::util::Utf8ToWide(uilib::FileUrl(dir + "/page.html"));

  std::vector<double> loads;
  for (int i = 0; i < 10; ++i) {
    int before = counter.loads;
    auto start = Clock::now();
    browser->Navigate(url + L"?n=" + std::to_wstring(i));
    if (!RunUntil([&] { return counter.loads > before; })) return 1;
    loads.push_back(Ms(Clock::now() - start));
  }
  RunUntil([&] { return browser->IsLoadComplete(); });
  std::vector<double> trips;
  for (int i = 0; i < 200; ++i) {
    int before = counter.echoes;
    auto start = Clock::now();
    browser->CallFunction("Echo", {L"payload \"" + std::to_wstring(i) + L"\""});
    if (!RunUntil([&] { return counter.echoes > before; })) return 1;
    trips.push_back(Ms(Clock::now() - start));
  }
  std::printf("navigate to first bridge call: median %.1f ms, first %.1f ms (10 loads)\n",
              Median(loads), loads[0]);
  std::printf(
      "bridge round trip (client -> page -> client): median %.2f ms, max %.2f ms (200 calls)\n",
      Median(trips), *std::max_element(trips.begin(), trips.end()));
  browser->Close();
  std::filesystem::remove_all(dir);
  return 0;
}
