#pragma once

#include <string>

// The shortcuts the uninstaller removes are named by registry values that
// any program of the user may have written. A value is only ever taken for
// the kind of entry it is meant to name, in the folder where this product
// puts that kind:
//   start menu: a file or folder named for the product (its name holds
//     "Ombrix" in any letter case, or "翎岚") inside the user's
//     applications folder ($XDG_DATA_HOME/applications);
//   desktop: a ".desktop" file (or a link) directly in the user's desktop
//     folder.
// Whatever the value says, "/", the home folder, its parents and the
// system's folders are never taken (see brx::util::IsProtectedFolder).
enum class ShortcutKind { kStartMenu, kDesktop };

// The normalised path to remove for `value` (see
// brx::util::ResolveRemovalPath: a link is removed, never what it points
// to), or empty when the value is refused, with `*reason` saying why. An
// empty value, a missing registry value, is refused without a reason.
std::string ShortcutPathToRemove(ShortcutKind kind, const std::string& value, std::string* reason);
