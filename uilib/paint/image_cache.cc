#include "uilib/paint/image_cache.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "runtime/logmaker/log.h"

namespace uilib {

namespace {

// gdk-pixbuf's RGBA rows into a premultiplied Cairo image.
cairo_surface_t* SurfaceFromPixbuf(GdkPixbuf* pixbuf, bool use_mask, uint32_t mask) {
  const int w = gdk_pixbuf_get_width(pixbuf);
  const int h = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  unsigned char* dst = cairo_image_surface_get_data(surface);
  const int dst_stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < h; ++y) {
    const guchar* s = pixels + y * stride;
    uint32_t* d = reinterpret_cast<uint32_t*>(dst + y * dst_stride);
    for (int x = 0; x < w; ++x, s += channels) {
      uint32_t r = s[0], g = s[1], b = s[2];
      uint32_t a = channels == 4 ? s[3] : 255;
      if (use_mask && ((r << 16) | (g << 8) | b) == (mask & 0xFFFFFF)) a = 0;
      d[x] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

}  // namespace

ImageCache::ImageCache() = default;

ImageCache::~ImageCache() {
  for (auto& [key, surface] : images_) cairo_surface_destroy(surface);
}

cairo_surface_t* ImageCache::Get(const std::string& path, bool use_mask, uint32_t mask_argb) {
  const std::string key = use_mask ? path + "#" + std::to_string(mask_argb & 0xFFFFFF) : path;
  auto it = images_.find(key);
  if (it != images_.end()) return it->second;
  if (failed_.count(key)) return nullptr;
  GError* error = nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &error);
  if (!pixbuf) {
    LogWarnA("GetImage: cannot read image %s: %s\n", path.c_str(),
             error ? error->message : "unknown error");
    if (error) g_error_free(error);
    failed_.insert(key);
    return nullptr;
  }
  cairo_surface_t* surface = SurfaceFromPixbuf(pixbuf, use_mask, mask_argb);
  g_object_unref(pixbuf);
  if (!surface) {
    failed_.insert(key);
    return nullptr;
  }
  images_[key] = surface;
  return surface;
}

}  // namespace uilib
