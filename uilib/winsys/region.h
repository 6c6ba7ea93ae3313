#pragma once

#include <vector>

#include "uilib/winsys/ui_defs.h"

namespace uilib {

// The shape of a window: a set of pixels held as non-overlapping row bands
// of rectangles. A value type; copy freely. A rectangle covers [left, right)
// x [top, bottom). A round rectangle, as the familiar function makes it,
// covers one pixel less each way, [left, right - 1) x [top, bottom - 1),
// with corner ellipses of `ellipse_w` x `ellipse_h`; callers add 1 to
// right and bottom to reach an edge.
class Region {
 public:
  Region() = default;
  static Region FromRect(const RECT& rect);
  static Region FromRoundRect(int left, int top, int right, int bottom, int ellipse_w,
                              int ellipse_h);

  // The union of this and `other` (RGN_OR).
  void Union(const Region& other);
  bool Contains(POINT p) const;
  bool Contains(int x, int y) const { return Contains(POINT{x, y}); }
  RECT Bounds() const;
  bool IsEmpty() const { return spans_.empty(); }
  // One rectangle per row run, sorted by top then left, never overlapping.
  const std::vector<RECT>& Rects() const { return spans_; }

 private:
  using Row = std::vector<std::pair<int, int>>;  // sorted, disjoint [l, r)
  static Region FromRows(int top, const std::vector<Row>& rows);
  std::vector<std::pair<int, Row>> ToRows() const;

  std::vector<RECT> spans_;
};

// Win32-style helpers the window code is written with.
Region CreateRectRgn(int left, int top, int right, int bottom);
Region CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipse_w, int ellipse_h);
inline constexpr int RGN_OR = 2;
// dst = a combined with b; only RGN_OR is supported.
void CombineRgn(Region* dst, const Region& a, const Region& b, int mode);

}  // namespace uilib
