#pragma once

#include <string>

namespace brx::http {

// The hosts of the product's services outside the web service proper, as
// "scheme://host[:port]" without a trailing "/". They are deployment
// values with built-in defaults; tests and the demo point them at the
// local stand-ins through the environment:
//   OMBRIX_STATIC_HOST  the static content host (else the scheme and host
//                       of the edition's global-configuration address, when
//                       that is an absolute address, else
//                       http://127.0.0.1:18080);
//   OMBRIX_DC_HOST      the data-collection host of the launcher's and the
//                       uninstaller's reports (else the static host's name
//                       on port 84).
std::string StaticContentHost(const std::wstring& global_config);
std::string DataCollectHost(const std::wstring& global_config);

}  // namespace brx::http
