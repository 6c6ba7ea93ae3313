#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "uilib/backend/gtk/gtk_backend.h"

// The probes of the display tests into the GTK backend. They live in the
// uilib_testing library, which only tests (and benchmarks) link: nothing
// in a product calls them.
namespace uilib {

// Only meaningful when the GTK backend is the installed one.
namespace gtk_testing {
// Runs the toolkit's pending work (and waits up to `ms` for more).
void Iterate(int ms);
bool IsMapped(HWND hwnd);
// Where the display has the window's top-left corner (screen pixels).
bool NativeOrigin(HWND hwnd, POINT* at);
// The shape applied to the toolkit window contains the client point.
bool ShapeContains(HWND hwnd, int x, int y);
bool HasShape(HWND hwnd);
// The colour key kept on the toolkit window (-1 when none).
long ColorKey(HWND hwnd);
bool IsToolWindow(HWND hwnd);
// The toolkit window of `owned` is transient for that of `owner`.
bool IsTransientFor(HWND owned, HWND owner);
// Delivers a key press and release (a character, or "Tab", "Return",
// "Escape", "BackSpace") to the window as the display would.
bool SendKey(HWND hwnd, const std::string& key);
// Runs `fn` from the toolkit's own main context after `delay_ms`.
void RunFromToolkit(int delay_ms, std::function<void()> fn);
// The text of the native field hosted in the window, if one is.
bool HostedText(HWND hwnd, std::wstring* text);
// The input method's composed text in the hosted field changes to
// `preedit` (empty: the composition ends), as an input method reports it.
bool SetPreedit(HWND hwnd, const std::string& preedit);
// Whether a folder chooser is up, with the folder it shows and whether it
// is transient for the window of `owner`.
bool FolderChooserShown(HWND owner, std::wstring* folder, bool* over_owner);
// Dismisses every folder chooser that is up (as closing it would); how
// many there were.
int CloseFolderChoosers();
// The colour (0xRRGGBB) the screen shows now at the window's client point,
// whichever window is in front there; false when the window is not mapped.
bool ScreenColorAt(HWND hwnd, int x, int y, uint32_t* rgb);
// Whether a tip is on the screen, and its text.
bool ToolTipShown(std::wstring* text);
// Whether a combo's drop-down list is up, and where (screen pixels).
bool DropDownShown(RECT* screen_rect);
}  // namespace gtk_testing

}  // namespace uilib
