#pragma once

#include <string>

// Records the installation after each run: the seven installation values
// under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER \SOFTWARE\Dorsk\Ombrix\<key>,
// and the product's web site under HKEY_CURRENT_USER\SOFTWARE\Dorsk\Ombrix.
// `patched_version`, when not empty, is the version a patch of this run
// installed: the edition values were read before the patch, so it is
// written last. Failures are ignored: the record is rewritten at every
// start, by the main client as well.
void WriteInstallRecord(const std::wstring& program_folder, const std::wstring& website,
                        const std::wstring& patched_version);
