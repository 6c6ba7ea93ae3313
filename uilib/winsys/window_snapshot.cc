#include "uilib/winsys/window_snapshot.h"

#include <cairo.h>

#include <algorithm>

#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_table.h"

namespace uilib {

namespace {

cairo_surface_t* RenderWindow(HWND hWnd) {
  WindowTable::State state;
  if (!WindowTable::Get().Read(hWnd, &state)) return nullptr;
  const int w = std::max(1, state.rect.Width());
  const int h = std::max(1, state.rect.Height());
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  PaintWindowInto(hWnd, cr, RECT{0, 0, w, h});
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const bool keyed =
      (state.layered_flags & LWA_COLORKEY) != 0 && (state.ex_style & WS_EX_LAYERED) != 0;
  // COLORREF is 0x00BBGGRR; the image is 0xAARRGGBB.
  const uint32_t key_rgb = ((state.color_key & 0xFF) << 16) | (state.color_key & 0xFF00) |
                           ((state.color_key >> 16) & 0xFF);
  for (int y = 0; y < h; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < w; ++x) {
      if (state.region && !state.region->Contains(x, y))
        row[x] = 0;
      else if (keyed && (row[x] >> 24) == 0xFF && (row[x] & 0xFFFFFF) == key_rgb)
        row[x] = 0;
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

}  // namespace

bool SaveWindowSnapshot(HWND hWnd, const std::string& png_path) {
  cairo_surface_t* surface = RenderWindow(hWnd);
  if (!surface) return false;
  const bool ok = cairo_surface_write_to_png(surface, png_path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

bool WindowSnapshotPixels(HWND hWnd, std::vector<uint32_t>* argb, int* width, int* height) {
  cairo_surface_t* surface = RenderWindow(hWnd);
  if (!surface) return false;
  const int w = cairo_image_surface_get_width(surface);
  const int h = cairo_image_surface_get_height(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  argb->resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
    std::copy(row, row + w, argb->begin() + static_cast<size_t>(y) * w);
  }
  *width = w;
  *height = h;
  cairo_surface_destroy(surface);
  return true;
}

bool WindowSnapshotPixel(HWND hWnd, POINT client_pt, uint32_t* argb) {
  cairo_surface_t* surface = RenderWindow(hWnd);
  if (!surface) return false;
  bool ok = false;
  if (client_pt.x >= 0 && client_pt.y >= 0 &&
      client_pt.x < cairo_image_surface_get_width(surface) &&
      client_pt.y < cairo_image_surface_get_height(surface)) {
    const unsigned char* data = cairo_image_surface_get_data(surface);
    *argb = reinterpret_cast<const uint32_t*>(
        data + client_pt.y * cairo_image_surface_get_stride(surface))[client_pt.x];
    ok = true;
  }
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace uilib
