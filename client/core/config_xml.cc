#include "client/core/config_xml.h"

#include <tinyxml.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cwctype>

#include "runtime/util/file_util.h"
#include "runtime/util/key_path.h"
#include "runtime/util/text_convert.h"
#include "runtime/util/xml_parse.h"

namespace config_xml {

using brx::util::AnsiToWide;
using brx::util::WideToAnsi;

std::wstring Get(const TiXmlNode* doc, const std::wstring& key, const std::wstring& default_value) {
  return AnsiToWide(brx::util::XmlPathGet(WideToAnsi(key), doc, WideToAnsi(default_value)));
}

void Set(TiXmlNode* doc, const std::wstring& key, const std::wstring& value) {
  brx::util::XmlPathSet(WideToAnsi(key), WideToAnsi(value), doc);
}

namespace {

// The number's characters after leading blanks, as narrow text.
std::string NumberText(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && std::iswspace(text[i])) ++i;
  std::string out;
  for (; i < text.size() && text[i] < 0x80; ++i) out += static_cast<char>(text[i]);
  if (!out.empty() && out[0] == '+') out.erase(0, 1);
  return out;
}

}  // namespace

int ParseInt(const std::wstring& text) {
  std::string s = NumberText(text);
  long long value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec == std::errc::result_out_of_range) return s[0] == '-' ? INT_MIN : INT_MAX;
  if (ec != std::errc()) return 0;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

double ParseDouble(const std::wstring& text) {
  std::string s = NumberText(text);
  double value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() ? value : 0;
}

std::wstring FormatOneDecimal(double value) {
  if (!std::isfinite(value)) value = 0;
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 1);
  if (ec != std::errc()) return L"0.0";
  return std::wstring(buf, end);
}

bool ParseLegacy(TiXmlDocument* doc, const std::string& text) {
  doc->ClearError();
  // Any program of the user can write these files; one nested deep enough
  // to overflow the parser's stack would end every start.
  return brx::util::ParseUntrustedXml(text, doc, brx::util::XmlTextEncoding::kLegacy);
}

void EnsureDeclaration(TiXmlDocument* doc) {
  TiXmlNode* first = doc->FirstChild();
  if (!first) return;
  TiXmlDeclaration declaration("1.0", "gb2312", "yes");
  if (first->ToDeclaration())
    doc->ReplaceChild(first, declaration);
  else
    doc->InsertBeforeChild(first, declaration);
}

bool Save(const TiXmlDocument& doc, const std::wstring& path) {
  TiXmlPrinter printer;
  doc.Accept(&printer);
  return brx::util::WriteWholeFileAtomic(path, printer.Str());
}

}  // namespace config_xml
