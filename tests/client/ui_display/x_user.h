#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "uilib/winsys/ui_defs.h"

namespace ombrix::test {

// A user at the X display: the pointer and the keyboard through the X
// server (xdotool), as the window manager and the toolkit see a person's
// input. GUI thread; each call returns once the server has the input, and
// Settle runs the toolkit and the window messages until a condition holds.
class XUser {
 public:
  static bool Available();
  // A click at a screen point, with a modifier ("ctrl", "shift") held.
  static void ClickAt(uilib::POINT screen, const std::string& modifier = "");
  // Presses and releases a key by its X name ("End", "Next", "Return").
  static void Key(const std::string& name);
  // Types text into whatever has the keyboard.
  static void Type(const std::string& text);
  // Presses at `from`, moves to `to` and releases.
  static void Drag(uilib::POINT from, uilib::POINT to);
  // Runs the toolkit and the window messages until `done`, or the deadline.
  static bool Settle(const std::function<bool()>& done,
                     std::chrono::milliseconds deadline = std::chrono::seconds(10));
  // The window is mapped, and placed by the window manager where the
  // program knows it.
  static bool SettlePlaced(uilib::HWND hwnd);
  static std::string Shell(const std::string& command);
};

}  // namespace ombrix::test
