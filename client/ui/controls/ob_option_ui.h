#pragma once

#include <string>

#include "uilib/controls/button_ui.h"

// An option button ("OBOption") with plain grouping: a grouped option that
// becomes selected clears every other grouped, visible and enabled
// COBOptionUI of the same container (without telling them apart), and a
// click never clears a grouped option; an ungrouped one toggles. Never
// keeps the keyboard focus. Owned by its control tree; GUI thread only.
class COBOptionUI : public uilib::CButtonUI {
 public:
  COBOptionUI();
  ~COBOptionUI() override;

  uilib::LPCTSTR GetClass() const override;  // "OBOptionUI"
  void* GetInterface(uilib::LPCTSTR name) override;
  bool Activate() override;
  void SetFocus() override;
  void SetAttribute(uilib::LPCTSTR name, uilib::LPCTSTR value) override;
  uilib::SIZE EstimateSize(uilib::SIZE available) override;
  void PaintStatusImage(uilib::HDC hdc) override;

  bool IsSelected() const { return selected_; }
  // Sends "selectchanged" when the state changes, except for a grouped
  // option being cleared.
  void Selected(bool selected);
  bool IsGrouped() const { return grouped_; }

 private:
  // Clears without any notification.
  void Deselect();

  bool selected_ = false;
  bool grouped_ = false;
  std::wstring selected_image_;
};
