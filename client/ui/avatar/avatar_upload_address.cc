#include "client/ui/avatar/avatar_upload_address.h"

#include <cwctype>

#include "client/web/ob_logic_web_server_config.h"

namespace {

constexpr wchar_t kScheme[] = L"http://";

// The server text of the configuration is outside input: it may be put
// behind "http://" only when it is a host (a name, an IPv4 address or a
// bracketed IPv6 one) with an optional port, nothing that would move the
// page's post to another path or user.
bool IsHostAndPort(const std::wstring& server) {
  if (server.empty()) return false;
  for (wchar_t c : server) {
    bool ok = (c < 128 && std::iswalnum(c)) || c == L'.' || c == L'-' || c == L':' || c == L'[' ||
              c == L']';
    if (!ok) return false;
  }
  return server.front() != L':' && server.front() != L'.';
}

}  // namespace

std::wstring AvatarUploadUrl(const OBLogicWeb_ServerConfig& config) {
  // The server that keeps the head image is the one its command goes to.
  std::wstring base = config.GetServerUrlForCommand(L"UpdateUserHeadImage");
  if (base.compare(0, std::char_traits<wchar_t>::length(kScheme), kScheme) != 0) return L"";
  std::wstring server = base.substr(std::char_traits<wchar_t>::length(kScheme));
  if (!server.empty() && server.back() == L'/') server.pop_back();
  if (!IsHostAndPort(server)) return L"";
  return kScheme + server + L"/UploadHeadImage.axd";
}
