#include "runtime/util/edition_registry.h"

#include "runtime/util/edition.h"
#include "runtime/util/registry.h"

namespace brx::util {

namespace {

constexpr wchar_t kProductSubKey[] = L"\\SOFTWARE\\Dorsk\\Ombrix";

}  // namespace

std::wstring ProductRegistryPath(const wchar_t* root) {
  return std::wstring(root) + kProductSubKey;
}

std::wstring EditionRegistryPath(const wchar_t* root, const std::wstring& edition_key) {
  return ProductRegistryPath(root) + L"\\" + edition_key;
}

void WriteEditionValues(const std::wstring& key_path, const std::wstring& program_folder,
                        const std::wstring& edition_key) {
  WriteRegistryString(key_path, program_folder, L"Directory");
  WriteRegistryString(key_path, L"Ombrix.exe", L"Application");
  WriteRegistryString(key_path, L"OBDaemon.dll", L"Dll");
  WriteRegistryString(key_path, GetEditionVersion(), L"Version");
  WriteRegistryString(key_path, edition_key, L"Key");
  WriteRegistryString(key_path, GetEditionKeyDesc(), L"KeyDesc");
  WriteRegistryDword(GetEditionInstallHook() ? 1 : 0, key_path, L"InstallHook");
}

}  // namespace brx::util
