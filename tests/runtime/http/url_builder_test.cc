#include "runtime/http/url_builder.h"

#include <gtest/gtest.h>

#include "runtime/http/url_redact.h"

namespace brx::http {
namespace {

TEST(UrlBuilderTest, ParametersComeOutInKeyOrderWithTheTicketAmongThem) {
  UrlBuilder b;
  b.base = L"http://h:1";
  b.path = L"ClientInterface.axd";
  b.SetParam(L"zip", L"gzip");
  b.SetParam(L"b", L"2");
  b.SetParam(L"a", L"1");
  b.SetParam(L"Zeta", L"z");
  b.SetParam(L"a", L"3");  // replaces
  std::wstring url = b.GetUrl(true);
  std::wstring ticket = b.params().at(L"random_ticket");
  ASSERT_FALSE(ticket.empty());
  for (wchar_t c : ticket) EXPECT_TRUE(iswdigit(c));
  EXPECT_EQ(
      url, L"http://h:1/ClientInterface.axd?Zeta=z&a=3&b=2&random_ticket=" + ticket + L"&zip=gzip");
  EXPECT_EQ(b.GetUrl(false), url);  // the ticket stays in the builder
}

TEST(UrlBuilderTest, ValuesAreUtf8PercentEncodedAndKeysAreNot) {
  UrlBuilder b;
  b.base = L"http://h";
  b.path = L"p";
  b.SetParam(L"k-1", L"a b/\u4e2d|,-._:~");
  EXPECT_EQ(b.GetUrl(false), L"http://h/p?k-1=a+b%2F%E4%B8%AD%7C%2C%2D%2E%5F%3A%7E");
  EXPECT_EQ(EncodeUrlValue(L"AZaz09"), "AZaz09");
  EXPECT_EQ(EncodeUrlValue(L""), "");
}

TEST(UrlBuilderTest, PathSlashRulesEmptyPathAndRawMode) {
  UrlBuilder b;
  b.base = L"http://h";
  b.SetParam(L"a", L"1");
  EXPECT_EQ(b.GetUrl(true), L"http://h");  // no path: bare base, no parameters
  b.path = L"/x";
  EXPECT_EQ(b.GetUrl(false), L"http://h/x?a=1");
  b.path = L"\\x";
  EXPECT_EQ(b.GetUrl(false), L"http://h\\x?a=1");
  b.path = L"x";
  EXPECT_EQ(b.GetUrl(false), L"http://h/x?a=1");
  b.use_raw_url = true;
  b.raw_url = L"http://other/img 1.jpg";
  EXPECT_EQ(b.GetUrl(true), L"http://other/img 1.jpg");
}

TEST(UrlRedactTest, SecretValuesAreHiddenAndEverythingElseKept) {
  EXPECT_EQ(RedactUrlSecrets(
                std::string("http://h/p?Account=al&Password=p%40ss&PaswordType=simple&Ticket=t1&"
                            "SessionId=s1&SessionID=s2&CipherPassword=c&SessionIdx=keep#frag")),
            "http://h/"
            "p?Account=al&Password=***&PaswordType=simple&Ticket=***&SessionId=***&SessionID=***&"
            "CipherPassword=***&SessionIdx=keep#frag");
  EXPECT_EQ(RedactUrlSecrets(std::string("http://h/p")), "http://h/p");
  EXPECT_EQ(RedactUrlSecrets(std::string("http://h/p?Password")), "http://h/p?Password");
  EXPECT_EQ(RedactUrlSecrets(std::wstring(L"http://h/?Password=\u4e2d&a=\u4e2d")),
            L"http://h/?Password=***&a=\u4e2d");
}

}  // namespace
}  // namespace brx::http
