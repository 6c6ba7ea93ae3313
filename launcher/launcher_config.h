#pragma once

#include <cstdint>
#include <string>

// Far above any real patch, packed or unpacked; the free space of the
// disk it goes to bounds it further.
inline constexpr uint64_t kPatchMaxBytes = 1ull << 30;

// Where the launcher finds its services (see runtime/http/service_hosts.h;
// "version.xml" lies on the static content host) and puts its files. The
// product's web site recorded in the registry is $OMBRIX_WEBSITE, else the
// static content host.
struct LauncherConfig {
  std::string program_folder;  // no trailing "/"
  std::string temp_folder;     // private to the user; no trailing "/"
  std::string manifest_url;    // without the "?tick=" part
  std::string data_collect_base;
  std::wstring website;
  // How large a patch may be, downloaded and unpacked: kPatchMaxBytes,
  // lowered by $OMBRIX_PATCH_CAP_BYTES_FOR_TESTING.
  uint64_t patch_cap_bytes = kPatchMaxBytes;

  std::string ManifestCopyPath() const { return temp_folder + "/ob_version_file.xml"; }
  std::string ExtractFolder() const { return temp_folder + "/OBUpdateAplldr"; }
  std::string BackupFolder() const { return temp_folder + "/OBUpdateAplldr.old"; }
  std::string PatchFolder() const { return program_folder + "/patch"; }
  std::string PatchArchivePath() const { return PatchFolder() + "/patch.7z"; }
  std::string ProgramFile(const char* name) const { return program_folder + "/" + name; }
};

// Time each download may take before the launcher gives up on it.
inline constexpr uint32_t kManifestDownloadCapMs = 10000;
inline constexpr uint32_t kPatchDownloadCapMs = 180000;

// The configuration of this run, from the environment and the edition's
// global-configuration value. `temp_folder` is empty when no private
// folder could be made.
LauncherConfig LoadLauncherConfig(const std::string& program_folder,
                                  const std::wstring& global_config);
