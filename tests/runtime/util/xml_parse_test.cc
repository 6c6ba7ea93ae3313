#include "runtime/util/xml_parse.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "runtime/util/key_path.h"

namespace brx::util {
namespace {

TEST(ParseUntrustedXmlTest, WellFormedUtf8KeepsItsText) {
  TiXmlDocument doc;
  ASSERT_TRUE(ParseUntrustedXml("<command name=\"ICE\" from_name=\"\xe7\xbf\x8e\"/>", &doc));
  EXPECT_EQ(XmlPathGet("command:from_name", &doc, ""), "\xe7\xbf\x8e");
}

TEST(ParseUntrustedXmlTest, BrokenUtf8IsReadByteByByte) {
  // A three-byte sequence cut short right before the end of the text.
  std::string text = "<command name=\"ICE\" from_name=\"x\xea\"><data>\xea\xea</data></command>\xea";
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
  EXPECT_EQ(XmlNestingDepth(nested(1000, "<a x=\"/>\">", "</a>")), 257u);  // counting stops past the limit

  TiXmlDocument at_limit;
  EXPECT_TRUE(ParseUntrustedXml(nested(kMaxXmlDepth, "<a>", "</a>"), &at_limit));
  // Empty elements, comments, CDATA and declarations nest nothing.
  std::string wide = "<?xml version=\"1.0\"?><!DOCTYPE x><Node>";
  for (int i = 0; i < 5000; ++i) wide += "<Server/><!-- <a><a> --><![CDATA[<a><a>]]><s a='<b>'></s>";
  wide += "</Node>";
  EXPECT_EQ(XmlNestingDepth(wide), 2u);
  TiXmlDocument many;
  EXPECT_TRUE(ParseUntrustedXml(wide, &many));
}

}  // namespace
}  // namespace brx::util
