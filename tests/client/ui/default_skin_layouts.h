#pragma once

#include <string>
#include <vector>

namespace ombrix::test {

// A layout of the default skin and the controls the code looks up in it.
struct Layout {
  const wchar_t* file;
  std::vector<const wchar_t*> names;
};

// The skin folder in the sources.
std::wstring DefaultSkin();

// Layouts of windows.
extern const std::vector<Layout> kDefaultSkinWindows;
// Layouts that controls build as parts of a window.
extern const std::vector<Layout> kDefaultSkinParts;

}  // namespace ombrix::test
