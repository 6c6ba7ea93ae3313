#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "uilib/winsys/ui_defs.h"

class ShotCatalogue;

// Which opener control of the main window a picture window re-enables
// when it hides: the picker's ("insertpicbtn") or the album's ("picbtn").
enum class PictureOpener { kPicker, kAlbum };

// A yes/no question shown over a window; the album asks one before it
// deletes. Exactly one of the callbacks runs, on the GUI thread.
class IConfirmPrompt {
 public:
  virtual ~IConfirmPrompt() = default;
  virtual void Ask(uilib::HWND parent, const std::wstring& title, const std::wstring& text,
                   std::function<void()> on_yes, std::function<void()> on_no) = 0;
};

// What the picker and the album need from the main window that owns them.
// GUI thread only; the host outlives both windows.
class IPictureWindowHost {
 public:
  virtual ~IPictureWindowHost() = default;
  virtual ShotCatalogue& GetShotCatalogue() = 0;
  // The games of the configuration set, in their order.
  virtual void GetGameIds(std::vector<std::wstring>* ids) = 0;
  // The current skin's folder ("<program>/OBSkin/<skin>").
  virtual std::wstring GetSkinFolder() = 0;
  virtual void EnableOpener(PictureOpener opener) = 0;
  // The album's confirmation dialog; made once, when the album is built.
  virtual std::unique_ptr<IConfirmPrompt> CreateConfirmPrompt() = 0;
};
