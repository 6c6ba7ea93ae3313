#pragma once

#include <string>
#include <vector>

#include "uilib/winsys/ui_defs.h"

namespace uilib {

// Paints a window's tree into an ARGB image of the window's size, with the
// pixels outside its region and the pixels of its colour key transparent
// (as a desktop would show it), and writes it as PNG. Works with either
// backend; GUI thread only. False when the window does not exist or the
// file cannot be written.
bool SaveWindowSnapshot(HWND hWnd, const std::string& png_path);
// The whole image, row by row (ARGB, premultiplied).
bool WindowSnapshotPixels(HWND hWnd, std::vector<uint32_t>* argb, int* width, int* height);
// One pixel (ARGB, premultiplied) of the same image at a client point.
bool WindowSnapshotPixel(HWND hWnd, POINT client_pt, uint32_t* argb);

}  // namespace uilib
