#include "client/ui/script/page_request_origin.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.size() <= 5 &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

std::string HttpOrigin(const std::string& url) {
  size_t scheme_end = url.find("://");
  if (scheme_end == std::string::npos) return "";
  std::string scheme = Lower(url.substr(0, scheme_end));
  if (scheme != "http" && scheme != "https") return "";
  size_t start = scheme_end + 3;
  size_t end = url.find_first_of("/?#", start);
  std::string authority =
      url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  // Anything a URL parser could read as another host is refused outright.
  for (unsigned char c : authority) {
    if (c <= ' ' || c == '@' || c == '\\' || c == '%' || c >= 0x7F) return "";
  }
  std::string host = authority;
  std::string port = scheme == "https" ? "443" : "80";
  size_t colon = authority.rfind(':');
  size_t bracket = authority.rfind(']');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
    if (!AllDigits(port) || std::stoi(port) > 65535) return "";
    port = std::to_string(std::stoi(port));
  }
  if (host.empty()) return "";
  return scheme + "://" + Lower(host) + ":" + port;
}

bool OriginAllowed(const std::string& url, const std::vector<std::string>& allowed) {
  std::string origin = HttpOrigin(url);
  if (origin.empty()) return false;
  return std::any_of(allowed.begin(), allowed.end(),
                     [&](const std::string& address) { return HttpOrigin(address) == origin; });
}
