#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/ui/picture/picture_item.h"
#include "client/ui/picture/picture_window_host.h"
#include "client/ui/picture/thumbnail_loader.h"
#include "uilib/winsys/window_wnd.h"

typedef struct _cairo cairo_t;

// What the picker and the album share: a 766 x 600 popup with corners cut
// off, painted from the skin's "img/photobg.png" sprite, with its own
// buttons and a grid of 160 x 120 tiles (four across, 170 x 130 apart) for
// the screenshots of every game, where a series of shots shows as one
// tile until it is opened. Tiles are made on worker threads and appear as
// they arrive. The main window owns the object and keeps it for the run;
// the window hides instead of closing. GUI thread only.
class PictureWindow : public uilib::CWindowWnd {
 public:
  enum ButtonId : int {
    kClose = 1001,
    kChoose = 1002,
    kCancel = 1003,
    kBack = 1004,
    kDelete = 1006
  };
  static constexpr int kWidth = 766;
  static constexpr int kHeight = 600;
  static constexpr uilib::RECT kListRect{25, 104, 25 + kWidth - 60, 104 + 420};
  static constexpr int kColumns = (kWidth - 60) / 170;

  ~PictureWindow() override;

  // Makes the (hidden) window owned by `owner`; its handle, or 0.
  uilib::HWND Create(uilib::HWND owner);
  // Fills the top view from the catalogue, starts the tiles and shows the window.
  void ShowPictures();

  const std::vector<PictureItem>& items() const { return items_; }
  bool IsSelected(size_t index) const { return index < selected_.size() && selected_[index]; }
  bool series_open() const { return series_open_; }
  bool shown() const { return shown_; }
  bool back_visible() const { return back_visible_; }
  // Tiles requested and not yet arrived.
  size_t PendingTiles() const { return loader_ ? loader_->PendingCount() : 0; }
  // The client rectangle of item `index` (scrolled), and of a button.
  uilib::RECT ItemRect(size_t index) const;
  static uilib::RECT ButtonRect(int id);
  // The scroll bar's thumb at the list's right edge; empty when everything
  // fits. The strip it runs in takes presses (a page up or down) and drags.
  uilib::RECT ScrollThumbRect() const;

  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;

 protected:
  PictureWindow(IPictureWindowHost* host, bool multi_select);

  // The chosen item: a series opens in both windows; the rest is the
  // window's own. `copy` is the item as it was chosen.
  virtual void OnChooseFile(const PictureItem& copy, bool series_open) = 0;
  virtual void OnDelete() {}
  virtual bool HasButton(int id) const = 0;
  virtual int ChooseSpriteX() const = 0;
  virtual const wchar_t* CreationTitle() const = 0;
  virtual const wchar_t* Title() const = 0;
  // The other window's opener control, enabled again when this one hides.
  virtual PictureOpener OtherOpener() const = 0;

  void Choose(size_t index);
  void Hide();
  void Back();
  void OpenSeries(const PictureItem& series);
  void EraseItem(size_t index);
  // First selected index, or npos.
  size_t FirstSelected() const;
  bool AnySelected() const { return FirstSelected() != npos; }
  IPictureWindowHost* host() { return host_; }

  static constexpr size_t npos = static_cast<size_t>(-1);

 private:
  void FillFromCatalogue();
  void RequestTiles();
  void SetListState(bool select_first);
  void LoadSprite();
  void Paint(cairo_t* cr);
  void PaintButtons(cairo_t* cr);
  void PaintList(cairo_t* cr);
  int ButtonAt(uilib::POINT pt) const;
  size_t ItemAt(uilib::POINT pt) const;
  void OnLButtonDown(uilib::POINT pt, uilib::WPARAM keys);
  void SelectByClick(size_t index, uilib::WPARAM keys);
  void OnMouseMove(uilib::POINT pt, uilib::WPARAM keys);
  void OnWheel(int delta);
  void OnKeyDown(uilib::UINT vk);
  // Selects `index` alone, or (`extend`) the range from the anchor to it.
  void MoveCurrent(size_t index, bool extend);
  void EnsureVisible(size_t index);
  void ScrollBy(int pixels);
  int ContentHeight() const;
  static int ViewHeight() { return kListRect.bottom - kListRect.top; }
  void ClampScroll();
  void RunButton(int id);

  IPictureWindowHost* host_;
  const bool multi_select_;
  std::vector<std::wstring> game_ids_;
  std::vector<PictureItem> items_;
  std::vector<bool> selected_;
  std::vector<std::string> tile_keys_;  // parallel to items_
  bool series_open_ = false;
  bool shown_ = false;
  bool back_visible_ = false;
  int hover_button_ = 0;
  int pressed_button_ = 0;
  int scroll_ = 0;
  // The item the keys move from, and where a Shift range starts.
  size_t current_ = npos;
  size_t anchor_ = npos;
  bool dragging_thumb_ = false;
  int drag_offset_ = 0;  // from the thumb's top to the pointer
  TileSurface sprite_;
  bool sprite_loaded_ = false;
  std::unique_ptr<ThumbnailLoader> loader_;
};
