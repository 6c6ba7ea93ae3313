#pragma once

#include <cstdint>
#include <string>

// One tile of the screenshot picker or the album. `kind` is the catalogue
// entry's kind: 0 a single shot in the game folder, 1 or 2 a shot of a
// series kept in a folder of its own. `path` is the file, or, for a series
// in the top view, the series folder.
struct PictureItem {
  int32_t kind = 0;
  std::wstring path;
  std::wstring fileName;
  std::wstring gameId;
};
