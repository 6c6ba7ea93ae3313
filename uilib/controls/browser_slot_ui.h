#pragma once

#include "uilib/controls/control_ui.h"

namespace uilib {

// Told where the slot is whenever its box or visibility changes.
class BrowserSlotListener {
 public:
  virtual void OnSlotChanged(const RECT& client_rect, bool visible) = 0;

 protected:
  ~BrowserSlotListener() = default;
};

// A place in a layout that an embedded browser view occupies ("Browser" in
// the skin). The library draws nothing there; the browser host (outside
// the library) listens for the slot's box and visibility and places its
// native view over it.
class CBrowserSlotUI : public CControlUI {
 public:
  LPCTSTR GetClass() const override;  // "BrowserSlotUI"
  void* GetInterface(LPCTSTR pstrName) override;

  // Borrowed; null to stop. Told the current state at once.
  void SetListener(BrowserSlotListener* listener);
  // True when the slot and all its containers are shown.
  bool IsShown() const { return IsVisible(); }

  void SetPos(RECT rc) override;
  void SetVisible(bool bVisible = true) override;
  void SetInternVisible(bool bVisible = true) override;

 private:
  void Tell();
  BrowserSlotListener* m_pListener = nullptr;
};

}  // namespace uilib
