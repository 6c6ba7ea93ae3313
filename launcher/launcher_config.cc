#include "launcher/launcher_config.h"

#include <cstdlib>

#include "runtime/http/service_hosts.h"
#include "runtime/platform/dirs.h"
#include "runtime/util/text_convert.h"

LauncherConfig LoadLauncherConfig(const std::string& program_folder, const std::wstring& global_config) {
  LauncherConfig config;
  config.program_folder = program_folder;
  config.temp_folder = brx::platform::TempDirectory();
  std::string static_host = brx::http::StaticContentHost(global_config);
  config.manifest_url = static_host + "/version.xml";
  config.data_collect_base = brx::http::DataCollectHost(global_config);
  const char* website = getenv("OMBRIX_WEBSITE");
  config.website = brx::util::Utf8ToWide(website && *website ? website : static_host + "/");
  return config;
}
