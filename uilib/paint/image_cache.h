#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace uilib {

// The images of one window, read from their files once and kept as
// premultiplied Cairo images for as long as the cache lives; a file that
// cannot be read is reported once and not tried again. Owned by its
// window's paint manager; GUI thread only.
class ImageCache {
 public:
  ImageCache();
  ~ImageCache();
  ImageCache(const ImageCache&) = delete;
  ImageCache& operator=(const ImageCache&) = delete;

  // The image at `path`; with `use_mask`, pixels of colour `mask_argb`
  // (alpha ignored) are transparent. Null when the file cannot be read.
  cairo_surface_t* Get(const std::string& path, bool use_mask, uint32_t mask_argb);

 private:
  std::map<std::string, cairo_surface_t*> images_;
  std::set<std::string> failed_;
};

}  // namespace uilib
