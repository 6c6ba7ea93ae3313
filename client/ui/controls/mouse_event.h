#pragma once

#include "uilib/ui_event.h"

// Whether a control event comes from the mouse: such events go to the
// parent when the control does not take the mouse.
inline bool IsMouseEvent(int type) {
  using namespace uilib;
  return type == UIEVENT_MOUSEMOVE || type == UIEVENT_MOUSELEAVE || type == UIEVENT_MOUSEENTER ||
         type == UIEVENT_MOUSEHOVER || type == UIEVENT_BUTTONDOWN || type == UIEVENT_BUTTONUP ||
         type == UIEVENT_RBUTTONDOWN || type == UIEVENT_DBLCLICK || type == UIEVENT_CONTEXTMENU ||
         type == UIEVENT_SCROLLWHEEL;
}
