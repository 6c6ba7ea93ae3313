#pragma once

#include "client/ui/picture/picture_window.h"

// The screenshot picker: the user takes one picture for a post. The choice
// goes to the owner window as message 2258 (lParam: a PictureItem that
// lives until SendMessage returns), then the picker hides.
class COBPicWnd : public PictureWindow {
 public:
  explicit COBPicWnd(IPictureWindowHost* host) : PictureWindow(host, false) {}
  uilib::LPCTSTR GetWindowClassName() const override { return L"COBPicWnd"; }

 protected:
  void OnChooseFile(const PictureItem& copy, bool series_open) override;
  bool HasButton(int id) const override { return id != kDelete; }
  int ChooseSpriteX() const override { return 141; }
  const wchar_t* CreationTitle() const override { return L"请选择图片"; }
  const wchar_t* Title() const override { return L"选择截图"; }
  PictureOpener OtherOpener() const override { return PictureOpener::kAlbum; }
};
