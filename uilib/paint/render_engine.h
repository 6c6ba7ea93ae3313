#pragma once

#include <string>

#include "uilib/paint/paint_defs.h"
#include "uilib/winsys/ui_defs.h"

namespace uilib {

class PaintResources;

// The drawing primitives of the controls, on Cairo and Pango. Colours are
// ARGB; an alpha of 0 draws nothing. GUI thread only.
class CRenderEngine {
 public:
  static void DrawColor(HDC hDC, const RECT& rc, DWORD argb);
  static void DrawBorder(HDC hDC, const RECT& rc, int size, DWORD argb);
  // Draws an image description (see image_spec.h) into `rcItem`, clipped
  // to `rcPaint`; `modify` overrides attributes of `image`. Fonts and
  // images come from `pResources`, the window's paint manager. False when the
  // image cannot be read or the description names no file.
  static bool DrawImageString(HDC hDC, PaintResources* pResources, const RECT& rcItem,
                              const RECT& rcPaint, const std::wstring& image,
                              const std::wstring& modify = L"");
  static void DrawText(HDC hDC, PaintResources* pResources, const RECT& rc,
                       const std::wstring& text, DWORD argb, int iFont, UINT uStyle);
  // Size of `text` in the font; `width_limit` > 0 wraps at that width.
  static SIZE MeasureText(PaintResources* pResources, const std::wstring& text, int iFont,
                          int width_limit = 0);
};

}  // namespace uilib
