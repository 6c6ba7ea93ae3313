#include "runtime/util/text_convert.h"

#include <gtest/gtest.h>

namespace brx::util {
namespace {

TEST(TextConvertTest, Utf8RoundTripWithCjkAndAstral) {
  std::wstring text = L"a\u00e9\u7fce\u5c9a\U0001F600z";
  std::string utf8 = WideToUtf8(text);
  EXPECT_EQ(utf8, "a\xc3\xa9\xe7\xbf\x8e\xe5\xb2\x9a\xf0\x9f\x98\x80z");
  EXPECT_EQ(Utf8ToWide(utf8), text);
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(WideToUtf8(L""), "");
}

TEST(TextConvertTest, InvalidUtf8BecomesReplacement) {
  EXPECT_EQ(Utf8ToWide("a\xff"
                       "b"),
            L"a\ufffdb");
  EXPECT_EQ(Utf8ToWide("a\xe7\xbf"), L"a\ufffd");    // cut short
  EXPECT_EQ(Utf8ToWide("\xc0\xaf"), L"\ufffd");      // overlong
  EXPECT_EQ(Utf8ToWide("\xed\xa0\x80"), L"\ufffd");  // encoded surrogate
}

TEST(TextConvertTest, Utf16SurrogatePairs) {
  std::wstring text = L"x\U0001F600\u4e2d";
  std::u16string u16 = WideToUtf16(text);
  ASSERT_EQ(u16.size(), 4u);
  EXPECT_EQ(u16[1], 0xD83D);
  EXPECT_EQ(u16[2], 0xDE00);
  EXPECT_EQ(Utf16ToWide(u16), text);
  // A lone surrogate is not text.
  EXPECT_EQ(Utf16ToWide(std::u16string{u'a', char16_t(0xD800)}), L"a\ufffd");
  EXPECT_EQ(Utf16ToWide(std::u16string{char16_t(0xDC00), u'b'}), L"\ufffdb");
}

TEST(TextConvertTest, AnsiIsGbk) {
  // "翎岚" in GBK.
  std::string gbk = WideToAnsi(L"\u7fce\u5c9a");
  EXPECT_EQ(gbk, "\xf4\xe1\xe1\xb0");
  EXPECT_EQ(AnsiToWide(gbk), L"\u7fce\u5c9a");
  EXPECT_EQ(WideToAnsi(L"plain"), "plain");
}

TEST(TextConvertTest, AnsiKeepsWhatGbkLacks) {
  // GBK has no such characters; they survive the round trip all the same.
  std::wstring beyond = L"/home/j\u00f6rg/\U0001F600";
  EXPECT_EQ(AnsiToWide(WideToAnsi(beyond)), beyond);
  EXPECT_EQ(AnsiToWide("a\x81"), L"a\ufffd");  // lead byte without trail
}

TEST(TextConvertTest, AnsiToUtf8WideOnDottedAddressIsPlainWidening) {
  EXPECT_EQ(AnsiToUtf8Wide("192.168.1.20"), L"192.168.1.20");
}

}  // namespace
}  // namespace brx::util

namespace brx::util {
namespace {

TEST(TextConvertTest, Utf8Validity) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain <xml/>"));
  EXPECT_TRUE(IsValidUtf8("\xe7\xbf\x8e\xf0\x9f\x98\x80"));
  EXPECT_TRUE(IsValidUtf8("\xef\xbf\xbd"));  // a replacement character of its own is text
  EXPECT_FALSE(IsValidUtf8("ab\xea"));       // cut short at the end
  EXPECT_FALSE(
      IsValidUtf8("\xea\xea"
                  "a"));
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));
  EXPECT_FALSE(IsValidUtf8("\xf4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xef\xbf\xbd\xff"));
}

}  // namespace
}  // namespace brx::util
