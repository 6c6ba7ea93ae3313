#pragma once

#include <string>

class TiXmlDocument;

namespace brx::util {

// Parses XML that came from outside (the network, a download). TinyXML's
// UTF-8 reader steps over the terminating NUL when a multi-byte sequence
// is cut short at the end, reading past the buffer; a text that is not
// well-formed UTF-8 is therefore read byte by byte (the legacy encoding),
// which never does. A UTF-8 text keeps its declared encoding. False when
// the text is not a well-formed document.
bool ParseUntrustedXml(const std::string& text, TiXmlDocument* doc);

}  // namespace brx::util
