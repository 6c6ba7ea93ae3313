#include "launcher/install_record.h"

#include "runtime/util/edition.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/registry.h"

void WriteInstallRecord(const std::wstring& program_folder, const std::wstring& website,
                        const std::wstring& patched_version) {
  std::wstring key = brx::util::GetEditionKey();
  std::wstring machine = brx::util::EditionRegistryPath(brx::util::kLocalMachineRoot, key);
  std::wstring user = brx::util::EditionRegistryPath(brx::util::kCurrentUserRoot, key);
  brx::util::WriteEditionValues(machine, program_folder, key);
  brx::util::WriteRegistryString(brx::util::ProductRegistryPath(brx::util::kCurrentUserRoot),
                                 website, L"Website");
  brx::util::WriteEditionValues(user, program_folder, key);
  if (patched_version.empty()) return;
  for (const std::wstring& path : {machine, user})
    brx::util::WriteRegistryString(path, patched_version, L"Version");
}
