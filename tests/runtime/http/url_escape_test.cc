#include "runtime/http/url_escape.h"

#include <gtest/gtest.h>

namespace brx::http {
namespace {

TEST(UrlEscapeTest, ValidAddressesStayByteForByteAndTheRestIsEscaped) {
  for (const char* valid :
       {"http://127.0.0.1:18080/head/1001_big.jpg", "http://h/p?a=1&b=x%2Fy+z#frag",
        "https://h:1/%E4%B8%AD.jpg", "http://h", "http://h/a-b_c.~!$&'()*+,;=:@/?"})
    EXPECT_EQ(EscapeUrlForTransfer(valid), valid);
  EXPECT_EQ(EscapeUrlForTransfer("http://h/my friend.jpg"), "http://h/my%20friend.jpg");
  EXPECT_EQ(EscapeUrlForTransfer("http://h/\xe4\xb8\xad.jpg?n=a b"),
            "http://h/%E4%B8%AD.jpg?n=a%20b");
  EXPECT_EQ(EscapeUrlForTransfer("http://h/a|b{c}\"<>\\^`\t"),
            "http://h/a%7Cb%7Bc%7D%22%3C%3E%5C%5E%60%09");
  EXPECT_EQ(EscapeUrlForTransfer("http://h/100%.jpg?x=%4g&y=%41"),
            "http://h/100%25.jpg?x=%254g&y=%41");
}

}  // namespace
}  // namespace brx::http
