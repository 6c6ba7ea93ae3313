#include "runtime/http/service_hosts.h"

#include <cstdlib>

#include "runtime/util/text_convert.h"

namespace brx::http {

namespace {

constexpr char kDefaultStaticHost[] = "http://127.0.0.1:18080";
constexpr char kDataCollectPort[] = "84";

std::string EnvHost(const char* name) {
  const char* value = getenv(name);
  std::string host = value ? value : "";
  while (!host.empty() && host.back() == '/') host.pop_back();
  return host;
}

// "scheme://host[:port]" of an absolute address; empty for anything else.
std::string Origin(const std::string& address) {
  size_t scheme = address.find("://");
  if (scheme == std::string::npos || scheme == 0) return "";
  std::string origin = address.substr(0, address.find_first_of("/?#", scheme + 3));
  return origin.size() > scheme + 3 ? origin : "";
}

}  // namespace

std::string StaticContentHost(const std::wstring& global_config) {
  std::string host = EnvHost("OMBRIX_STATIC_HOST");
  if (host.empty()) host = Origin(util::WideToUtf8(global_config));
  return host.empty() ? kDefaultStaticHost : host;
}

std::string DataCollectHost(const std::wstring& global_config) {
  std::string host = EnvHost("OMBRIX_DC_HOST");
  if (!host.empty()) return host;
  // The same machine as the static host, on the collection port.
  std::string base = StaticContentHost(global_config);
  size_t name = base.find("://") + 3;
  return base.substr(0, base.find(':', name)) + ":" + kDataCollectPort;
}

}  // namespace brx::http
