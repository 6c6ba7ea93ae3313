#include "uilib/winsys/region.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace uilib {

namespace {

using Row = std::vector<std::pair<int, int>>;

Row MergeRow(Row row) {
  std::sort(row.begin(), row.end());
  Row out;
  for (const auto& span : row) {
    if (span.second <= span.first) continue;
    if (!out.empty() && span.first <= out.back().second) {
      out.back().second = std::max(out.back().second, span.second);
    } else {
      out.push_back(span);
    }
  }
  return out;
}

}  // namespace

Region Region::FromRows(int top, const std::vector<Row>& rows) {
  Region r;
  // Consecutive identical rows become one band.
  size_t i = 0;
  while (i < rows.size()) {
    size_t j = i + 1;
    while (j < rows.size() && rows[j] == rows[i]) ++j;
    for (const auto& span : rows[i]) {
      r.spans_.push_back(
          RECT{span.first, top + static_cast<int>(i), span.second, top + static_cast<int>(j)});
    }
    i = j;
  }
  std::sort(r.spans_.begin(), r.spans_.end(), [](const RECT& a, const RECT& b) {
    return a.top != b.top ? a.top < b.top : a.left < b.left;
  });
  return r;
}

std::vector<std::pair<int, Region::Row>> Region::ToRows() const {
  std::map<int, Row> rows;
  for (const RECT& rc : spans_) {
    for (int y = rc.top; y < rc.bottom; ++y) rows[y].push_back({rc.left, rc.right});
  }
  std::vector<std::pair<int, Row>> out;
  for (auto& [y, row] : rows) out.push_back({y, MergeRow(row)});
  return out;
}

Region Region::FromRect(const RECT& rect) {
  Region r;
  if (!rect.IsEmpty()) r.spans_.push_back(rect);
  return r;
}

Region Region::FromRoundRect(int left, int top, int right, int bottom, int ellipse_w,
                             int ellipse_h) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  // The familiar function leaves out the last column and row.
  const int r = right - 1;
  const int b = bottom - 1;
  if (r <= left || b <= top) return Region();
  const int width = r - left;
  const int height = b - top;
  const double a = std::min(std::max(ellipse_w, 0), width) / 2.0;
  const double bb = std::min(std::max(ellipse_h, 0), height) / 2.0;
  std::vector<Row> rows;
  rows.reserve(height);
  for (int y = top; y < b; ++y) {
    int inset = 0;
    if (a > 0 && bb > 0) {
      const double cy = y + 0.5;
      double dy = 0;
      if (cy < top + bb)
        dy = top + bb - cy;
      else if (cy > b - bb)
        dy = cy - (b - bb);
      if (dy > 0) {
        const double t = std::max(0.0, 1.0 - (dy * dy) / (bb * bb));
        inset = static_cast<int>(std::lround(a - a * std::sqrt(t)));
      }
    }
    Row row;
    if (left + inset < r - inset) row.push_back({left + inset, r - inset});
    rows.push_back(row);
  }
  return FromRows(top, rows);
}

void Region::Union(const Region& other) {
  if (other.spans_.empty()) return;
  if (spans_.empty()) {
    spans_ = other.spans_;
    return;
  }
  std::map<int, Row> rows;
  for (const Region* reg : {static_cast<const Region*>(this), &other}) {
    for (auto& [y, row] : reg->ToRows()) {
      Row& dst = rows[y];
      dst.insert(dst.end(), row.begin(), row.end());
    }
  }
  const int top = rows.begin()->first;
  const int bottom = rows.rbegin()->first + 1;
  std::vector<Row> dense(bottom - top);
  for (auto& [y, row] : rows) dense[y - top] = MergeRow(row);
  *this = FromRows(top, dense);
}

bool Region::Contains(POINT p) const {
  for (const RECT& rc : spans_) {
    if (rc.Contains(p)) return true;
  }
  return false;
}

RECT Region::Bounds() const {
  if (spans_.empty()) return RECT{};
  RECT b = spans_.front();
  for (const RECT& rc : spans_) {
    b.left = std::min(b.left, rc.left);
    b.top = std::min(b.top, rc.top);
    b.right = std::max(b.right, rc.right);
    b.bottom = std::max(b.bottom, rc.bottom);
  }
  return b;
}

Region CreateRectRgn(int left, int top, int right, int bottom) {
  return Region::FromRect(RECT{left, top, right, bottom});
}

Region CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipse_w, int ellipse_h) {
  return Region::FromRoundRect(left, top, right, bottom, ellipse_w, ellipse_h);
}

void CombineRgn(Region* dst, const Region& a, const Region& b, int mode) {
  (void)mode;  // only the union is used
  Region out = a;
  out.Union(b);
  *dst = out;
}

}  // namespace uilib
