#pragma once

#include <string>

namespace brx::util {

// Where the installation's values live in the registry: below the
// product's key, in the sub key named by the edition key, in both
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER. The main client, the launcher
// and the uninstaller all read and write there, so the path is built in
// one place.

inline constexpr wchar_t kLocalMachineRoot[] = L"HKEY_LOCAL_MACHINE";
inline constexpr wchar_t kCurrentUserRoot[] = L"HKEY_CURRENT_USER";

// root + "\SOFTWARE\Dorsk\Ombrix": the product's key (the launcher keeps
// "Website" there).
std::wstring ProductRegistryPath(const wchar_t* root);
// root + "\SOFTWARE\Dorsk\Ombrix\" + edition key.
std::wstring EditionRegistryPath(const wchar_t* root, const std::wstring& edition_key);

// Writes the seven installation values below `key_path`: "Directory" (the
// program folder), "Application" ("Ombrix.exe"), "Dll" ("OBDaemon.dll"),
// "Version", "Key" and "KeyDesc" from the edition, and the DWORD
// "InstallHook". A write that fails is ignored, as every writer does.
void WriteEditionValues(const std::wstring& key_path, const std::wstring& program_folder,
                        const std::wstring& edition_key);

}  // namespace brx::util
