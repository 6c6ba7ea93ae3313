#include "client/host/game_page_hosts.h"

#include <cstdlib>

#include "client/web/server_config_address.h"
#include "runtime/util/edition.h"
#include "runtime/util/text_convert.h"

namespace {

std::wstring HostFromEnvironment(const char* name, const std::wstring& fallback) {
  const char* value = getenv(name);
  std::wstring host = value && *value ? brx::util::Utf8ToWide(value) : fallback;
  while (!host.empty() && host.back() == L'/') host.pop_back();
  return host;
}

}  // namespace

GamePageHosts HostGamePageHosts() {
  brx::util::LoadEditionLibrary();
  std::wstring static_host =
      GetServerConfigAddress(brx::util::GetEditionGlobalConfig(), StaticContentHostOverride()).base;
  return GamePageHosts{HostFromEnvironment(kHomePageHostVariable, static_host),
                       HostFromEnvironment(kAccountPageHostVariable, static_host)};
}
