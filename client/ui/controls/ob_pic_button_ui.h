#pragma once

#include <string>

#include "uilib/controls/button_ui.h"

struct ControlContext;

// A picture button ("OBPicButton") that can carry an attachment: while
// attached and hot it shows a close mark in its top-right 16 x 16 corner,
// and a release there removes the attachment and sends "selectchanged"
// instead of "click". Owned by its control tree; GUI thread only.
class COBPicButtonUI : public uilib::CButtonUI {
 public:
  explicit COBPicButtonUI(const ControlContext* context);
  ~COBPicButtonUI() override;

  uilib::LPCTSTR GetClass() const override;  // "OBPicButtonUI"
  void* GetInterface(uilib::LPCTSTR name) override;
  uilib::UINT GetControlFlags() const override;
  uilib::SIZE EstimateSize(uilib::SIZE available) override;
  void PaintStatusImage(uilib::HDC hdc) override;

  bool IsAttached() const { return attached_; }
  void SetAttached(bool attached);
  // The window whose client coordinates the cursor is read in when the
  // release is tested against the close mark; by default the control's own.
  void SetMappingWindow(uilib::HWND hwnd) { mapping_window_ = hwnd; }

 protected:
  // Only the click is told: no "buttondown".
  void OnPressed() override {}
  void OnReleased(const uilib::TEventUI& event, bool inside) override;

 private:
  bool InCloseMark(const uilib::TEventUI& event) const;

  bool attached_ = false;
  uilib::HWND mapping_window_ = 0;
  std::wstring close_mark_;
};
