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

}  // namespace
}  // namespace brx::util
