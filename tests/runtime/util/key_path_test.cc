#include "runtime/util/key_path.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <tinyxml.h>
#include <zlib.h>

#include "runtime/util/gzip.h"
#include "runtime/util/module_path.h"

namespace brx::util {
namespace {

TiXmlDocument Parse(const char* xml) {
  TiXmlDocument doc;
  doc.Parse(xml);
  return doc;
}

TEST(KeyPathTest, Split) {
  KeyPath k = SplitKeyPath("root.base.store:type");
  EXPECT_EQ(k.elements, (std::vector<std::string>{"root", "base", "store"}));
  EXPECT_EQ(k.attribute, "type");
  k = SplitKeyPath("");
  EXPECT_EQ(k.elements, (std::vector<std::string>{""}));
}

TEST(XmlPathTest, GetGivesDefaultForMissingOrEmpty) {
  TiXmlDocument doc = Parse(
      "<root><user><account></account><name>bob</name></user><base><store "
      "type=\"1\"/></base></root>");
  EXPECT_EQ(XmlPathGet("root.user.account", &doc, "dflt"), "dflt");
  EXPECT_EQ(XmlPathGet("root.user.name", &doc, "dflt"), "bob");
  EXPECT_EQ(XmlPathGet("root.nouser.account", &doc, "dflt"), "dflt");
  EXPECT_EQ(XmlPathGet("root.base.store:type", &doc, "0"), "1");
  EXPECT_EQ(XmlPathGet("root.base.store:missing", &doc, "0"), "0");
  EXPECT_EQ(XmlPathGet("root.user", &doc, "dflt"), "dflt");  // first child is an element
  EXPECT_EQ(XmlPathGet("root.user.name", nullptr, "dflt"), "dflt");
}

TEST(XmlPathTest, SetCreatesPathAndChangesOnlyTheTarget) {
  TiXmlDocument doc = Parse("<root/>");
  XmlPathSet("root.a.b:c", "1", &doc);
  EXPECT_EQ(XmlPathGet("root.a.b:c", &doc, ""), "1");
  XmlPathSet("root.a.b:c", "2", &doc);
  EXPECT_EQ(XmlPathGet("root.a.b:c", &doc, ""), "2");
  TiXmlPrinter p;
  p.SetStreamPrinting();
  doc.Accept(&p);
  EXPECT_STREQ(p.CStr(), "<root><a><b c=\"2\" /></a></root>");
  XmlPathSet("root.t", nullptr, &doc);
  EXPECT_EQ(XmlPathGet("root.t", &doc, "dflt"), "");  // an empty text, not a missing one
  XmlPathSet("root.t", "text", &doc);
  EXPECT_EQ(XmlPathGet("root.t", &doc, "dflt"), "text");
}

TEST(XmlPathTest, SetOnElementWithChildElementKeepsTheChild) {
  TiXmlDocument doc = Parse("<root><a><b>x</b></a></root>");
  XmlPathSet("root.a", "v", &doc);
  EXPECT_EQ(XmlPathGet("root.a", &doc, ""), "v");
  EXPECT_EQ(XmlPathGet("root.a.b", &doc, ""), "x");
}

TEST(JsonPathTest, WalksObjectsOnly) {
  Json::Value root;
  Json::Reader().parse(R"({"data":{"list":[1,2],"n":5,"s":"text"},"str":"abc"})", root);
  std::string out;
  EXPECT_TRUE(JsonPathGet("data.s", &out, root, "d"));
  EXPECT_EQ(out, "text");
  EXPECT_TRUE(JsonPathGet("data.n", &out, root, "d"));
  EXPECT_EQ(out, "5\n");
  EXPECT_FALSE(JsonPathGet("str.list", &out, root, "d"));
  EXPECT_EQ(out, "d");
  EXPECT_FALSE(JsonPathGet("data.missing", &out, root, "d"));
  EXPECT_EQ(out, "d");
  EXPECT_TRUE(JsonPathGet("data.list", &out, root, "d"));
  EXPECT_NE(out.find('['), std::string::npos);
}

TEST(JsonPathTest, NonObjectRootGivesDefaultWithoutThrowing) {
  for (const char* text : {"[]", "\"bare\"", "42", "null"}) {
    Json::Value root;
    Json::Reader().parse(text, root);
    std::string out;
    EXPECT_FALSE(JsonPathGet("Status", &out, root, "d")) << text;
    EXPECT_EQ(out, "d");
  }
}

TEST(JsonPathTest, SetStoresAString) {
  Json::Value root;
  JsonPathSet("type", &root, "3");
  EXPECT_TRUE(root["type"].isString());
  EXPECT_EQ(root["type"].asString(), "3");
}

TEST(InflateTest, GzipAndZlibGiveTheSameOutput) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data += "line " + std::to_string(i) + "\n";
  std::string gz, out1, out2;
  ASSERT_TRUE(GzipCompress(data, &gz));
  EXPECT_TRUE(InflateGzipBody(gz.data(), gz.size(), &out1));
  EXPECT_EQ(out1, data);
  // The same data as a zlib stream.
  std::string z;
  z.resize(compressBound(data.size()));
  uLongf zlen = z.size();
  ASSERT_EQ(compress(reinterpret_cast<Bytef*>(z.data()), &zlen,
                     reinterpret_cast<const Bytef*>(data.data()), data.size()),
            Z_OK);
  EXPECT_TRUE(InflateGzipBody(z.data(), zlen, &out2));
  EXPECT_EQ(out2, data);
}

TEST(InflateTest, HighlyCompressibleBodyComesOutWhole) {
  std::string data(5 * 1024 * 1024, 'a');
  std::string gz, out;
  ASSERT_TRUE(GzipCompress(data, &gz));
  ASSERT_LT(gz.size(), 16384u);  // one input chunk expands far past one output buffer
  EXPECT_TRUE(InflateGzipBody(gz.data(), gz.size(), &out));
  EXPECT_EQ(out.size(), data.size());
}

TEST(InflateTest, InflationStopsOnePastItsBoundAndSaysSo) {
  std::string data(3 * 16384 + 5, 'z');
  std::string gz, out;
  ASSERT_TRUE(GzipCompress(data, &gz));
  EXPECT_TRUE(InflateGzipBodyUpTo(gz.data(), gz.size(), data.size(), &out));
  EXPECT_EQ(out, data);
  EXPECT_FALSE(InflateGzipBodyUpTo(gz.data(), gz.size(), data.size() - 1, &out));
  EXPECT_EQ(out, data);  // the bound's worth and one byte more, no further
  EXPECT_FALSE(InflateGzipBodyUpTo(gz.data(), gz.size(), 100, &out));
  EXPECT_EQ(out.size(), 101u);
}

TEST(InflateTest, PlainTextFailsAndShortBodyKeepsWhatCame) {
  std::string out = "junk";
  EXPECT_FALSE(InflateGzipBody("plain text", 10, &out));
  EXPECT_TRUE(out.empty());
  std::string data(100000, 'b');
  for (size_t i = 0; i < data.size(); i += 7) data[i] = static_cast<char>('a' + i % 26);
  std::string gz;
  ASSERT_TRUE(GzipCompress(data, &gz));
  EXPECT_TRUE(InflateGzipBody(gz.data(), gz.size() / 2, &out));
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(out, data.substr(0, out.size()));
}

TEST(GuidTest, ThirtyTwoLowercaseHexDigitsAndDistinct) {
  std::string a, b;
  NewGuidString(&a);
  NewGuidString(&b);
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace brx::util
