#pragma once

#include <string>

// What the launcher records about the installation after each run, under
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER \SOFTWARE\Dorsk\Ombrix\<key>, and
// the product's web site under HKEY_CURRENT_USER\SOFTWARE\Dorsk\Ombrix.
struct InstallRecord {
  std::wstring directory;  // the program folder, no trailing separator
  std::wstring version;    // the version installed now
  std::wstring key;
  std::wstring key_desc;
  bool install_hook = false;
  std::wstring website;
};

// Failures are ignored: the record is rewritten at every start, by the
// main client as well.
void WriteInstallRecord(const InstallRecord& record);
