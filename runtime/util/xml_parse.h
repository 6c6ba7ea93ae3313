#pragma once

#include <string>

#include "runtime/util/xml_nesting_depth.h"

class TiXmlDocument;

namespace brx::util {

// The one way XML from outside (the network, a download, a page, a file
// other programs can write) is parsed. A text that TinyXML would nest
// deeper than kMaxXmlDepth is refused before TinyXML sees it: TinyXML
// recurses once per level and would overflow the reading thread's stack.
// TinyXML's UTF-8 reader steps over the terminating NUL when a multi-byte
// sequence is cut short at the end, reading past the buffer; a text that is
// not well-formed UTF-8 is therefore read byte by byte (the legacy
// encoding), which never does. A UTF-8 text is read as `encoding` says
// (kDeclared: as its declaration says); kLegacy reads every text byte by
// byte, as the system's own GBK files are.
// False when the text is refused or is not a well-formed document; the
// document is then left empty, failed.
bool ParseUntrustedXml(const std::string& text, TiXmlDocument* doc,
                       XmlTextEncoding encoding = XmlTextEncoding::kDeclared);

}  // namespace brx::util
