#include "client/ui/frame/origin_image_name.h"

std::wstring OriginImageFileName(const std::wstring& url) {
  const std::wstring fallback = L"temp.jpg";
  size_t slash = url.rfind(L'/');
  size_t jpg = url.rfind(L".jpg");
  if (slash == std::wstring::npos || jpg == std::wstring::npos || jpg < slash) return fallback;
  std::wstring name = url.substr(slash + 1, jpg + 4 - (slash + 1));
  if (name == L".jpg" || name.find(L"..") != std::wstring::npos) return fallback;
  for (wchar_t c : name) {
    if (c == L'\\' || c == L'/' || c == L':' || c < 0x20 || c == 0x7F) return fallback;
  }
  return name;
}
