#pragma once

#include <string>

// The name of a user's own folder ("Users/<name>") for an account as the
// web service spelt it. A plain account is its own name, byte for byte;
// anything else still gives one path component that is neither empty nor
// "." or "..": "/", "\", "%" and control characters become "%XX", the
// names "." and ".." are written "%2E" and "%2E%2E", and an empty account
// is "%". Different accounts never share a name.
std::wstring UserFolderName(const std::wstring& account);

// Moves everything below `from` into `to` (created when missing): folders
// are merged, a file of the same name is replaced, and `from` is left
// empty. Works across file systems. False when anything could not be
// moved (what could be moved is moved). Moving a folder into itself does
// nothing.
bool MoveFolderContents(const std::wstring& from, const std::wstring& to);
