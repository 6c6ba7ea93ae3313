#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "uilib/winsys/ui_backend.h"

namespace uilib {

// True when GTK can open the display (DISPLAY or WAYLAND_DISPLAY).
bool GtkDisplayAvailable();

}  // namespace uilib
