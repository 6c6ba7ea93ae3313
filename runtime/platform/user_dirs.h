#pragma once

#include <string>

namespace brx::platform {

// A folder of the XDG user dirs ("DOCUMENTS", "DESKTOP", ...): the entry
// XDG_<name>_DIR of $XDG_CONFIG_HOME/user-dirs.dirs (else
// ~/.config/user-dirs.dirs), else the folder's usual English name below
// the home folder. Empty when the folder does not exist, so callers can
// fall back to their own choice.
std::string XdgUserDirectory(const std::string& name);

}  // namespace brx::platform
