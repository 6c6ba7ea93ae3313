#include "uilib/winsys/ui_defs.h"

#include <algorithm>

namespace uilib {

bool IntersectRect(RECT* out, const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.IsEmpty()) {
    *out = RECT{};
    return false;
  }
  *out = r;
  return true;
}

}  // namespace uilib
