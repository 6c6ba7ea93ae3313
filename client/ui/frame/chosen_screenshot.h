#pragma once

#include <string>

// What the screenshot picker sends with message 2258 (lParam points to it
// for the duration of the send).
struct ChosenScreenshot {
  std::wstring path;
  std::wstring game_id;
};
