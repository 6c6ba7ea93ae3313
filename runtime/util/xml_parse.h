#pragma once

#include <cstddef>
#include <string>

class TiXmlDocument;

namespace brx::util {

// Deepest element nesting an XML text from outside may have. TinyXML's
// reader recurses once per level, so a deep enough text overflows the
// stack of whichever thread reads it.
inline constexpr size_t kMaxXmlDepth = 256;

// An upper bound of the element nesting TinyXML would build from `text`,
// found without building anything: opening tags (outside comments, CDATA,
// declarations and quoted attribute values) count one level in, closing
// tags one level out, empty elements nothing. Scanning stops once the
// count passes `stop_above`.
size_t XmlNestingDepth(const std::string& text, size_t stop_above = kMaxXmlDepth);

// Parses XML that came from outside (the network, a download). A text
// nested deeper than kMaxXmlDepth is refused before TinyXML sees it.
// TinyXML's UTF-8 reader steps over the terminating NUL when a multi-byte
// sequence is cut short at the end, reading past the buffer; a text that
// is not well-formed UTF-8 is therefore read byte by byte (the legacy
// encoding), which never does. A UTF-8 text keeps its declared encoding.
// False when the text is refused or is not a well-formed document.
bool ParseUntrustedXml(const std::string& text, TiXmlDocument* doc);

}  // namespace brx::util
