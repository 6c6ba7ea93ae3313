#include "runtime/http/url_escape.h"

#include <cctype>
#include <cstring>

namespace brx::http {

namespace {

bool MustEscape(unsigned char c) {
  return c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
}

bool StartsEscape(const std::string& url, size_t pos) {
  return pos + 2 < url.size() && std::isxdigit(static_cast<unsigned char>(url[pos + 1])) &&
         std::isxdigit(static_cast<unsigned char>(url[pos + 2]));
}

}  // namespace

std::string EscapeUrlForTransfer(const std::string& url) {
  static const char kHex[] = "0123456789ABCDEF";
  size_t scheme = url.find("://");
  size_t start = scheme == std::string::npos ? 0 : url.find_first_of("/?#", scheme + 3);
  if (start == std::string::npos) return url;
  std::string out = url.substr(0, start);
  for (size_t i = start; i < url.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    if (MustEscape(c) || (c == '%' && !StartsEscape(url, i))) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace brx::http
