#pragma once

#include <string>

#include "uilib/winsys/ui_defs.h"

namespace uilib {

// An image description of the skin dialect: either a bare file name or
// attributes `file='...' source='l,t,r,b' corner='l,t,r,b' fade='0..255'
// mask='#AARRGGBB'`. `source` picks a part of the file (empty: all of it);
// `corner` keeps that many pixels of each edge unscaled (nine-patch).
struct ImageSpec {
  std::wstring file;
  RECT source{};  // empty: the whole image
  RECT corner{};
  int fade = 255;
  bool has_mask = false;
  uint32_t mask = 0;  // ARGB of the colour drawn transparent
  RECT dest{};        // `dest='l,t,r,b'`: a box inside the control; empty: the control's box
  bool has_dest = false;

  // False when the text names no file.
  static bool Parse(const std::wstring& text, ImageSpec* out);
};

// "l,t,r,b" (spaces allowed); false when not four integers.
bool ParseRect(const std::wstring& text, RECT* out);
// "cx,cy"
bool ParseSize(const std::wstring& text, SIZE* out);
// "#AARRGGBB", "#RRGGBB" (opaque), "0xAARRGGBB"; false when not a colour.
bool ParseColor(const std::wstring& text, uint32_t* argb);

}  // namespace uilib
