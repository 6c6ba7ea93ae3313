#include "launcher/launcher_config.h"

#include <cstdlib>

#include "runtime/http/service_hosts.h"
#include "runtime/platform/dirs.h"
#include "runtime/util/text_convert.h"

LauncherConfig LoadLauncherConfig(const std::string& program_folder,
                                  const std::wstring& global_config) {
  LauncherConfig config;
  config.program_folder = program_folder;
  config.temp_folder = brx::platform::TempDirectory();
  std::string static_host = brx::http::StaticContentHost(global_config);
  config.manifest_url = static_host + "/version.xml";
  config.data_collect_base = brx::http::DataCollectHost(global_config);
  const char* website = getenv("OMBRIX_WEBSITE");
  config.website = brx::util::Utf8ToWide(website && *website ? website : static_host + "/");
  // Tests reach the bound with small patches; it can only be lowered.
  if (const char* cap = getenv("OMBRIX_PATCH_CAP_BYTES_FOR_TESTING")) {
    uint64_t bytes = strtoull(cap, nullptr, 10);
    if (bytes > 0 && bytes < config.patch_cap_bytes) config.patch_cap_bytes = bytes;
  }
  return config;
}
