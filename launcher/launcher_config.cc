#include "launcher/launcher_config.h"

#include <cstdlib>

#include "runtime/platform/dirs.h"
#include "runtime/util/text_convert.h"

namespace {

constexpr char kDefaultStaticHost[] = "http://127.0.0.1:18080";
constexpr char kDataCollectPort[] = "84";

std::string Env(const char* name) {
  const char* value = getenv(name);
  return value && *value ? value : "";
}

std::string StripTrailingSlashes(std::string text) {
  while (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}

// "scheme://host[:port]" of an absolute address; empty for anything else.
std::string Origin(const std::string& address) {
  size_t scheme = address.find("://");
  if (scheme == std::string::npos || scheme == 0) return "";
  size_t end = address.find_first_of("/?#", scheme + 3);
  std::string origin = address.substr(0, end);
  return origin.size() > scheme + 3 ? origin : "";
}

}  // namespace

LauncherConfig LoadLauncherConfig(const std::string& program_folder, const std::wstring& global_config) {
  LauncherConfig config;
  config.program_folder = program_folder;
  config.temp_folder = brx::platform::TempDirectory();

  std::string static_host = StripTrailingSlashes(Env("OMBRIX_STATIC_HOST"));
  if (static_host.empty()) static_host = Origin(brx::util::WideToUtf8(global_config));
  if (static_host.empty()) static_host = kDefaultStaticHost;
  config.manifest_url = static_host + "/version.xml";

  config.data_collect_base = StripTrailingSlashes(Env("OMBRIX_DC_HOST"));
  if (config.data_collect_base.empty()) {
    // The same machine name as the static host, on the collection port.
    size_t host_start = static_host.find("://") + 3;
    size_t port = static_host.find(':', host_start);
    config.data_collect_base = static_host.substr(0, port) + ":" + kDataCollectPort;
  }

  std::string website = Env("OMBRIX_WEBSITE");
  config.website = brx::util::Utf8ToWide(website.empty() ? static_host + "/" : website);
  return config;
}
