#include "runtime/util/text_convert.h"

#include <errno.h>
#include <iconv.h>

#include <vector>

namespace brx::util {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsValidScalar(uint32_t c) { return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF); }

// One iconv descriptor per thread and direction; iconv_t is not thread-safe.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts as much as it can; returns false on an input it cannot take,
  // leaving `in`/`in_left` at that input.
  bool Run(char** in, size_t* in_left, std::string* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buf[4096];
    while (*in_left > 0) {
      char* o = buf;
      size_t o_left = sizeof buf;
      size_t r = iconv(cd_, in, in_left, &o, &o_left);
      out->append(buf, sizeof buf - o_left);
      if (r == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    char* o = buf;
    size_t o_left = sizeof buf;
    iconv(cd_, nullptr, nullptr, &o, &o_left);
    out->append(buf, sizeof buf - o_left);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    uint32_t c = static_cast<uint32_t>(wc);
    if (!IsValidScalar(c)) c = kReplacement;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    unsigned char b = s[i];
    uint32_t c;
    size_t len;
    if (b < 0x80) {
      c = b;
      len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      len = 4;
    } else {
      out += kReplacement;
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j < len && i + j < n && (s[i + j] & 0xC0) == 0x80; ++j) c = (c << 6) | (s[i + j] & 0x3F);
    static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (j < len || c < kMin[len] || !IsValidScalar(c)) {
      // Skip the whole malformed sequence as one replacement.
      out += kReplacement;
      i += j;
      continue;
    }
    out += static_cast<wchar_t>(c);
    i += len;
  }
  return out;
}

bool IsValidUtf8(const std::string& text) {
  // A valid text decodes without a single replacement, unless it carried
  // U+FFFD itself; count those to tell the two apart.
  size_t own = 0;
  for (size_t pos = 0; (pos = text.find("\xEF\xBF\xBD", pos)) != std::string::npos; pos += 3) ++own;
  std::wstring wide = Utf8ToWide(text);
  size_t replacements = 0;
  for (wchar_t c : wide) replacements += c == kReplacement;
  return replacements == own;
}

std::u16string WideToUtf16(const std::wstring& text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    uint32_t c = static_cast<uint32_t>(wc);
    if (!IsValidScalar(c)) c = kReplacement;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::wstring Utf16ToWide(const std::u16string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}

std::string WideToAnsi(const std::wstring& text) {
  thread_local Iconv to_gbk("GB18030", "UTF-32LE");
  std::string out;
  if (!to_gbk.ok()) {
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }
  std::vector<uint32_t> units;
  units.reserve(text.size());
  for (wchar_t c : text)
    units.push_back(IsValidScalar(static_cast<uint32_t>(c)) ? static_cast<uint32_t>(c) : '?');
  char* in = reinterpret_cast<char*>(units.data());
  size_t left = units.size() * sizeof(uint32_t);
  while (!to_gbk.Run(&in, &left, &out)) {
    // A character GBK lacks: the code page's default character, then go on.
    out += '?';
    in += sizeof(uint32_t);
    left -= sizeof(uint32_t);
  }
  return out;
}

std::wstring AnsiToWide(const std::string& text) {
  thread_local Iconv from_gbk("UTF-32LE", "GB18030");
  std::wstring out;
  if (!from_gbk.ok()) {
    for (char c : text)
      out += static_cast<unsigned char>(c) < 0x80 ? static_cast<wchar_t>(c) : kReplacement;
    return out;
  }
  char* in = const_cast<char*>(text.data());
  size_t left = text.size();
  std::string bytes;
  auto flush = [&] {
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
      uint32_t c = static_cast<unsigned char>(bytes[i]) |
                   static_cast<unsigned char>(bytes[i + 1]) << 8 |
                   static_cast<unsigned char>(bytes[i + 2]) << 16 |
                   static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 3])) << 24;
      out += static_cast<wchar_t>(c);
    }
    bytes.clear();
  };
  while (!from_gbk.Run(&in, &left, &bytes)) {
    flush();
    out += kReplacement;
    ++in;
    --left;
  }
  flush();
  return out;
}

std::wstring AnsiToUtf8Wide(const std::string& text) {
  return AnsiToWide(WideToUtf8(AnsiToWide(text)));
}

}  // namespace brx::util
