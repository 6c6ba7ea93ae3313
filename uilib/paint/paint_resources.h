#pragma once

#include <cstdint>
#include <string>

#include "uilib/paint/paint_defs.h"

typedef struct _cairo_surface cairo_surface_t;

namespace uilib {

// What drawing asks of the window it draws for: the fonts of its layout
// and its images, decoded once. Relative image names are resolved against
// the window's skin folder. GUI thread only.
class PaintResources {
 public:
  // The font of that index; the default font for -1 or an unknown index.
  virtual const FontInfo& GetFont(int index) const = 0;
  // Null when the file cannot be read.
  virtual cairo_surface_t* GetImage(const std::wstring& file) = 0;
  // The same image with pixels of colour `mask_argb` (alpha ignored) transparent.
  virtual cairo_surface_t* GetMaskedImage(const std::wstring& file, uint32_t mask_argb) = 0;

 protected:
  ~PaintResources() = default;
};

}  // namespace uilib
