#pragma once

#include <string>

#include "uilib/controls/button_ui.h"

// A button ("OBUserButton") that lights up its container while hovered:
// on entering, the container's background becomes "containerhotimage";
// on leaving, it gets its own back. Owned by its control tree; GUI thread
// only.
class COBUserButtonUI : public uilib::CButtonUI {
 public:
  COBUserButtonUI();
  ~COBUserButtonUI() override;

  uilib::LPCTSTR GetClass() const override;  // "OBUserButtonUI"
  void* GetInterface(uilib::LPCTSTR name) override;
  uilib::UINT GetControlFlags() const override;
  void SetAttribute(uilib::LPCTSTR name, uilib::LPCTSTR value) override;
  uilib::SIZE EstimateSize(uilib::SIZE available) override;

  // Drops the hover look at once (the window is about to be covered, so no
  // leave will come): the button is not hot and its container has its own
  // background again.
  void ResetHover();

 protected:
  void OnHotChanged(bool hot) override;
  // Only the click is told: no "buttondown".
  void OnPressed() override {}

 private:
  void LeaveContainer();

  std::wstring container_hot_image_;
  std::wstring saved_container_image_;
};
