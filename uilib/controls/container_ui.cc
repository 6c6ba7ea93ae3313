#include "uilib/controls/container_ui.h"

#include <cairo.h>

#include <algorithm>
#include <cwchar>

#include "uilib/paint/image_spec.h"
#include "uilib/controls/paint_manager_ui.h"

namespace uilib {

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
  // Children first: their destructors still see a live manager.
  RemoveAll();
}

LPCTSTR CContainerUI::GetClass() const { return L"ContainerUI"; }

void* CContainerUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, kInterfaceIContainer) == 0)
    return static_cast<IContainerUI*>(this);
  if (pstrName && std::wcscmp(pstrName, kInterfaceContainer) == 0)
    return static_cast<CContainerUI*>(this);
  return CControlUI::GetInterface(pstrName);
}

CControlUI* CContainerUI::GetItemAt(int iIndex) const {
  if (iIndex < 0 || iIndex >= static_cast<int>(m_items.size())) return nullptr;
  return m_items[iIndex];
}

int CContainerUI::GetItemIndex(CControlUI* pControl) const {
  auto it = std::find(m_items.begin(), m_items.end(), pControl);
  return it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin());
}

int CContainerUI::GetCount() const { return static_cast<int>(m_items.size()); }

bool CContainerUI::Add(CControlUI* pControl) {
  return AddAt(pControl, static_cast<int>(m_items.size()));
}

bool CContainerUI::AddAt(CControlUI* pControl, int iIndex) {
  if (!pControl || iIndex < 0 || iIndex > static_cast<int>(m_items.size())) return false;
  m_items.insert(m_items.begin() + iIndex, pControl);
  if (m_pManager) {
    m_pManager->InitControls(pControl, this);
  } else {
    pControl->SetManager(nullptr, this, false);
  }
  NeedUpdate();
  return true;
}

bool CContainerUI::Remove(CControlUI* pControl) {
  int index = GetItemIndex(pControl);
  return index >= 0 && RemoveAt(index);
}

bool CContainerUI::RemoveAt(int iIndex) {
  CControlUI* control = GetItemAt(iIndex);
  if (!control) return false;
  m_items.erase(m_items.begin() + iIndex);
  if (m_bAutoDestroy) {
    delete control;
  } else if (m_pManager) {
    m_pManager->ReapObjects(control);
  }
  NeedUpdate();
  return true;
}

void CContainerUI::RemoveAll() {
  while (!m_items.empty()) {
    CControlUI* control = m_items.back();
    m_items.pop_back();
    if (m_bAutoDestroy) {
      delete control;
    } else if (m_pManager) {
      m_pManager->ReapObjects(control);
    }
  }
  NeedUpdate();
}

void CContainerUI::SetInset(RECT rcInset) {
  m_rcInset = rcInset;
  NeedUpdate();
}

void CContainerUI::SetChildPadding(int iPadding) {
  m_iChildPadding = iPadding;
  NeedUpdate();
}

CControlUI* CContainerUI::FindSubControl(LPCTSTR pstrSubControlName) {
  std::wstring name = pstrSubControlName ? pstrSubControlName : L"";
  return FindControl(
      [&name](CControlUI* c, void*) -> CControlUI* { return c->GetName() == name ? c : nullptr; },
      nullptr, UIFIND_ALL);
}

void CContainerUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
  for (CControlUI* item : m_items) item->SetManager(pManager, this, bInit);
  CControlUI::SetManager(pManager, pParent, bInit);
}

CControlUI* CContainerUI::FindControl(const FindControlProc& Proc, void* pData, UINT uFlags) {
  if ((uFlags & UIFIND_VISIBLE) != 0 && !m_bVisible) return nullptr;
  if ((uFlags & UIFIND_ENABLED) != 0 && !m_bEnabled) return nullptr;
  if ((uFlags & UIFIND_HITTEST) != 0 && !m_rcItem.Contains(*static_cast<POINT*>(pData)))
    return nullptr;
  if ((uFlags & UIFIND_ME_FIRST) != 0) {
    if (CControlUI* c = CControlUI::FindControl(Proc, pData, uFlags)) return c;
  }
  if ((uFlags & UIFIND_TOP_FIRST) != 0) {
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
      if (CControlUI* c = (*it)->FindControl(Proc, pData, uFlags)) return c;
    }
  } else {
    for (CControlUI* item : m_items) {
      if (CControlUI* c = item->FindControl(Proc, pData, uFlags)) return c;
    }
  }
  if ((uFlags & UIFIND_ME_FIRST) == 0) return CControlUI::FindControl(Proc, pData, uFlags);
  return nullptr;
}

RECT CContainerUI::InnerRect() const {
  RECT rc = m_rcItem;
  rc.left += m_rcInset.left;
  rc.top += m_rcInset.top;
  rc.right -= m_rcInset.right;
  rc.bottom -= m_rcInset.bottom;
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  return rc;
}

void CContainerUI::SetFloatPos(CControlUI* pControl) {
  SIZE xy = pControl->GetFixedXY();
  int w = pControl->GetFixedWidth();
  int h = pControl->GetFixedHeight();
  RECT rc{m_rcItem.left + xy.cx, m_rcItem.top + xy.cy, m_rcItem.left + xy.cx + w,
          m_rcItem.top + xy.cy + h};
  pControl->SetPos(rc);
}

void CContainerUI::SetPos(RECT rc) {
  CControlUI::SetPos(rc);
  RECT inner = InnerRect();
  for (CControlUI* item : m_items) {
    if (!item->IsOwnVisible()) continue;
    if (item->IsFloat()) {
      SetFloatPos(item);
      continue;
    }
    RECT pad = item->GetPadding();
    RECT r{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right,
           inner.bottom - pad.bottom};
    SIZE sz = item->EstimateSize(SIZE{r.right - r.left, r.bottom - r.top});
    if (sz.cx > 0) r.right = std::min(r.right, r.left + sz.cx);
    if (sz.cy > 0) r.bottom = std::min(r.bottom, r.top + sz.cy);
    item->SetPos(r);
  }
}

void CContainerUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT tmp;
  if (!IntersectRect(&tmp, rcPaint, m_rcItem)) return;
  CControlUI::DoPaint(hDC, rcPaint);
  // Children that do not fit (a long list) are cut at the container's
  // edge instead of painting over what lies below it.
  if (hDC != nullptr) {
    cairo_save(hDC);
    cairo_rectangle(hDC, tmp.left, tmp.top, tmp.right - tmp.left, tmp.bottom - tmp.top);
    cairo_clip(hDC);
  }
  for (CControlUI* item : m_items) {
    if (!item->IsOwnVisible()) continue;
    item->DoPaint(hDC, tmp);
  }
  if (hDC != nullptr) cairo_restore(hDC);
}

void CContainerUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  std::wstring name = pstrName ? pstrName : L"";
  RECT rc;
  if (name == L"inset") {
    if (ParseRect(pstrValue ? pstrValue : L"", &rc)) SetInset(rc);
  } else if (name == L"childpadding") {
    SetChildPadding(ParseInt(pstrValue));
  } else {
    CControlUI::SetAttribute(pstrName, pstrValue);
  }
}

void CContainerUI::SetVisible(bool bVisible) {
  if (m_bVisible == bVisible) return;
  CControlUI::SetVisible(bVisible);
  const bool shown = IsVisible();
  FindControl(
      [shown](CControlUI* c, void*) -> CControlUI* {
        c->SetInternVisible(shown && c->IsVisible());
        return nullptr;
      },
      nullptr, UIFIND_ALL);
}

// ---- layouts

namespace {

// Splits `available` among items: fixed sizes first, the rest equally.
struct Slot {
  CControlUI* control;
  int fixed;  // 0: shares
};

// A column or a row seen along its own axis: `main` is the
// direction the items follow one another in, `cross` the other one.
struct Span {
  int lo;
  int hi;
};

struct Axis {
  bool vertical;

  Span Main(const RECT& rc) const {
    return vertical ? Span{rc.top, rc.bottom} : Span{rc.left, rc.right};
  }
  Span Cross(const RECT& rc) const {
    return vertical ? Span{rc.left, rc.right} : Span{rc.top, rc.bottom};
  }
  int Main(SIZE sz) const { return vertical ? sz.cy : sz.cx; }
  int Cross(SIZE sz) const { return vertical ? sz.cx : sz.cy; }
  int ClampMain(const CControlUI* c, int extent) const {
    return vertical ? std::clamp(extent, c->GetMinHeight(), c->GetMaxHeight())
                    : std::clamp(extent, c->GetMinWidth(), c->GetMaxWidth());
  }
  int ClampCross(const CControlUI* c, int extent) const {
    return vertical ? std::clamp(extent, c->GetMinWidth(), c->GetMaxWidth())
                    : std::clamp(extent, c->GetMinHeight(), c->GetMaxHeight());
  }
  RECT Join(Span main, Span cross) const {
    return vertical ? RECT{cross.lo, main.lo, cross.hi, main.hi}
                    : RECT{main.lo, cross.lo, main.hi, cross.hi};
  }
};

// The items a row or column places, with their fixed extents along its
// axis, and the extent each sharing item gets. Floating items are left to
// the caller.
std::vector<Slot> PlanAxis(const std::vector<CControlUI*>& items, SIZE available, Axis axis,
                           int child_padding, int* share) {
  std::vector<Slot> slots;
  int fixed_total = 0;
  int sharing = 0;
  for (CControlUI* item : items) {
    if (!item->IsOwnVisible() || item->IsFloat()) continue;
    Span pad = axis.Main(item->GetPadding());
    int extent = axis.Main(item->EstimateSize(available));
    if (extent > 0) extent = axis.ClampMain(item, extent);
    slots.push_back({item, extent});
    fixed_total += extent + pad.lo + pad.hi;
    if (extent == 0) ++sharing;
  }
  if (!slots.empty()) fixed_total += child_padding * static_cast<int>(slots.size() - 1);
  int rest = std::max(0, axis.Main(available) - fixed_total);
  *share = sharing > 0 ? rest / sharing : 0;
  return slots;
}

}  // namespace

void CContainerUI::LayOutLine(RECT rc, Line line) {
  const bool vertical = line == Line::kColumn;
  const Axis axis{vertical};
  CControlUI::SetPos(rc);
  RECT inner = InnerRect();
  SIZE available{inner.Width(), inner.Height()};
  for (CControlUI* item : m_items) {
    if (item->IsOwnVisible() && item->IsFloat()) SetFloatPos(item);
  }
  int share = 0;
  std::vector<Slot> slots = PlanAxis(m_items, available, axis, m_iChildPadding, &share);
  int at = axis.Main(inner).lo;
  for (const Slot& slot : slots) {
    CControlUI* item = slot.control;
    RECT padding = item->GetPadding();
    Span pad_main = axis.Main(padding);
    Span pad_cross = axis.Cross(padding);
    int extent = slot.fixed > 0 ? slot.fixed : axis.ClampMain(item, share);
    Span cross{axis.Cross(inner).lo + pad_cross.lo, axis.Cross(inner).hi - pad_cross.hi};
    int wanted = axis.Cross(item->EstimateSize(available));
    if (wanted > 0) {
      wanted = axis.ClampCross(item, wanted);
      // A row centres its fixed-height items; a column keeps its
      // fixed-width items at the left.
      int free = (cross.hi - cross.lo) - wanted;
      if (!vertical && free > 0) cross.lo += free / 2;
      cross.hi = std::min(cross.hi, cross.lo + wanted);
    }
    at += pad_main.lo;
    item->SetPos(axis.Join(Span{at, at + extent}, cross));
    at += extent + pad_main.hi + m_iChildPadding;
  }
}

LPCTSTR CVerticalLayoutUI::GetClass() const { return L"VerticalLayoutUI"; }

void* CVerticalLayoutUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"VerticalLayout") == 0) return this;
  return CContainerUI::GetInterface(pstrName);
}

void CVerticalLayoutUI::SetPos(RECT rc) { LayOutLine(rc, Line::kColumn); }

LPCTSTR CHorizontalLayoutUI::GetClass() const { return L"HorizontalLayoutUI"; }

void* CHorizontalLayoutUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"HorizontalLayout") == 0) return this;
  return CContainerUI::GetInterface(pstrName);
}

void CHorizontalLayoutUI::SetPos(RECT rc) { LayOutLine(rc, Line::kRow); }

LPCTSTR CTileLayoutUI::GetClass() const { return L"TileLayoutUI"; }

void* CTileLayoutUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::wcscmp(pstrName, L"TileLayout") == 0) return this;
  return CContainerUI::GetInterface(pstrName);
}

void CTileLayoutUI::SetColumns(int nCols) {
  if (nCols <= 0) return;
  m_nColumns = nCols;
  NeedUpdate();
}

void CTileLayoutUI::SetItemSize(SIZE szItem) {
  m_szItem = szItem;
  NeedUpdate();
}

void CTileLayoutUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  std::wstring name = pstrName ? pstrName : L"";
  SIZE sz;
  if (name == L"columns") {
    SetColumns(ParseInt(pstrValue));
  } else if (name == L"itemsize") {
    if (ParseSize(pstrValue ? pstrValue : L"", &sz)) SetItemSize(sz);
  } else {
    CContainerUI::SetAttribute(pstrName, pstrValue);
  }
}

void CTileLayoutUI::SetPos(RECT rc) {
  CControlUI::SetPos(rc);
  RECT inner = InnerRect();
  int columns = m_nColumns;
  int cell_w = 0;
  if (m_szItem.cx > 0) {
    cell_w = m_szItem.cx;
    columns = std::max(1, (inner.Width() + m_iChildPadding) / (cell_w + m_iChildPadding));
  } else {
    columns = std::max(1, columns);
    cell_w = (inner.Width() - m_iChildPadding * (columns - 1)) / columns;
  }
  int index = 0;
  int row_top = inner.top;
  int row_height = 0;
  for (CControlUI* item : m_items) {
    if (!item->IsOwnVisible()) continue;
    if (item->IsFloat()) {
      SetFloatPos(item);
      continue;
    }
    int col = index % columns;
    if (col == 0 && index > 0) {
      row_top += row_height + m_iChildPadding;
      row_height = 0;
    }
    SIZE sz = item->EstimateSize(SIZE{cell_w, inner.Height()});
    int h = m_szItem.cy > 0 ? m_szItem.cy : (sz.cy > 0 ? sz.cy : cell_w);
    row_height = std::max(row_height, h);
    RECT pad = item->GetPadding();
    int left = inner.left + col * (cell_w + m_iChildPadding);
    item->SetPos(RECT{left + pad.left, row_top + pad.top, left + cell_w - pad.right,
                      row_top + h - pad.bottom});
    ++index;
  }
}

}  // namespace uilib
