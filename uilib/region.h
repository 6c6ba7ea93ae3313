#pragma once

#include <vector>

#include "uilib/ui_defs.h"

namespace uilib {

// The shape of a window: a set of pixels held as non-overlapping row bands
// of rectangles. A value type; copy freely. Round rectangles follow the
// familiar rasterisation (the right and bottom edges are exclusive, the
// corner ellipse spans `ellipse_w` x `ellipse_h`).
class Region {
 public:
  Region() = default;
  static Region FromRect(const RECT& rect);
  static Region FromRoundRect(int left, int top, int right, int bottom, int ellipse_w, int ellipse_h);

  // The union of this and `other` (RGN_OR).
  void Union(const Region& other);
  bool Contains(POINT p) const;
  bool Contains(int x, int y) const { return Contains(POINT{x, y}); }
  RECT Bounds() const;
  bool IsEmpty() const { return spans_.empty(); }
  // One rectangle per row run, sorted by top then left, never overlapping.
  const std::vector<RECT>& Rects() const { return spans_; }

 private:
  void AddRow(int y, int left, int right);
  void Normalise();

  std::vector<RECT> spans_;
};

// Win32-style helpers the window code is written with.
Region CreateRectRgn(int left, int top, int right, int bottom);
Region CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipse_w, int ellipse_h);
inline constexpr int RGN_OR = 2;
// dst = a combined with b; only RGN_OR is supported.
void CombineRgn(Region* dst, const Region& a, const Region& b, int mode);

}  // namespace uilib
