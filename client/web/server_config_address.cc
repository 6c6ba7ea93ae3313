#include "client/web/server_config_address.h"

#include <cstdlib>

#include "runtime/util/text_convert.h"

namespace {

std::wstring StripTrailingSlashes(std::wstring text) {
  while (!text.empty() && text.back() == L'/') text.pop_back();
  return text;
}

}  // namespace

ServerConfigAddress GetServerConfigAddress(const std::wstring& global_config,
                                           const std::wstring& host_override) {
  ServerConfigAddress out;
  std::wstring path = global_config;
  size_t scheme = global_config.find(L"://");
  if (scheme != std::wstring::npos) {
    size_t slash = global_config.find(L'/', scheme + 3);
    out.base = global_config.substr(0, slash);
    path = slash == std::wstring::npos ? L"" : global_config.substr(slash);
  } else {
    out.base = kDefaultStaticContentHost;
  }
  if (!host_override.empty()) out.base = host_override;
  out.base = StripTrailingSlashes(out.base);
  while (!path.empty() && (path[0] == L'/' || path[0] == L'\\')) path.erase(0, 1);
  if (path.empty() || path.back() == L'/') path += L"gsc";
  out.path = path;
  return out;
}

std::wstring StaticContentHostOverride() {
  const char* value = getenv(kStaticHostEnvironmentVariable);
  return value ? brx::util::Utf8ToWide(value) : std::wstring();
}
