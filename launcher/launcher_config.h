#pragma once

#include <cstdint>
#include <string>

// Where the launcher finds its services and puts its files. The hosts are
// deployment values with built-in defaults; each has an environment
// variable ("http://host:port") so that tests and the demo can point the
// launcher at the local stand-ins:
//   OMBRIX_STATIC_HOST  the static content host of "version.xml" (else the
//                       scheme and host of the edition's global-configuration
//                       address, else http://127.0.0.1:18080);
//   OMBRIX_DC_HOST      the data-collection host (else the static host's
//                       name on port 84);
//   OMBRIX_WEBSITE      the product's web site recorded in the registry.
struct LauncherConfig {
  std::string program_folder;  // no trailing "/"
  std::string temp_folder;     // private to the user; no trailing "/"
  std::string manifest_url;    // without the "?tick=" part
  std::string data_collect_base;
  std::wstring website;

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
LauncherConfig LoadLauncherConfig(const std::string& program_folder, const std::wstring& global_config);
