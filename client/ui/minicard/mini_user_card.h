#pragma once

#include <functional>
#include <memory>
#include <string>

#include "client/ui/script/ijscript_execute.h"
#include "uilib/winsys/browser_host.h"
#include "uilib/winsys/region.h"
#include "uilib/winsys/window_wnd.h"

// The small borderless card beside the main window that shows one user,
// drawn by the local page "html/ucard.htm". The main page asks for it with
// a mode, a vertical offset and the card's data; the card page renders the
// data and reports its height (CB_OnLoad), passes texts back to the main
// page (CB_InvokeJs) and closes itself (CB_OnClose). A hide request takes
// effect once the pointer is off the card. GUI thread only.
class MiniUserCard : public uilib::CWindowWnd, public uilib::ExternalHandler {
 public:
  static constexpr int kWidth = 286;
  static constexpr int kCreateHeight = 600;
  static constexpr uilib::UINT kAutoHideMs = 200;
  static constexpr uintptr_t kTimerId = 0;

  using BrowserFactory = std::function<std::unique_ptr<uilib::BrowserHost>(
      uilib::HWND host, const uilib::RECT& client_rect)>;

  explicit MiniUserCard(BrowserFactory factory);
  ~MiniUserCard() override;

  // Makes the hidden card owned by `main_window` and starts loading the
  // card page from `program_dir`/html. `main_browser` (borrowed) shows the
  // main page. False when the window cannot be made.
  bool CreateMiniCard(uilib::HWND main_window, uilib::BrowserHost* main_browser,
                      const std::wstring& program_dir);

  // The main page's request: (mode, offset, data). Ignored until the main
  // page has loaded, or with another argument count.
  void ShowMiniCard(const ScriptArgs& args);
  void HideMiniCard();

  // The card page's methods.
  void OnCardPageLoad(const ScriptArgs& args);
  void OnCardInvokeJs(const ScriptArgs& args);
  void OnCardClose();

  bool pinned() const { return pinned_; }
  uilib::BrowserHost* browser() const { return browser_.get(); }
  // The card's shape for a w x h card: its corners cut by 3 pixels.
  static uilib::Region CardRegion(int w, int h);

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBMiniUserInfo Class"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;

  // ExternalHandler (the card page's window.external).
  std::vector<std::string> ExternalMethodNames() const override;
  void OnExternalCall(const std::string& name, const std::vector<std::wstring>& args) override;

 private:
  void CheckAutoHide();

  BrowserFactory factory_;
  std::unique_ptr<uilib::BrowserHost> browser_;
  uilib::HWND main_window_ = 0;
  uilib::BrowserHost* main_browser_ = nullptr;
  bool pinned_ = false;
};
