#include "runtime/http/reply_redact.h"

#include <gtest/gtest.h>

#include "runtime/http/url_redact.h"

namespace brx::http {
namespace {

// Each secret in these texts contains "SECRET"; nothing else does.
void ExpectNoSecret(const std::string& text) {
  std::string out = RedactReplySecrets(text);
  EXPECT_EQ(out.find("SECRET"), std::string::npos) << out;
}

TEST(ReplyRedactTest, SecretFieldsOfALoginReplyAreHiddenAndTheRestKept) {
  std::string reply =
      "{\"Status\":0,\"Message\":\"\",\"Data\":{\"SessionID\":\"s-SECRET-1\",\"CipherPassword\" : \"c-SECRET-2\","
      "\"UserAccount\":{\"Account\":\"demo\",\"NickName\":\"Password\"}}}";
  EXPECT_EQ(RedactReplySecrets(reply),
            "{\"Status\":0,\"Message\":\"\",\"Data\":{\"SessionID\":\"***\",\"CipherPassword\" : \"***\","
            "\"UserAccount\":{\"Account\":\"demo\",\"NickName\":\"Password\"}}}");
  // Numbers, other letter cases, and a value with escaped quotes inside.
  EXPECT_EQ(RedactReplySecrets("{\"sessionid\":12345SECRET,\"Ticket\":\"a\\\"SECRET\\\"b\",\"x\":1}"),
            "{\"sessionid\":***,\"Ticket\":\"***\",\"x\":1}");
  EXPECT_EQ(RedactReplySecrets("{\"Password\":\"\",\"PaswordType\":\"simple\"}"),
            "{\"Password\":\"\",\"PaswordType\":\"simple\"}");
}

TEST(ReplyRedactTest, CutOffNestedAndQueryShapedSecretsAreHiddenToo) {
  // Cut off in the middle of the value, or right after the colon.
  ExpectNoSecret("{\"Status\":0,\"Data\":{\"SessionID\":\"s-SECRET-cut");
  EXPECT_EQ(RedactReplySecrets("{\"Data\":{\"CipherPassword\":"), "{\"Data\":{\"CipherPassword\":");
  // Data given as a text holding JSON, once and twice nested.
  ExpectNoSecret("{\"Status\":0,\"Data\":\"{\\\"SessionID\\\":\\\"s-SECRET-1\\\",\\\"CipherPassword\\\":"
                 "\\\"c-SECRET-2\\\",\\\"UserAccount\\\":{}}\"}");
  ExpectNoSecret("{\"Data\":\"{\\\"Inner\\\":\\\"{\\\\\\\"SessionId\\\\\\\":\\\\\\\"SECRET\\\\\\\"}\\\"}\"}");
  ExpectNoSecret("{\"Data\":\"{\\\"SessionID\\\":\\\"s-SECRET-cut");
  // An error page echoing the request.
  EXPECT_EQ(RedactReplySecrets("<p>/ClientInterface.axd?Account=demo&Password=pw-SECRET&SessionId=x-SECRET</p>"),
            "<p>/ClientInterface.axd?Account=demo&Password=***&SessionId=***</p>");
  EXPECT_EQ(RedactReplySecrets("random_ticket=123&zip=gzip"), "random_ticket=123&zip=gzip");
  EXPECT_EQ(RedactReplySecrets(""), "");
}

TEST(ReplyRedactTest, SecretNamesAreCredentialsOnly) {
  for (const char* name : {"Password", "CipherPassword", "Ticket", "SessionId", "SessionID", "NewPassword", "ticket"})
    EXPECT_TRUE(IsSecretParameterName(name)) << name;
  for (const char* name : {"PaswordType", "random_ticket", "SessionIdx", "Account", "RequireCipher", ""})
    EXPECT_FALSE(IsSecretParameterName(name)) << name;
}

}  // namespace
}  // namespace brx::http
