#include "client/ui/picture/picture_window.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_set>

#include <cairo.h>

#include "client/core/shot_catalogue.h"
#include "client/ui/base/cairo_text.h"
#include "runtime/util/text_convert.h"
#include "uilib/winsys/region.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace {

constexpr UINT kTilesReady = WM_USER + 0x140;
constexpr int kCellWidth = 170;
constexpr int kCellHeight = 130;
constexpr uint32_t kListBackground = 0xEDFEE0;
constexpr uint32_t kSelectionColor = 0x3A8EE6;
// The strip at the list's right edge that the scroll bar runs in.
constexpr int kBarStripWidth = 14;
constexpr int kThumbMinLength = 20;

struct SpriteCell {
  int x, y, hover_y, w, h;
};

SpriteCell CellOf(int id, int choose_x) {
  switch (id) {
    case PictureWindow::kClose:
      return {7, 3, 21, 13, 11};
    case PictureWindow::kChoose:
      return {choose_x, 85, 117, 57, 28};
    case PictureWindow::kCancel:
      return {75, 85, 117, 57, 28};
    case PictureWindow::kDelete:
      return {209, 85, 117, 57, 28};
    default:
      return {30, 0, 0, 52, 37};  // back: no hover row
  }
}

bool Contains(const RECT& rc, POINT pt) {
  return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

bool OpensForReading(const std::wstring& path) {
  int fd = ::open(brx::util::WideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// The window's outline: a rectangle whose corners are cut off along the
// diagonals (4 pixels at the top, 5 at the bottom).
Region CutCornerRegion(int w, int h) {
  Region region = Region::FromRect(RECT{0, 4, w, h - 5});
  for (int y = 0; y < 4; ++y) region.Union(Region::FromRect(RECT{4 - y, y, w - 4 + y, y + 1}));
  for (int y = h - 5; y < h; ++y) {
    const int d = y - (h - 5);
    region.Union(Region::FromRect(RECT{d, y, w - d, y + 1}));
  }
  return region;
}

}  // namespace

PictureWindow::PictureWindow(IPictureWindowHost* host, bool multi_select)
    : host_(host), multi_select_(multi_select) {}

PictureWindow::~PictureWindow() {
  // The workers post to the window: stop them while it still exists.
  loader_.reset();
}

RECT PictureWindow::ButtonRect(int id) {
  const int w = kWidth, h = kHeight;
  switch (id) {
    case kClose:
      return RECT{w - 25, 5, w - 25 + 13, 5 + 11};
    case kChoose:
      return RECT{w - 185, h - 43, w - 185 + 57, h - 43 + 28};
    case kCancel:
      return RECT{w - 100, h - 43, w - 100 + 57, h - 43 + 28};
    case kDelete:
      return RECT{w - 270, h - 43, w - 270 + 57, h - 43 + 28};
    case kBack:
      return RECT{35, 35, 35 + 52, 35 + 37};
    default:
      return RECT{};
  }
}

HWND PictureWindow::Create(HWND owner) {
  const SIZE screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  // Narrow screens would put the window off the left edge.
  const int x = std::max(0, static_cast<int>(screen.cx) - 1044);
  const int y = std::max(0, (static_cast<int>(screen.cy) - 768) / 2);
  HWND hwnd = CWindowWnd::Create(owner, CreationTitle(), WS_POPUP, 0, x, y, kWidth, kHeight);
  if (!hwnd) return 0;
  SetWindowText(hwnd, Title());
  Region region = CutCornerRegion(kWidth, kHeight);
  SetWindowRgn(hwnd, &region, false);
  // Loaded before the first showing, so that the first paint is quick.
  LoadSprite();
  loader_ = std::make_unique<ThumbnailLoader>(hwnd, kTilesReady);
  if (game_ids_.empty()) host_->GetGameIds(&game_ids_);
  return hwnd;
}

void PictureWindow::ShowPictures() {
  if (game_ids_.empty()) host_->GetGameIds(&game_ids_);
  series_open_ = false;
  back_visible_ = false;
  FillFromCatalogue();
  SetListState(true);
  uilib::ShowWindow(GetHWND(), SW_SHOW);
  shown_ = true;
}

void PictureWindow::FillFromCatalogue() {
  items_.clear();
  std::unordered_set<std::wstring> series_listed;
  ShotCatalogue& catalogue = host_->GetShotCatalogue();
  for (const std::wstring& id : game_ids_) {
    catalogue.ClearGameShots(id);
    const GameShots* game = catalogue.GetShotIndex(id);
    if (!game) continue;
    for (const auto& [year, y] : game->years)
      for (const auto& [month, m] : y.months)
        for (const auto& [day, d] : m.days)
          for (const auto& [position, shot] : d.shots) {
            PictureItem item;
            item.kind = static_cast<int32_t>(shot.location);
            item.fileName = shot.file.file_name;
            item.gameId = game->game_id;
            if (item.kind == 1 || item.kind == 2) {
              item.path = shot.folder;
              if (!series_listed.insert(item.path).second) continue;
            } else {
              item.path = shot.folder + L"/" + shot.file.file_name;
            }
            items_.push_back(std::move(item));
          }
  }
}

void PictureWindow::OpenSeries(const PictureItem& series) {
  series_open_ = true;
  items_.clear();
  // The item knows its game; looking the game up by its id inside the
  // folder path would pick the wrong game when one id contains another.
  ShotCatalogue& catalogue = host_->GetShotCatalogue();
  catalogue.ClearGameShots(series.gameId);
  if (const GameShots* game = catalogue.GetShotIndex(series.gameId)) {
    for (const auto& [year, y] : game->years)
      for (const auto& [month, m] : y.months)
        for (const auto& [day, d] : m.days)
          for (const auto& [position, shot] : d.shots) {
            if ((shot.location != 1 && shot.location != 2) || shot.folder != series.path) continue;
            items_.push_back(PictureItem{static_cast<int32_t>(shot.location),
                                         shot.folder + L"/" + shot.file.file_name,
                                         shot.file.file_name, game->game_id});
          }
  }
  SetListState(false);
  back_visible_ = true;
  InvalidateRect(GetHWND(), nullptr, false);
}

void PictureWindow::SetListState(bool select_first) {
  selected_.assign(items_.size(), false);
  if (select_first && !items_.empty()) selected_[0] = true;
  current_ = anchor_ = select_first && !items_.empty() ? 0 : npos;
  dragging_thumb_ = false;
  scroll_ = 0;
  RequestTiles();
  InvalidateRect(GetHWND(), nullptr, false);
}

void PictureWindow::RequestTiles() {
  std::vector<std::pair<std::wstring, TileStyle>> tiles;
  tiles.reserve(items_.size());
  for (const PictureItem& item : items_) {
    if (series_open_) {
      tiles.emplace_back(item.path, TileStyle::kInsideSeries);
    } else if (item.kind == 1 || item.kind == 2) {
      tiles.emplace_back(item.path + L"/" + item.fileName, TileStyle::kSeries);
    } else {
      tiles.emplace_back(item.path, TileStyle::kSingle);
    }
  }
  tile_keys_ = loader_->Request(tiles);
}

void PictureWindow::Choose(size_t index) {
  if (index >= items_.size()) return;
  const PictureItem copy = items_[index];
  if (series_open_) {
    OnChooseFile(copy, true);
  } else if (copy.kind == 1 || copy.kind == 2) {
    OpenSeries(copy);
  } else if (OpensForReading(copy.path)) {
    OnChooseFile(copy, false);
  }
}

void PictureWindow::Hide() {
  series_open_ = false;
  back_visible_ = false;
  uilib::ShowWindow(GetHWND(), SW_HIDE);
  shown_ = false;
  host_->EnableOpener(OtherOpener());
}

void PictureWindow::Back() {
  series_open_ = false;
  FillFromCatalogue();
  SetListState(false);
  back_visible_ = false;
}

void PictureWindow::EraseItem(size_t index) {
  items_.erase(items_.begin() + static_cast<ptrdiff_t>(index));
  selected_.erase(selected_.begin() + static_cast<ptrdiff_t>(index));
  tile_keys_.erase(tile_keys_.begin() + static_cast<ptrdiff_t>(index));
  current_ = anchor_ = npos;
  ClampScroll();
  InvalidateRect(GetHWND(), nullptr, false);
}

size_t PictureWindow::FirstSelected() const {
  for (size_t i = 0; i < selected_.size(); ++i)
    if (selected_[i]) return i;
  return npos;
}

RECT PictureWindow::ItemRect(size_t index) const {
  const int col = static_cast<int>(index % kColumns), row = static_cast<int>(index / kColumns);
  const int left =
      kListRect.left + col * kCellWidth + (kCellWidth - ThumbnailLoader::kTileWidth) / 2;
  const int top = kListRect.top + row * kCellHeight + 5 - scroll_;
  return RECT{left, top, left + ThumbnailLoader::kTileWidth, top + ThumbnailLoader::kTileHeight};
}

size_t PictureWindow::ItemAt(POINT pt) const {
  if (items_.empty() || !Contains(kListRect, pt)) return npos;
  const int col = (pt.x - kListRect.left) / kCellWidth;
  const int row = (pt.y - kListRect.top + scroll_) / kCellHeight;
  if (col >= kColumns) return npos;
  const size_t index = static_cast<size_t>(row) * kColumns + static_cast<size_t>(col);
  if (index >= items_.size() || !Contains(ItemRect(index), pt)) return npos;
  return index;
}

int PictureWindow::ButtonAt(POINT pt) const {
  for (int id : {kClose, kChoose, kCancel, kDelete, kBack}) {
    if (!HasButton(id) || (id == kBack && !back_visible_)) continue;
    if (Contains(ButtonRect(id), pt)) return id;
  }
  return 0;
}

int PictureWindow::ContentHeight() const {
  const int rows = static_cast<int>((items_.size() + kColumns - 1) / kColumns);
  return rows * kCellHeight;
}

void PictureWindow::ClampScroll() {
  scroll_ = std::clamp(scroll_, 0, std::max(0, ContentHeight() - ViewHeight()));
}

void PictureWindow::ScrollBy(int pixels) {
  const int before = scroll_;
  scroll_ += pixels;
  ClampScroll();
  if (scroll_ != before) InvalidateRect(GetHWND(), &kListRect, false);
}

RECT PictureWindow::ScrollThumbRect() const {
  const int content = ContentHeight(), view = ViewHeight();
  if (content <= view) return RECT{};
  const int length = std::max(kThumbMinLength, view * view / content);
  const int top = kListRect.top + (view - length) * scroll_ / (content - view);
  return RECT{kListRect.right - 10, top, kListRect.right - 4, top + length};
}

void PictureWindow::OnWheel(int delta) { ScrollBy(-delta / 120 * kCellHeight / 2); }

void PictureWindow::EnsureVisible(size_t index) {
  const RECT rc = ItemRect(index);
  // Whole cells, so that the row above or below is not cut in half.
  if (rc.top - 5 < kListRect.top)
    ScrollBy(rc.top - 5 - kListRect.top);
  else if (rc.bottom + 5 > kListRect.bottom)
    ScrollBy(rc.bottom + 5 - kListRect.bottom);
}

void PictureWindow::OnLButtonDown(POINT pt, WPARAM keys) {
  if (int id = ButtonAt(pt)) {
    pressed_button_ = id;
    SetCursorShape(GetHWND(), CursorShape::kHand);
    return;
  }
  if (items_.empty() || !Contains(kListRect, pt)) return;
  const RECT thumb = ScrollThumbRect();
  if (thumb.bottom > thumb.top && pt.x >= kListRect.right - kBarStripWidth) {
    if (pt.y >= thumb.top && pt.y < thumb.bottom) {
      dragging_thumb_ = true;
      drag_offset_ = pt.y - thumb.top;
    } else {
      ScrollBy(pt.y < thumb.top ? -ViewHeight() : ViewHeight());
    }
    return;
  }
  SelectByClick(ItemAt(pt), keys);
}

void PictureWindow::SelectByClick(size_t index, WPARAM keys) {
  const bool control = (keys & MK_CONTROL) != 0, shift = (keys & MK_SHIFT) != 0;
  if (multi_select_ && shift && index != npos) {
    // From where the last click was, added to the rest when Ctrl is down.
    if (!control) std::fill(selected_.begin(), selected_.end(), false);
    const size_t from = anchor_ == npos ? index : anchor_;
    for (size_t i = std::min(from, index); i <= std::max(from, index); ++i) selected_[i] = true;
    current_ = index;
  } else if (multi_select_ && control) {
    if (index != npos) {
      selected_[index] = !selected_[index];
      current_ = anchor_ = index;
    }
  } else {
    std::fill(selected_.begin(), selected_.end(), false);
    if (index != npos) selected_[index] = true;
    current_ = anchor_ = index;
  }
  InvalidateRect(GetHWND(), &kListRect, false);
}

void PictureWindow::OnMouseMove(POINT pt, WPARAM keys) {
  if (dragging_thumb_) {
    if ((keys & MK_LBUTTON) == 0) {
      dragging_thumb_ = false;
    } else {
      const RECT thumb = ScrollThumbRect();
      const int travel = ViewHeight() - (thumb.bottom - thumb.top);
      const int top = std::clamp(pt.y - drag_offset_ - static_cast<int>(kListRect.top), 0, travel);
      // The thumb's place answers for a place in the content.
      const int wanted = travel > 0 ? top * (ContentHeight() - ViewHeight()) / travel : 0;
      ScrollBy(wanted - scroll_);
      return;
    }
  }
  const int id = ButtonAt(pt);
  if (id != hover_button_) {
    hover_button_ = id;
    InvalidateRect(GetHWND(), nullptr, false);
  }
  SetCursorShape(GetHWND(), id ? CursorShape::kHand : CursorShape::kArrow);
}

void PictureWindow::OnKeyDown(UINT vk) {
  if (items_.empty()) return;
  const size_t count = items_.size();
  const size_t columns = static_cast<size_t>(kColumns);
  const size_t rows_in_view = static_cast<size_t>(std::max(1, ViewHeight() / kCellHeight));
  const size_t page = rows_in_view * columns;
  size_t at = current_ != npos ? current_ : (FirstSelected() != npos ? FirstSelected() : 0);
  switch (vk) {
    case VK_LEFT:
      if (at > 0) --at;
      break;
    case VK_RIGHT:
      if (at + 1 < count) ++at;
      break;
    case VK_UP:
      if (at >= columns) at -= columns;
      break;
    case VK_DOWN:
      if (at + columns < count) at += columns;
      break;
    case VK_HOME:
      at = 0;
      break;
    case VK_END:
      at = count - 1;
      break;
    case VK_PRIOR:
      // The view moves a page, and the current item with it.
      ScrollBy(-static_cast<int>(rows_in_view) * kCellHeight);
      at = at >= page ? at - page : at % columns;
      break;
    case VK_NEXT:
      ScrollBy(static_cast<int>(rows_in_view) * kCellHeight);
      at = std::min(count - 1, at + page);
      break;
    default:
      return;
  }
  MoveCurrent(at, multi_select_ && (GetKeyState(VK_SHIFT) & 0x8000) != 0);
}

void PictureWindow::MoveCurrent(size_t index, bool extend) {
  std::fill(selected_.begin(), selected_.end(), false);
  if (extend && anchor_ != npos) {
    for (size_t i = std::min(anchor_, index); i <= std::max(anchor_, index); ++i)
      selected_[i] = true;
  } else {
    selected_[index] = true;
    anchor_ = index;
  }
  current_ = index;
  EnsureVisible(index);
  InvalidateRect(GetHWND(), &kListRect, false);
}

void PictureWindow::RunButton(int id) {
  switch (id) {
    case kClose:
    case kCancel:
      Hide();
      break;
    case kChoose:
      Choose(FirstSelected());
      break;
    case kBack:
      Back();
      break;
    case kDelete:
      OnDelete();
      break;
    default:
      break;
  }
}

LRESULT PictureWindow::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  const POINT pt{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (cairo_t* cr = BeginPaint(GetHWND(), &ps)) Paint(cr);
      EndPaint(GetHWND(), &ps);
      return 0;
    }
    case kTilesReady:
      if (loader_ && loader_->TakeFinished()) InvalidateRect(GetHWND(), &kListRect, false);
      return 0;
    case WM_NCHITTEST: {
      POINT client{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      ScreenToClient(GetHWND(), &client);
      // The top strip drags the window; the close button in it stays a button.
      if (client.x >= 2 && client.x < kWidth - 13 && client.y >= 0 && client.y < 25 &&
          !ButtonAt(client))
        return HTCAPTION;
      return HTCLIENT;
    }
    case WM_MOUSEMOVE:
      OnMouseMove(pt, wparam);
      return 0;
    case WM_MOUSELEAVE:
      if (hover_button_) InvalidateRect(GetHWND(), nullptr, false);
      hover_button_ = 0;
      return 0;
    case WM_LBUTTONDOWN:
      OnLButtonDown(pt, wparam);
      return 0;
    case WM_KEYDOWN:
      OnKeyDown(static_cast<UINT>(wparam));
      return 0;
    case WM_LBUTTONUP: {
      dragging_thumb_ = false;
      const int id = ButtonAt(pt);
      const bool run = id != 0 && id == pressed_button_;
      pressed_button_ = 0;
      if (run) RunButton(id);
      return 0;
    }
    case WM_LBUTTONDBLCLK: {
      const size_t index = ItemAt(pt);
      if (index != npos) Choose(index);
      return 0;
    }
    case WM_MOUSEWHEEL:
      OnWheel(static_cast<int16_t>(HIWORD(wparam)));
      return 0;
    case WM_CLOSE:
      // The window lives for the whole run; closing it only hides it.
      if (shown_) Hide();
      return 0;
    case WM_DESTROY:
      return 0;
    default:
      return CWindowWnd::HandleMessage(msg, wparam, lparam);
  }
}

void PictureWindow::Paint(cairo_t* cr) {
  LoadSprite();
  cairo_save(cr);
  SetSourceRgb(cr, 0xFFFFFF);
  cairo_paint(cr);
  if (sprite_.get()) {
    cairo_rectangle(cr, 0, 0, kWidth, kHeight);
    cairo_clip(cr);
    cairo_set_source_surface(cr, sprite_.get(), -115, -172);
    cairo_paint(cr);
  }
  cairo_restore(cr);
  if (items_.empty()) {
    CairoText empty(cr, "SimSun, sans-serif 16", "没有截图哦！请在游戏中使用翎岚截图。");
    SetSourceRgb(cr, 0x7B7B7B);
    empty.ShowAt((kWidth - empty.width()) / 2, 250);
  } else {
    PaintList(cr);
  }
  PaintButtons(cr);
}

void PictureWindow::LoadSprite() {
  if (sprite_loaded_) return;
  sprite_loaded_ = true;
  sprite_ = LoadImageSurface(host_->GetSkinFolder() + L"/img/photobg.png");
}

void PictureWindow::PaintList(cairo_t* cr) {
  const RECT& list = kListRect;
  cairo_save(cr);
  cairo_rectangle(cr, list.left, list.top, list.right - list.left, list.bottom - list.top);
  cairo_clip(cr);
  SetSourceRgb(cr, kListBackground);
  cairo_paint(cr);
  const size_t first = static_cast<size_t>(scroll_ / kCellHeight) * kColumns;
  const size_t last = std::min(
      items_.size(),
      first + static_cast<size_t>(((list.bottom - list.top) / kCellHeight + 2) * kColumns));
  for (size_t i = first; i < last; ++i) {
    const RECT rc = ItemRect(i);
    if (cairo_surface_t* tile = loader_->Find(tile_keys_[i])) {
      cairo_set_source_surface(cr, tile, rc.left, rc.top);
      cairo_paint(cr);
    }
    if (selected_[i]) {
      SetSourceRgb(cr, kSelectionColor);
      cairo_set_line_width(cr, 3);
      cairo_rectangle(cr, rc.left - 1.5, rc.top - 1.5, ThumbnailLoader::kTileWidth + 3,
                      ThumbnailLoader::kTileHeight + 3);
      cairo_stroke(cr);
    }
  }
  // Where the view is within a long list: the thumb of the bar.
  const RECT thumb = ScrollThumbRect();
  if (thumb.bottom > thumb.top) {
    SetSourceRgb(cr, dragging_thumb_ ? 0x8FA583 : 0xB8C8AA);
    cairo_rectangle(cr, thumb.left, thumb.top, thumb.right - thumb.left, thumb.bottom - thumb.top);
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

void PictureWindow::PaintButtons(cairo_t* cr) {
  if (!sprite_.get()) return;
  for (int id : {kClose, kChoose, kCancel, kDelete, kBack}) {
    if (!HasButton(id) || (id == kBack && !back_visible_)) continue;
    const RECT rc = ButtonRect(id);
    const SpriteCell cell = CellOf(id, ChooseSpriteX());
    const int sy = (id == hover_button_ && id != kBack) ? cell.hover_y : cell.y;
    cairo_save(cr);
    cairo_rectangle(cr, rc.left, rc.top, cell.w, cell.h);
    cairo_clip(cr);
    cairo_set_source_surface(cr, sprite_.get(), rc.left - cell.x, rc.top - sy);
    cairo_paint(cr);
    cairo_restore(cr);
  }
}
