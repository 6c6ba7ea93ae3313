#include "uilib/paint/render_engine.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>

#include "runtime/util/text_convert.h"
#include "uilib/paint/image_spec.h"
#include "uilib/paint/paint_resources.h"

namespace uilib {

namespace {

void SetArgb(cairo_t* cr, DWORD argb) {
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                        (argb & 0xFF) / 255.0, ((argb >> 24) & 0xFF) / 255.0);
}

const FontInfo& FontOf(PaintResources* pm, int index) {
  static const FontInfo kFallback;
  return pm ? pm->GetFont(index) : kFallback;
}

PangoFontDescription* MakeFont(const FontInfo& font) {
  PangoFontDescription* desc = pango_font_description_new();
  std::string family = brx::util::WideToUtf8(font.family);
  pango_font_description_set_family(desc, family.c_str());
  pango_font_description_set_absolute_size(desc, font.size * PANGO_SCALE);
  pango_font_description_set_weight(desc, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  return desc;
}

// A layout for measuring outside a paint; one per thread.
cairo_t* ScratchContext() {
  static thread_local cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  static thread_local cairo_t* cr = cairo_create(surface);
  return cr;
}

PangoLayout* MakeLayout(cairo_t* cr, PaintResources* pm, const std::wstring& text, int iFont) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* desc = MakeFont(FontOf(pm, iFont));
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  std::string utf8 = brx::util::WideToUtf8(text);
  pango_layout_set_text(layout, utf8.c_str(), static_cast<int>(utf8.size()));
  if (FontOf(pm, iFont).underline) {
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }
  return layout;
}

void Blit(cairo_t* cr, cairo_surface_t* image, double sx, double sy, double sw, double sh,
          double dx, double dy, double dw, double dh, double alpha) {
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  cairo_save(cr);
  cairo_rectangle(cr, dx, dy, dw, dh);
  cairo_clip(cr);
  cairo_translate(cr, dx, dy);
  cairo_scale(cr, dw / sw, dh / sh);
  cairo_set_source_surface(cr, image, -sx, -sy);
  cairo_pattern_set_filter(cairo_get_source(cr),
                           (dw == sw && dh == sh) ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  if (alpha >= 1.0)
    cairo_paint(cr);
  else
    cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
}

}  // namespace

void CRenderEngine::DrawColor(HDC hDC, const RECT& rc, DWORD argb) {
  if (!hDC || (argb >> 24) == 0 || rc.IsEmpty()) return;
  cairo_save(hDC);
  SetArgb(hDC, argb);
  cairo_rectangle(hDC, rc.left, rc.top, rc.Width(), rc.Height());
  cairo_fill(hDC);
  cairo_restore(hDC);
}

void CRenderEngine::DrawBorder(HDC hDC, const RECT& rc, int size, DWORD argb) {
  if (!hDC || size <= 0 || (argb >> 24) == 0) return;
  DrawColor(hDC, RECT{rc.left, rc.top, rc.right, rc.top + size}, argb);
  DrawColor(hDC, RECT{rc.left, rc.bottom - size, rc.right, rc.bottom}, argb);
  DrawColor(hDC, RECT{rc.left, rc.top + size, rc.left + size, rc.bottom - size}, argb);
  DrawColor(hDC, RECT{rc.right - size, rc.top + size, rc.right, rc.bottom - size}, argb);
}

bool CRenderEngine::DrawImageString(HDC hDC, PaintResources* pResources, const RECT& rcItem,
                                    const RECT& rcPaint, const std::wstring& image,
                                    const std::wstring& modify) {
  if (!pResources) return false;
  ImageSpec spec;
  if (!ImageSpec::Parse(image, &spec)) return false;
  if (!modify.empty()) {
    ImageSpec over;
    ImageSpec::Parse(modify + L" file='-'", &over);
    if (!over.source.IsEmpty()) spec.source = over.source;
    if (over.has_dest) {
      spec.dest = over.dest;
      spec.has_dest = true;
    }
    if (over.fade != 255) spec.fade = over.fade;
  }
  cairo_surface_t* surface = spec.has_mask ? pResources->GetMaskedImage(spec.file, spec.mask)
                                           : pResources->GetImage(spec.file);
  if (!surface) return false;
  if (!hDC) return true;
  const int iw = cairo_image_surface_get_width(surface);
  const int ih = cairo_image_surface_get_height(surface);
  RECT src = spec.source.IsEmpty() ? RECT{0, 0, iw, ih} : spec.source;
  src.right = std::min(src.right, iw);
  src.bottom = std::min(src.bottom, ih);
  if (src.IsEmpty()) return false;
  RECT dst = rcItem;
  if (spec.has_dest) {
    dst = RECT{rcItem.left + spec.dest.left, rcItem.top + spec.dest.top,
               rcItem.left + spec.dest.right, rcItem.top + spec.dest.bottom};
  }
  RECT clip;
  if (!IntersectRect(&clip, dst, rcPaint)) return true;
  const double alpha = std::clamp(spec.fade, 0, 255) / 255.0;
  cairo_save(hDC);
  cairo_rectangle(hDC, clip.left, clip.top, clip.Width(), clip.Height());
  cairo_clip(hDC);
  const RECT& c = spec.corner;
  if (c.left == 0 && c.top == 0 && c.right == 0 && c.bottom == 0) {
    Blit(hDC, surface, src.left, src.top, src.Width(), src.Height(), dst.left, dst.top, dst.Width(),
         dst.Height(), alpha);
  } else {
    // Nine parts: corners kept, edges stretched one way, middle both ways.
    const int sx[4] = {src.left, src.left + c.left, src.right - c.right, src.right};
    const int sy[4] = {src.top, src.top + c.top, src.bottom - c.bottom, src.bottom};
    const int dx[4] = {dst.left, dst.left + c.left, dst.right - c.right, dst.right};
    const int dy[4] = {dst.top, dst.top + c.top, dst.bottom - c.bottom, dst.bottom};
    for (int row = 0; row < 3; ++row) {
      for (int col = 0; col < 3; ++col) {
        Blit(hDC, surface, sx[col], sy[row], sx[col + 1] - sx[col], sy[row + 1] - sy[row], dx[col],
             dy[row], dx[col + 1] - dx[col], dy[row + 1] - dy[row], alpha);
      }
    }
  }
  cairo_restore(hDC);
  return true;
}

void CRenderEngine::DrawText(HDC hDC, PaintResources* pResources, const RECT& rc,
                             const std::wstring& text, DWORD argb, int iFont, UINT uStyle) {
  if (!hDC || text.empty() || rc.IsEmpty() || (argb >> 24) == 0) return;
  PangoLayout* layout = MakeLayout(hDC, pResources, text, iFont);
  const int width = rc.Width();
  if ((uStyle & DT_SINGLELINE) != 0) {
    pango_layout_set_single_paragraph_mode(layout, TRUE);
  } else if ((uStyle & DT_WORDBREAK) != 0) {
    pango_layout_set_width(layout, width * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  }
  if ((uStyle & DT_END_ELLIPSIS) != 0) {
    pango_layout_set_width(layout, width * PANGO_SCALE);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  }
  int tw = 0, th = 0;
  pango_layout_get_pixel_size(layout, &tw, &th);
  int x = rc.left;
  if ((uStyle & DT_CENTER) != 0)
    x = rc.left + (width - tw) / 2;
  else if ((uStyle & DT_RIGHT) != 0)
    x = rc.right - tw;
  int y = rc.top;
  if ((uStyle & DT_VCENTER) != 0)
    y = rc.top + (rc.Height() - th) / 2;
  else if ((uStyle & DT_BOTTOM) != 0)
    y = rc.bottom - th;
  cairo_save(hDC);
  cairo_rectangle(hDC, rc.left, rc.top, rc.Width(), rc.Height());
  cairo_clip(hDC);
  SetArgb(hDC, argb);
  cairo_move_to(hDC, x, y);
  pango_cairo_show_layout(hDC, layout);
  cairo_restore(hDC);
  g_object_unref(layout);
}

SIZE CRenderEngine::MeasureText(PaintResources* pResources, const std::wstring& text, int iFont,
                                int width_limit) {
  if (text.empty()) return SIZE{0, FontOf(pResources, iFont).size};
  PangoLayout* layout = MakeLayout(ScratchContext(), pResources, text, iFont);
  if (width_limit > 0) {
    pango_layout_set_width(layout, width_limit * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  }
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  g_object_unref(layout);
  return SIZE{w, h};
}

}  // namespace uilib

// Fontconfig (under Pango) and the toolkit's accessibility bridge keep
// their caches and bus connection for the life of the process and free
// them nowhere; in sanitizer builds that is not a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:atk_bridge_adaptor_init\nleak:libdbus-1.so\n";
}
