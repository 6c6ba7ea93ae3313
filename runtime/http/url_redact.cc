#include "runtime/http/url_redact.h"

#include <cctype>

#include "runtime/util/text_convert.h"

namespace brx::http {

bool IsSecretParameterName(std::string_view name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "ticket" || lower == "sessionid" || lower.find("password") != std::string::npos;
}

std::string RedactUrlSecrets(const std::string& url) {
  size_t query = url.find('?');
  if (query == std::string::npos) return url;
  size_t fragment = url.find('#', query);
  std::string out = url.substr(0, query + 1);
  size_t end = fragment == std::string::npos ? url.size() : fragment;
  size_t pos = query + 1;
  while (pos <= end) {
    size_t amp = url.find('&', pos);
    if (amp == std::string::npos || amp > end) amp = end;
    std::string_view pair(url.data() + pos, amp - pos);
    size_t eq = pair.find('=');
    if (eq != std::string_view::npos && IsSecretParameterName(pair.substr(0, eq))) {
      out.append(pair.substr(0, eq + 1));
      out += "***";
    } else {
      out.append(pair);
    }
    if (amp < end) out += '&';
    pos = amp + 1;
  }
  out.append(url, end, std::string::npos);
  return out;
}

std::wstring RedactUrlSecrets(const std::wstring& url) {
  return util::Utf8ToWide(RedactUrlSecrets(util::WideToUtf8(url)));
}

}  // namespace brx::http
