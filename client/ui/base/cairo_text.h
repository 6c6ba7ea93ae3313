#pragma once

#include <cairo.h>

#include <cstdint>

typedef struct _PangoLayout PangoLayout;

// Sets the source to a 0xRRGGBB colour.
void SetSourceRgb(cairo_t* cr, uint32_t rgb);

// One line of text laid out for a Cairo context, measured before it is
// drawn (the windows that paint themselves centre or place their texts).
class CairoText {
 public:
  // `font`: a font description such as "sans-serif 10"; `text`: UTF-8.
  CairoText(cairo_t* cr, const char* font, const char* text);
  ~CairoText();
  CairoText(const CairoText&) = delete;
  CairoText& operator=(const CairoText&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  // Draws the text with its top-left corner at (x, y), in the current
  // source.
  void ShowAt(double x, double y);

 private:
  cairo_t* cr_;
  PangoLayout* layout_;
  int width_ = 0;
  int height_ = 0;
};
