#pragma once

#include <cstddef>
#include <string>

namespace brx::util {

// Deepest element nesting an XML text from outside may have. TinyXML's
// reader recurses once per level (and so do its destructor and printer),
// so a deep enough text overflows the stack of whichever thread reads it.
inline constexpr size_t kMaxXmlDepth = 256;

// How TinyXML is told to read a text, which changes what it takes for
// blank space and how far it steps over a character.
enum class XmlTextEncoding {
  kDeclared,  // as the text says: a byte-order mark or the declaration's encoding
  kLegacy,    // byte by byte
  kUtf8,
};

// The deepest element nesting TinyXML builds (and recurses into) when it
// parses `text` with `encoding` and its current white-space setting, found
// without building anything and in constant stack. The scan walks the text
// as TinyXML's reader does: it tells elements, comments, CDATA, declarations
// and unknown "<...>" nodes apart by the reader's rules (a name starts with
// a letter, '_' or any byte from 127 up), steps over quoted attribute
// values, characters and blank space as the reader does, and stops where
// the reader stops. Where the reader gives up with an error the scan goes
// on instead, which can only count more. So the result is never below the
// depth the reader reaches, and equals it for a text the reader takes
// without error. Scanning stops once the count passes `stop_above`.
size_t XmlNestingDepth(const std::string& text, size_t stop_above = kMaxXmlDepth,
                       XmlTextEncoding encoding = XmlTextEncoding::kDeclared);

}  // namespace brx::util
