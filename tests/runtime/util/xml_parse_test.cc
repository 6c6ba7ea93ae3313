#include "runtime/util/xml_parse.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>
#include <vector>

#include "runtime/util/key_path.h"
#include "tests/support/xml_tree_depth.h"

namespace brx::util {
namespace {

TEST(ParseUntrustedXmlTest, WellFormedUtf8KeepsItsText) {
  TiXmlDocument doc;
  ASSERT_TRUE(ParseUntrustedXml("<command name=\"ICE\" from_name=\"\xe7\xbf\x8e\"/>", &doc));
  EXPECT_EQ(XmlPathGet("command:from_name", &doc, ""), "\xe7\xbf\x8e");
}

TEST(ParseUntrustedXmlTest, BrokenUtf8IsReadByteByByte) {
  // A three-byte sequence cut short right before the end of the text.
  std::string text =
      "<command name=\"ICE\" from_name=\"x\xea\"><data>\xea\xea</data></command>\xea";
  TiXmlDocument doc;
  EXPECT_TRUE(ParseUntrustedXml(text, &doc));
  EXPECT_EQ(XmlPathGet("command:name", &doc, ""), "ICE");
  EXPECT_EQ(XmlPathGet("command:from_name", &doc, ""), "x\xea");
}

TEST(ParseUntrustedXmlTest, NotADocument) {
  TiXmlDocument doc;
  EXPECT_FALSE(ParseUntrustedXml("<command name=", &doc));
  TiXmlDocument empty;
  EXPECT_FALSE(ParseUntrustedXml("", &empty));
}

TEST(ParseUntrustedXmlTest, DeepNestingIsRefusedBeforeTheParserRecursesIntoIt) {
  auto nested = [](size_t depth, const std::string& open, const std::string& close) {
    std::string text;
    for (size_t i = 0; i < depth; ++i) text += open;
    for (size_t i = 0; i < depth; ++i) text += close;
    return text;
  };
  TiXmlDocument doc;
  EXPECT_FALSE(ParseUntrustedXml(nested(100000, "<a>", "</a>"), &doc));
  EXPECT_TRUE(doc.Error());
  EXPECT_EQ(doc.RootElement(), nullptr);
  // Unclosed, and with a quoted "/>" that does not end the tag.
  EXPECT_FALSE(ParseUntrustedXml(nested(100000, "<a x=\"/>\" y='>'>", ""), &doc));
  EXPECT_EQ(XmlNestingDepth(nested(1000, "<a x=\"/>\">", "</a>")),
            257u);  // counting stops past the limit

  TiXmlDocument at_limit;
  EXPECT_TRUE(ParseUntrustedXml(nested(kMaxXmlDepth, "<a>", "</a>"), &at_limit));
  // Empty elements, comments, CDATA and declarations nest nothing.
  std::string wide = "<?xml version=\"1.0\"?><!DOCTYPE x><Node>";
  for (int i = 0; i < 5000; ++i)
    wide += "<Server/><!-- <a><a> --><![CDATA[<a><a>]]><s a='<b>'></s>";
  wide += "</Node>";
  EXPECT_EQ(XmlNestingDepth(wide), 2u);
  TiXmlDocument many;
  EXPECT_TRUE(ParseUntrustedXml(wide, &many));
}

// Texts where the reader's rules are easy to miss: names from byte 127 up,
// a stray '<' before a comment or CDATA that never ends (one unknown node
// to the reader), quotes in unknown nodes and in declarations, byte-order
// marks that are blank space only in UTF-8, CDATA, entities, end tags.
const std::vector<std::string>& TrickyTexts() {
  static const std::vector<std::string> texts = {
      "<Node><<!--><a><a></a></a></Node>",
      "<Node><<![CDATA[><a><a></a></a></Node>",
      "<Node><\x7f><\x7f x='1'></\x7f></\x7f></Node>",
      "<Node><1 '<!--'><a><a></a></a></Node>",
      "<Node>< \"<!--\"><a><a/></a></Node>",
      "<?xml version=\"><!--\"?><a><a><a/></a></a>",
      "<?xml version='1.0' encoding='UTF-8'?><a \xef\xbb\xbf><b \xef\xbf\xbf/></a>",
      "<?xml version='1.0' encoding='gb2312'?><a \xef\xbb\xbf><b/></a>",
      "\xef\xbb\xbf<a><\xef\xbb\xbf b><c/></b></a>",
      "<?xml encoding='UTF&#45;8'?><a \xef\xbb\xbf><b/></a>",
      "<?xml version='&#xZ;'?><a><a></a></a>",
      "<?xml version=1'?><a><a></a></a>",
      "<a x='>' y=\"/>\"><b><![CDATA[<c><c>]]></b></a>",
      "<a>text &lt;b&gt; &#x3c;c&#62;<b>more<!-- <c> --></b ></a>",
      "<a/>text<b><b></b></b>",
      "<a><b></c></b></a><d><d></d></d>",
      "<a><?xml x='<b>'?><b/></a>",
      "<a><!DOCTYPE <b>><b/></a>",
      "<a><b/ ><c></c></a>",
      "<a b=c/><d><d/></d>",
      "<a\t b = \"1\"\n><b\r/></a>",
      "<a><b x=\"1\" x=\"2\"><c/></b></a>",
      "<a><b>\xc3<c></c></b></a>",
      "<a><b x='\xe4'><c/></b></a>",
      "<a></a ><b><b/></b>",
      "<_a><_b><:c/></_b></_a>",
  };
  return texts;
}

TEST(XmlNestingDepthTest, NeverCountsBelowWhatTinyXmlBuildsAndMatchesItOnSoundTexts) {
  for (bool condense : {true, false}) {
    TiXmlBase::SetCondenseWhiteSpace(condense);
    for (const std::string& text : TrickyTexts()) {
      for (auto [encoding, tiny] : {std::pair{XmlTextEncoding::kDeclared, TIXML_DEFAULT_ENCODING},
                                    std::pair{XmlTextEncoding::kLegacy, TIXML_ENCODING_LEGACY},
                                    std::pair{XmlTextEncoding::kUtf8, TIXML_ENCODING_UTF8}}) {
        TiXmlDocument doc;
        doc.Parse(text.c_str(), nullptr, tiny);
        size_t built = ombrix::test::XmlTreeDepth(&doc);
        size_t counted = XmlNestingDepth(text, 1000, encoding);
        EXPECT_GE(counted, built) << text << " as " << static_cast<int>(encoding) << ", condense "
                                  << condense;
        if (!doc.Error()) {
          EXPECT_EQ(counted, built)
              << text << " as " << static_cast<int>(encoding) << ", condense " << condense;
        }
      }
    }
  }
  TiXmlBase::SetCondenseWhiteSpace(true);
}

TEST(ParseUntrustedXmlTest, TextsThatOnlyTinyXmlSeesAsDeepAreRefused) {
  auto repeat = [](const std::string& part, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += part;
    return out;
  };
  const std::string deep = repeat("<a>", 100000);
  for (const std::string& text :
       {"<Node><<!-->" + deep, "<Node><<![CDATA[>" + deep, "<Node>" + repeat("<\x7f>", 100000),
        "<Node><1 '<!--'>" + deep, "<?xml version=\"><!--\"?>" + deep}) {
    EXPECT_GT(XmlNestingDepth(text), kMaxXmlDepth);
    for (auto encoding : {XmlTextEncoding::kDeclared, XmlTextEncoding::kLegacy}) {
      TiXmlDocument doc;
      EXPECT_FALSE(ParseUntrustedXml(text, &doc, encoding));
      EXPECT_TRUE(doc.Error());
      EXPECT_EQ(doc.RootElement(), nullptr);
    }
  }
}

}  // namespace
}  // namespace brx::util
