#pragma once

#include <string>

#include "uilib/winsys/ui_defs.h"

typedef struct _cairo cairo_t;

// The vocabulary of painting: the context controls paint into, the bits
// that say how a text is placed and the fonts of a layout.
namespace uilib {

using HDC = cairo_t*;

// Text style bits (DT_*): centred, vertically centred, single line = 37.
inline constexpr UINT DT_LEFT = 0x0000;
inline constexpr UINT DT_TOP = 0x0000;
inline constexpr UINT DT_CENTER = 0x0001;
inline constexpr UINT DT_RIGHT = 0x0002;
inline constexpr UINT DT_VCENTER = 0x0004;
inline constexpr UINT DT_BOTTOM = 0x0008;
inline constexpr UINT DT_WORDBREAK = 0x0010;
inline constexpr UINT DT_SINGLELINE = 0x0020;
inline constexpr UINT DT_END_ELLIPSIS = 0x8000;

// A font of a layout (<Font> element); index -1 is the default font.
struct FontInfo {
  std::wstring family = L"Noto Sans CJK SC";
  int size = 12;  // pixels
  bool bold = false;
  bool underline = false;
};

}  // namespace uilib
