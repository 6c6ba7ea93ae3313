#pragma once

#include <string>

namespace brx::util {

// The edition values of the outside edition library OBVerCustom.dll, read
// once and cached for the process. The cache counts as filled when the key
// is non-empty; until then every getter tries to load the library again.
// Thread-safe.
void LoadEditionLibrary();
std::wstring GetEditionGameId();
std::wstring GetEditionKey();
std::wstring GetEditionKeyDesc();
std::wstring GetEditionVersion();
std::wstring GetEditionGlobalConfig();
bool GetEditionInstallHook();

// Drops the cached values, so that the next getter reads the library
// again: for a program that has just replaced the library file with a
// waiting update.
void ForgetEditionValues();

// The library file: OBVerCustom.dll in the program folder.
std::string EditionLibraryPath();

// Reads the values from another installation's library (the uninstaller
// runs from a copy outside the folder it removes). Call before any getter.
void SetEditionLibraryPath(const std::string& path);

void SetEditionLibraryPathForTesting(const std::string& path);
void ResetEditionCacheForTesting();

}  // namespace brx::util
