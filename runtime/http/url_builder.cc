#include "runtime/http/url_builder.h"

#include "runtime/platform/tick_clock.h"
#include "runtime/util/text_convert.h"

namespace brx::http {

std::string EncodeUrlValue(const std::wstring& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : util::WideToUtf8(value)) {
    bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (keep) {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::wstring UrlBuilder::GetUrl(bool add_random_ticket) {
  if (use_raw_url) return raw_url;
  std::wstring url = base;
  if (path.empty()) return url;
  if (path[0] != L'/' && path[0] != L'\\') url += L'/';
  url += path;
  if (add_random_ticket) params_[L"random_ticket"] = std::to_wstring(platform::GetTickCount());
  bool first = true;
  for (const auto& [key, value] : params_) {
    url += first ? L'?' : L'&';
    first = false;
    url += key;
    url += L'=';
    url += util::Utf8ToWide(EncodeUrlValue(value));
  }
  return url;
}

}  // namespace brx::http
