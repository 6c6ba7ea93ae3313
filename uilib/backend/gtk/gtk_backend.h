#pragma once

#include <memory>

#include "uilib/ui_backend.h"

namespace uilib {

// True when GTK can open the display (DISPLAY or WAYLAND_DISPLAY).
bool GtkDisplayAvailable();

}  // namespace uilib
