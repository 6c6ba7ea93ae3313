// The XML depth guard against TinyXML itself: for any text, the nesting
// the guard counts is never below the nesting TinyXML builds from it, and
// is the same for a text TinyXML reads without error. The first byte picks
// how the text is read (as declared, byte by byte, UTF-8; UTF-8 only for
// well-formed UTF-8, as the guarded entry does) and whether TinyXML
// condenses white space (the client turns that off). The guarded entry
// itself never hands back a document deeper than its limit.
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/util/text_convert.h"
#include "runtime/util/xml_parse.h"
#include "tests/support/xml_tree_depth.h"

namespace {

using brx::util::XmlTextEncoding;

// Deeper than this TinyXML is not asked: its recursion would need more
// stack than the fuzzer's thread has. The guard's count is an upper bound,
// so a text it counts within this is safe to hand over, and one it
// undercounts crashes here, which is a report too.
constexpr size_t kMostForTinyXml = 3000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint8_t mode = data[0];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  XmlTextEncoding encoding = static_cast<XmlTextEncoding>(mode % 3);
  if (encoding != XmlTextEncoding::kLegacy && !brx::util::IsValidUtf8(text))
    encoding = XmlTextEncoding::kLegacy;
  TiXmlBase::SetCondenseWhiteSpace((mode & 0x10) == 0);

  size_t counted = brx::util::XmlNestingDepth(text, SIZE_MAX, encoding);
  if (counted <= kMostForTinyXml) {
    TiXmlEncoding tiny = encoding == XmlTextEncoding::kLegacy ? TIXML_ENCODING_LEGACY
                         : encoding == XmlTextEncoding::kUtf8 ? TIXML_ENCODING_UTF8
                                                              : TIXML_DEFAULT_ENCODING;
    TiXmlDocument doc;
    doc.Parse(text.c_str(), nullptr, tiny);
    size_t built = ombrix::test::XmlTreeDepth(&doc);
    if (built > counted) abort();
    if (!doc.Error() && built != counted) abort();
  }

  TiXmlDocument guarded;
  brx::util::ParseUntrustedXml(text, &guarded, encoding);
  if (ombrix::test::XmlTreeDepth(&guarded) > brx::util::kMaxXmlDepth) abort();
  return 0;
}
