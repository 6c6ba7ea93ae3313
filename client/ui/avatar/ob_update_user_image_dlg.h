#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "uilib/winsys/browser_host.h"
#include "uilib/winsys/region.h"
#include "uilib/winsys/window_wnd.h"

struct AvatarRequest;

// What the avatar editor asks of the client. GUI thread only.
class AvatarEditorHost {
 public:
  virtual ~AvatarEditorHost() = default;
  // The page put a new head picture on the server; `url` is the text the
  // server keeps as the user's head image (small, mid, big addresses).
  virtual void UpdateUserHeadImage(const std::wstring& url) = 0;
};

// The borderless popup in which the user makes a new head picture. The
// picture is chosen, cropped and uploaded by the local editor page
// "OBPaint/<game id>/AvatarEditor.html"; the window only hands the page
// the user's key and acts on its three requests (ready, uploaded, close),
// all in invoke XML through window.external.MovieCall.
//
// Made once by the profile editor's owner and kept; each ShowAt brings
// the key of the user signed in at that moment, so a page that is already
// loaded learns a new user at once. Hiding (close, upload, the page's own
// close, Alt+F4) shows the owner again; destroying does not. GUI thread
// only; the window and the page go with the object.
class COBUpdateUserImageDlg : public uilib::CWindowWnd, public uilib::ExternalHandler {
 public:
  static constexpr int kDragBandHeight = 30;
  static constexpr int kDragBandRightGap = 27;
  static constexpr uilib::UINT kIconResource = 157;

  using BrowserFactory = std::function<std::unique_ptr<uilib::BrowserHost>(
      uilib::HWND host, const uilib::RECT& client_rect)>;

  struct Setup {
    AvatarEditorHost* host = nullptr;       // borrowed
    MessageEventChain* messages = nullptr;  // borrowed; carries Alt+F4 (event 42)
    BrowserFactory browser_factory;
    std::wstring program_dir;  // the install folder
    std::wstring game_id;      // picks OBPaint/<game id>
    std::wstring upload_url;   // where the page posts the picture
  };

  COBUpdateUserImageDlg(uilib::HWND owner, Setup setup);
  ~COBUpdateUserImageDlg() override;

  // Shows the editor at `at` (screen coordinates) for the user whose key
  // is `key`: made on the first call, moved on later ones. False, with
  // nothing shown, when the window or the page cannot be had; the next
  // call tries again.
  bool ShowAt(const uilib::RECT& at, const std::wstring& key);
  // Hides the editor and shows the owner again.
  void HideEditor();

  // The page file and the address the browser loads it from.
  std::wstring MoviePath() const;
  std::string PageUrl() const;
  // The window's shape for a w x h window: its corners cut by 4 pixels.
  static uilib::Region EditorRegion(int w, int h);

  uilib::BrowserHost* browser() const { return browser_.get(); }
  uilib::HWND owner() const { return owner_; }
  const std::wstring& key() const { return key_; }

  uilib::LPCTSTR GetWindowClassName() const override { return L"COBUpdateUserImageDlg Class"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;

  // ExternalHandler: the page's window.external.
  std::vector<std::string> ExternalMethodNames() const override;
  void OnExternalCall(const std::string& name, const std::vector<std::wstring>& args) override;

  // One request of the page, as window.external.MovieCall delivers it.
  void HandleRequest(const std::wstring& xml);

 private:
  bool EnsureWindow(const uilib::RECT& at);
  bool EnsureBrowser();
  void SendKey();
  bool OnWindowMessage(const EventParameter* event);
  void Paint();
  uilib::RECT PageRect() const;
  bool InCloseBox(int x, int y) const;

  uilib::HWND owner_;
  Setup setup_;
  std::wstring key_;
  std::unique_ptr<uilib::BrowserHost> browser_;
  bool page_ready_ = false;
  MessageEventChain::Handle subscription_ = 0;
};
