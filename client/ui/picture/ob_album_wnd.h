#pragma once

#include <memory>

#include "client/ui/picture/picture_window.h"

// The album: opens pictures with their usual program and deletes the
// selected ones (several may be selected, Ctrl+click) after asking.
// A series tile deletes its whole folder. The catalogue is not told; the
// next fill reads the disk again.
class COBAlbumWnd : public PictureWindow {
 public:
  explicit COBAlbumWnd(IPictureWindowHost* host);
  ~COBAlbumWnd() override;
  uilib::LPCTSTR GetWindowClassName() const override { return L"COBAlbumWnd"; }

  // Deletes the selection without asking: at most as many items as the
  // list holds, each time the first selected one; stops at the first
  // failure, leaving what was deleted deleted.
  void DeleteSelection();

 protected:
  void OnChooseFile(const PictureItem& copy, bool series_open) override;
  void OnDelete() override;
  bool HasButton(int) const override { return true; }
  int ChooseSpriteX() const override { return 9; }
  const wchar_t* CreationTitle() const override { return L"相册管理"; }
  const wchar_t* Title() const override { return L"选择图片"; }
  PictureOpener OtherOpener() const override { return PictureOpener::kPicker; }

 private:
  std::unique_ptr<IConfirmPrompt> confirm_;
};
