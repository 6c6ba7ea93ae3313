#pragma once

#include <string>

#include "uilib/winsys/ui_defs.h"

namespace uilib {

// What a hosted native text field reports to the edit control that owns it.
class TextInputListener {
 public:
  // The user changed the text (typing, input method, paste, undo).
  virtual void OnHostTextChanged(const std::wstring& text) = 0;
  // A key the field does not keep for itself (Tab, Enter, Escape).
  virtual void OnHostKey(UINT vk, bool shift) = 0;

 protected:
  ~TextInputListener() = default;
};

// A native text field placed over an edit control while it has the focus,
// so that input methods, selection, clipboard and undo come from the
// toolkit. Owned by the edit control; destroying it removes the field.
class TextInputHost {
 public:
  virtual ~TextInputHost() = default;
  virtual void SetBounds(const RECT& client_rect) = 0;
  // Replaces the text without reporting it back as a change.
  virtual void SetText(const std::wstring& text) = 0;
  virtual std::wstring GetText() const = 0;
  virtual void SetSelection(int start, int end) = 0;  // end -1: to the end
  virtual void GetSelection(int* start, int* end) const = 0;
  virtual void SetMaxLength(int chars) = 0;  // 0: none
  virtual void SetPassword(bool password) = 0;
  virtual void SetReadOnly(bool read_only) = 0;
  virtual void SetMultiLine(bool multi_line) = 0;
  virtual void SetFont(const std::wstring& family, int pixel_size) = 0;
  virtual void SetColors(uint32_t text_argb, uint32_t back_argb) = 0;
  virtual void Focus() = 0;
};

}  // namespace uilib
