#include "launcher/install_record.h"

#include "launcher/update_procedure.h"
#include "runtime/util/registry.h"

namespace {

void WriteEditionValues(const wchar_t* root, const InstallRecord& record) {
  std::wstring key = EditionRegistryKey(root, record.key);
  brx::util::WriteRegistryString(key, record.directory, L"Directory");
  brx::util::WriteRegistryString(key, L"Ombrix.exe", L"Application");
  brx::util::WriteRegistryString(key, L"OBDaemon.dll", L"Dll");
  brx::util::WriteRegistryString(key, record.version, L"Version");
  brx::util::WriteRegistryString(key, record.key, L"Key");
  brx::util::WriteRegistryString(key, record.key_desc, L"KeyDesc");
  brx::util::WriteRegistryDword(record.install_hook ? 1 : 0, key, L"InstallHook");
}

}  // namespace

void WriteInstallRecord(const InstallRecord& record) {
  WriteEditionValues(L"HKEY_LOCAL_MACHINE", record);
  brx::util::WriteRegistryString(L"HKEY_CURRENT_USER\\SOFTWARE\\Dorsk\\Ombrix", record.website, L"Website");
  WriteEditionValues(L"HKEY_CURRENT_USER", record);
}
