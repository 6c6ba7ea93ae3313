#pragma once

#include <string>

#include "client/ui/base/ob_ui_window.h"

// The pattern every small dialog follows: its owner creates it once as a
// popup owned by the owner's window, keeps the object (and is its only
// deleter), and shows and hides it as often as needed. While the dialog is
// shown the owner's window is disabled, which makes it modal without a
// nested message loop; every way out goes through Close, which enables the
// owner again. GUI thread only.
class OBSmallDialog : public OBUIWindow {
 public:
  // `skin_folder` is "OBSkin/<game id>", relative to the program folder or
  // absolute; `layout` the file in it.
  OBSmallDialog(const std::wstring& skin_folder, const wchar_t* layout);
  ~OBSmallDialog() override;

  // Creates the popup owned by `owner` (0: none) with `name` as its title.
  uilib::HWND CreateOwned(uilib::HWND owner, const wchar_t* name);

  // Enables the owner, brings it back and hides the dialog.
  void Close();

  // The window manager's close closes the dialog as its own close button
  // does (the dialog object lives on with its owner).
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;

 protected:
  // Restores a minimised owner, then centres the dialog over the owner or,
  // without one, over the screen.
  void Place();
  // Shows the dialog and disables the owner.
  void ShowModal();
  // The label `name` shows `text` when the layout has it.
  void SetLabel(const wchar_t* name, const std::wstring& text);

  // Close for the message and warning notes: the owner is brought to the
  // front only when it is visible.
  bool close_shows_hidden_owner_ = true;

 private:
  uilib::HWND owner_ = 0;
};
