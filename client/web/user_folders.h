#pragma once

#include <string>

// Moves everything below `from` into `to` (created when missing): folders
// are merged, a file of the same name is replaced, and `from` is left
// empty. Works across file systems. False when anything could not be
// moved (what could be moved is moved).
bool MoveFolderContents(const std::wstring& from, const std::wstring& to);
