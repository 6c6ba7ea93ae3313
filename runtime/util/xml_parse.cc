#include "runtime/util/xml_parse.h"

#include <tinyxml.h>

#include "runtime/util/text_convert.h"

namespace brx::util {

namespace {

TiXmlEncoding TinyXmlEncoding(XmlTextEncoding encoding) {
  switch (encoding) {
    case XmlTextEncoding::kLegacy:
      return TIXML_ENCODING_LEGACY;
    case XmlTextEncoding::kUtf8:
      return TIXML_ENCODING_UTF8;
    case XmlTextEncoding::kDeclared:
      break;
  }
  return TIXML_DEFAULT_ENCODING;
}

}  // namespace

bool ParseUntrustedXml(const std::string& text, TiXmlDocument* doc, XmlTextEncoding encoding) {
  if (encoding != XmlTextEncoding::kLegacy && !IsValidUtf8(text))
    encoding = XmlTextEncoding::kLegacy;
  doc->Clear();
  if (XmlNestingDepth(text, kMaxXmlDepth, encoding) > kMaxXmlDepth) {
    // Left as a document that failed to parse (empty), for callers that
    // look at the document rather than the result.
    doc->Parse("", nullptr, TIXML_ENCODING_LEGACY);
    return false;
  }
  doc->Parse(text.c_str(), nullptr, TinyXmlEncoding(encoding));
  return !doc->Error();
}

}  // namespace brx::util
