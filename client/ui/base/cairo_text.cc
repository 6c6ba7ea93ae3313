#include "client/ui/base/cairo_text.h"

#include <pango/pangocairo.h>

void SetSourceRgb(cairo_t* cr, uint32_t rgb) {
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                       (rgb & 0xFF) / 255.0);
}

CairoText::CairoText(cairo_t* cr, const char* font, const char* text)
    : cr_(cr), layout_(pango_cairo_create_layout(cr)) {
  PangoFontDescription* description = pango_font_description_from_string(font);
  pango_layout_set_font_description(layout_, description);
  pango_font_description_free(description);
  pango_layout_set_text(layout_, text, -1);
  pango_layout_get_pixel_size(layout_, &width_, &height_);
}

CairoText::~CairoText() { g_object_unref(layout_); }

void CairoText::ShowAt(double x, double y) {
  cairo_move_to(cr_, x, y);
  pango_cairo_show_layout(cr_, layout_);
}
