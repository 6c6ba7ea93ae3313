#include "runtime/util/xml_parse.h"

#include <tinyxml.h>

#include "runtime/util/text_convert.h"

namespace brx::util {

bool ParseUntrustedXml(const std::string& text, TiXmlDocument* doc) {
  TiXmlEncoding encoding = IsValidUtf8(text) ? TIXML_DEFAULT_ENCODING : TIXML_ENCODING_LEGACY;
  doc->Parse(text.c_str(), nullptr, encoding);
  return !doc->Error();
}

}  // namespace brx::util
