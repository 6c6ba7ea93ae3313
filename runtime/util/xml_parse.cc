#include "runtime/util/xml_parse.h"

#include <tinyxml.h>

#include "runtime/util/text_convert.h"

namespace brx::util {

namespace {

constexpr size_t npos = std::string::npos;

bool StartsWith(const std::string& text, size_t pos, const char* with) {
  return text.compare(pos, std::char_traits<char>::length(with), with) == 0;
}

// Past the first `end` at or after `from`; the text's end when there is none.
size_t Past(const std::string& text, size_t from, const char* end) {
  size_t at = text.find(end, from);
  return at == npos ? text.size() : at + std::char_traits<char>::length(end);
}

// Where TinyXML starts an element: a letter, '_' or any byte above ASCII.
bool StartsElementName(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 0x80 || u == '_' || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

}  // namespace

size_t XmlNestingDepth(const std::string& text, size_t stop_above) {
  size_t depth = 0;
  size_t deepest = 0;
  size_t i = 0;
  while ((i = text.find('<', i)) != npos && deepest <= stop_above) {
    if (StartsWith(text, i, "<!--")) {
      i = Past(text, i + 4, "-->");
    } else if (StartsWith(text, i, "<![CDATA[")) {
      i = Past(text, i + 9, "]]>");
    } else if (StartsWith(text, i, "<!") || StartsWith(text, i, "<?")) {
      i = Past(text, i + 2, ">");
    } else if (StartsWith(text, i, "</")) {
      if (depth > 0) --depth;
      i = Past(text, i + 2, ">");
    } else if (i + 1 < text.size() && StartsElementName(text[i + 1])) {
      // The tag runs to the first '>' outside quotes; "/>" ends it empty.
      size_t p = i + 1;
      bool empty = false;
      while (p < text.size() && text[p] != '>') {
        if (text[p] == '"' || text[p] == '\'') {
          size_t quote = text.find(text[p], p + 1);
          p = quote == npos ? text.size() : quote + 1;
        } else {
          ++p;
        }
      }
      if (p < text.size()) empty = text[p - 1] == '/';
      if (!empty && ++depth > deepest) deepest = depth;
      i = p;
    } else {
      ++i;
    }
  }
  return deepest;
}

bool ParseUntrustedXml(const std::string& text, TiXmlDocument* doc) {
  if (XmlNestingDepth(text) > kMaxXmlDepth) {
    // Left as a document that failed to parse (empty), for callers that
    // look at the document rather than the result.
    doc->Clear();
    doc->Parse("", nullptr, TIXML_ENCODING_LEGACY);
    return false;
  }
  TiXmlEncoding encoding = IsValidUtf8(text) ? TIXML_DEFAULT_ENCODING : TIXML_ENCODING_LEGACY;
  doc->Parse(text.c_str(), nullptr, encoding);
  return !doc->Error();
}

}  // namespace brx::util
