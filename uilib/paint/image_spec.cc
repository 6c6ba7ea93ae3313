#include "uilib/paint/image_spec.h"

#include <cwctype>
#include <vector>

namespace uilib {

namespace {

std::wstring Trim(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && iswspace(s[b])) ++b;
  while (e > b && iswspace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool ParseInts(const std::wstring& text, std::vector<int>* out, size_t count) {
  out->clear();
  size_t pos = 0;
  while (out->size() < count) {
    size_t comma = text.find(L',', pos);
    std::wstring part =
        Trim(text.substr(pos, comma == std::wstring::npos ? std::wstring::npos : comma - pos));
    if (part.empty()) return false;
    size_t used = 0;
    int v = 0;
    try {
      v = std::stoi(part, &used);
    } catch (...) {
      return false;
    }
    if (used != part.size()) return false;
    out->push_back(v);
    if (comma == std::wstring::npos) break;
    pos = comma + 1;
  }
  return out->size() == count;
}

}  // namespace

bool ParseRect(const std::wstring& text, RECT* out) {
  std::vector<int> v;
  if (!ParseInts(text, &v, 4)) return false;
  *out = RECT{v[0], v[1], v[2], v[3]};
  return true;
}

bool ParseSize(const std::wstring& text, SIZE* out) {
  std::vector<int> v;
  if (!ParseInts(text, &v, 2)) return false;
  *out = SIZE{v[0], v[1]};
  return true;
}

bool ParseColor(const std::wstring& text_in, uint32_t* argb) {
  std::wstring text = Trim(text_in);
  std::wstring hex;
  if (!text.empty() && text[0] == L'#')
    hex = text.substr(1);
  else if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X'))
    hex = text.substr(2);
  else
    return false;
  if (hex.size() != 6 && hex.size() != 8) return false;
  for (wchar_t c : hex) {
    if (!iswxdigit(c)) return false;
  }
  uint32_t v = static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
  if (hex.size() == 6) v |= 0xFF000000u;
  *argb = v;
  return true;
}

bool ImageSpec::Parse(const std::wstring& text_in, ImageSpec* out) {
  *out = ImageSpec();
  std::wstring text = Trim(text_in);
  if (text.empty()) return false;
  if (text.find(L'\'') == std::wstring::npos) {
    out->file = text;
    return true;
  }
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && iswspace(text[pos])) ++pos;
    size_t eq = text.find(L'=', pos);
    if (eq == std::wstring::npos) break;
    std::wstring key = Trim(text.substr(pos, eq - pos));
    size_t q1 = text.find(L'\'', eq);
    if (q1 == std::wstring::npos) return false;
    size_t q2 = text.find(L'\'', q1 + 1);
    if (q2 == std::wstring::npos) return false;
    std::wstring value = text.substr(q1 + 1, q2 - q1 - 1);
    pos = q2 + 1;
    if (key == L"file" || key == L"res") {
      out->file = value;
    } else if (key == L"source") {
      ParseRect(value, &out->source);
    } else if (key == L"corner") {
      ParseRect(value, &out->corner);
    } else if (key == L"dest") {
      out->has_dest = ParseRect(value, &out->dest);
    } else if (key == L"fade") {
      try {
        out->fade = std::stoi(value);
      } catch (...) {
        out->fade = 255;
      }
    } else if (key == L"mask") {
      out->has_mask = ParseColor(value, &out->mask);
    }
  }
  return !out->file.empty();
}

}  // namespace uilib
