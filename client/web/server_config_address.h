#pragma once

#include <string>

// Where the server configuration "gsc" is downloaded from.
//
// The address is the static content host followed by "/" and the edition
// library's global-configuration value. The host is a deployment value:
//   - the environment variable OMBRIX_STATIC_HOST ("http://host:port"),
//     when set, names it (tests and the demo point it at the stand-in);
//   - else, when the global-configuration value is itself an absolute
//     address ("http://127.0.0.1:18080/" in the demo edition), that
//     address's scheme and host are the host and its path the path;
//   - else kDefaultStaticContentHost.
// A path that is empty or ends in "/" gets the file name "gsc" appended.
struct ServerConfigAddress {
  std::wstring base;  // "http://host[:port]", no trailing "/"
  std::wstring path;  // no leading "/"
};

inline constexpr wchar_t kDefaultStaticContentHost[] = L"http://127.0.0.1:18080";
inline constexpr char kStaticHostEnvironmentVariable[] = "OMBRIX_STATIC_HOST";

ServerConfigAddress GetServerConfigAddress(const std::wstring& global_config,
                                           const std::wstring& host_override);
// The value of OMBRIX_STATIC_HOST, empty when unset.
std::wstring StaticContentHostOverride();
