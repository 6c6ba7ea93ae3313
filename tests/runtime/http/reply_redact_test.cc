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
      "{\"Status\":0,\"Message\":\"\",\"Data\":{\"SessionID\":\"s-SECRET-1\",\"CipherPassword\" : "
      "\"c-SECRET-2\","
      "\"UserAccount\":{\"Account\":\"demo\",\"NickName\":\"Password\"}}}";
  EXPECT_EQ(
      RedactReplySecrets(reply),
      "{\"Status\":0,\"Message\":\"\",\"Data\":{\"SessionID\":\"***\",\"CipherPassword\" : \"***\","
      "\"UserAccount\":{\"Account\":\"demo\",\"NickName\":\"Password\"}}}");
  // Numbers, other letter cases, and a value with escaped quotes inside.
  EXPECT_EQ(
      RedactReplySecrets("{\"sessionid\":12345SECRET,\"Ticket\":\"a\\\"SECRET\\\"b\",\"x\":1}"),
      "{\"sessionid\":***,\"Ticket\":\"***\",\"x\":1}");
  EXPECT_EQ(RedactReplySecrets("{\"Password\":\"\",\"PaswordType\":\"simple\"}"),
            "{\"Password\":\"\",\"PaswordType\":\"simple\"}");
}

TEST(ReplyRedactTest, CutOffNestedAndQueryShapedSecretsAreHiddenToo) {
  // Cut off in the middle of the value, or right after the colon.
  ExpectNoSecret("{\"Status\":0,\"Data\":{\"SessionID\":\"s-SECRET-cut");
  EXPECT_EQ(RedactReplySecrets("{\"Data\":{\"CipherPassword\":"), "{\"Data\":{\"CipherPassword\":");
  // Data given as a text holding JSON, once and twice nested.
  ExpectNoSecret(
      "{\"Status\":0,\"Data\":\"{\\\"SessionID\\\":\\\"s-SECRET-1\\\",\\\"CipherPassword\\\":"
      "\\\"c-SECRET-2\\\",\\\"UserAccount\\\":{}}\"}");
  ExpectNoSecret(
      "{\"Data\":\"{\\\"Inner\\\":\\\"{\\\\\\\"SessionId\\\\\\\":\\\\\\\"SECRET\\\\\\\"}\\\"}\"}");
  ExpectNoSecret("{\"Data\":\"{\\\"SessionID\\\":\\\"s-SECRET-cut");
  // An error page echoing the request.
  EXPECT_EQ(RedactReplySecrets(
                "<p>/ClientInterface.axd?Account=demo&Password=pw-SECRET&SessionId=x-SECRET</p>"),
            "<p>/ClientInterface.axd?Account=demo&Password=***&SessionId=***</p>");
  EXPECT_EQ(RedactReplySecrets("random_ticket=123&zip=gzip"), "random_ticket=123&zip=gzip");
  EXPECT_EQ(RedactReplySecrets(""), "");
}

TEST(ReplyRedactTest, XmlElementsAndAttributesInEveryDisguiseAreHidden) {
  EXPECT_EQ(
      RedactReplySecrets(
          "<Result><Status>0</Status><Data><SessionID>s-SECRET-1</SessionID>"
          "<Account>demo</Account><CipherPassword>c-SECRET-2</CipherPassword></Data></Result>"),
      "<Result><Status>0</Status><Data><SessionID>***</SessionID>"
      "<Account>demo</Account><CipherPassword>***</CipherPassword></Data></Result>");
  EXPECT_EQ(RedactReplySecrets(
                "<User SessionID=\"s-SECRET\" Account='demo' CipherPassword = 'c-SECRET'/>"),
            "<User SessionID=\"***\" Account='demo' CipherPassword = '***'/>");
  // A namespace prefix, attributes on the element, a cut-off value.
  ExpectNoSecret("<a:SessionID xmlns:a=\"urn:x\">s-SECRET</a:SessionID><b:Ticket>t-SECRET");
  // As entities in an HTML page, and escaped inside a JSON string.
  ExpectNoSecret("<pre>&lt;SessionID&gt;s-SECRET&lt;/SessionID&gt;&lt;Password&gt;p-SECRET</pre>");
  ExpectNoSecret(
      "{\"Data\":\"\\u003cCipherPassword\\u003ec-SECRET\\u003c/CipherPassword\\u003e\"}");
  ExpectNoSecret("{\"Data\":\"<User SessionID=\\\"s-SECRET\\\"/>\"}");
  EXPECT_EQ(
      RedactReplySecrets("<SessionID/><Password></Password><PaswordType>simple</PaswordType>"),
      "<SessionID/><Password></Password><PaswordType>simple</PaswordType>");
}

TEST(ReplyRedactTest, AnUnreadableReplyIsLoggedCutShortAndRedacted) {
  std::string big = "<SessionID>s-SECRET-" + std::string(5000, 'x') + "</SessionID>";
  std::string logged = ReplyTextForLog(big);
  EXPECT_EQ(logged.find("SECRET"), std::string::npos);
  EXPECT_LE(logged.size(), kLoggedReplyBytes + 32);
  EXPECT_NE(logged.find("(" + std::to_string(big.size()) + " bytes)"), std::string::npos) << logged;
  // Never cut inside a character.
  std::string chinese;
  for (int i = 0; i < 600; ++i) chinese += "\xe7\xbf\x8e";
  logged = ReplyTextForLog(chinese, 1000);
  EXPECT_EQ(logged.substr(0, 999), chinese.substr(0, 999));
  EXPECT_EQ(logged[999], '.');
  EXPECT_EQ(ReplyTextForLog("short <Ticket>t-1</Ticket>"), "short <Ticket>***</Ticket>");
}

TEST(ReplyRedactTest, SecretNamesAreCredentialsOnly) {
  for (const char* name :
       {"Password", "CipherPassword", "Ticket", "SessionId", "SessionID", "NewPassword", "ticket"})
    EXPECT_TRUE(IsSecretParameterName(name)) << name;
  for (const char* name :
       {"PaswordType", "random_ticket", "SessionIdx", "Account", "RequireCipher", ""})
    EXPECT_FALSE(IsSecretParameterName(name)) << name;
}

}  // namespace
}  // namespace brx::http
