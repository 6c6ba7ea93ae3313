#include "client/video/signalling/ice_datagrams.h"

#include <gtest/gtest.h>

#include "client/video/signalling/ice_datagram_router.h"

namespace ice {
namespace {

std::string Doc(const std::string& body) { return std::string(kXmlDeclaration) + body; }

TEST(IceDatagramsTest, EveryTemplateIsByteExactForPlainValues) {
  struct Case {
    std::string built;
    std::string expected;
  } cases[] = {
      {IceLoginDatagram(L"S1", L"alice", L"Alice"),
       R"(<command name="ICE" step="LOGIN" sid="S1" user_account="alice" user_name="Alice"/>)"},
      {IceLogoutDatagram(L"S1"), R"(<command name="ICE" step="LOGOUT" sid="S1"/>)"},
      {IceRenameDatagram(L"S1", L"alice", L"Al"),
       R"(<command name="ICE" step="RENAME" sid="S1" user_account="alice" user_name="Al"/>)"},
      {IceKeepAliveDatagram(L"S1"), R"(<command name="ICE" step="KEEPALIVE" sid="S1"/>)"},
      {IceGetOnlineFriendDatagram(L"S1", L"alice", 2, 20),
       R"(<command name="ICE" step="GetOnlineFriend" sid="S1" user_account="alice" page="2" page_count="20"/>)"},
      {IceInviteDatagram(L"S1", L"alice", L"bob", L"inv-1", L"{\"type\": \"video\"}"),
       R"(<command name="ICE" step="INVITE" sid="S1" from="alice" to="bob" id="inv-1">)"
       R"(<data><![CDATA[{"type": "video"}]]></data></command>)"},
      {IceReplyDatagram(L"S2", L"alice", L"inv-1", 0, L"{}"),
       R"(<command name="ICE" step="REPLY" sid="S2" target="alice" id="inv-1" result="ACCEPT">)"
       R"(<data><![CDATA[{}]]></data></command>)"},
      {IceReplyDatagram(L"S2", L"alice", L"inv-1", 1, L""),
       R"(<command name="ICE" step="REPLY" sid="S2" target="alice" id="inv-1" result="REJECT">)"
       R"(<data><![CDATA[]]></data></command>)"},
      {IceHangupDatagram(L"S1", L"inv-1", L"bob"),
       R"(<command name="ICE" step="HANGUP" sid="S1" id="inv-1" target="bob"/>)"},
      {RelayInviteDatagram(L"S1", L"bob", L"inv-1"),
       R"(<command name="RELAY" step="INVITE" sid="S1" target="bob" id="inv-1"/>)"},
      {StunInviteDatagram(L"S1", L"bob", L"inv-1", 2, L"10.1.0.2", 14001),
       R"(<command name="STUN" step="INVITE" sid="S1" target="bob" id="inv-1" port_type="any">)"
       R"(<host local_pri_ip="10.1.0.2" local_pri_port="14001"/></command>)"},
      {StunRingingDatagram(L"S2", L"alice", L"inv-1", L"10.2.0.2", 14003, L"1.2.3.4", 40000),
       R"(<command name="STUN" step="RINGING" sid="S2" target="alice" id="inv-1">)"
       R"(<host local_pri_ip="10.2.0.2" local_pri_port="14003" remote_pub_ip="1.2.3.4" remote_pub_port="40000"/></command>)"},
      {StunBindDatagram(L"inv-1"), R"(<command name="STUN" step="BIND" id="inv-1"/>)"},
      {StunConfirmDatagram(L"inv-1", L"1.2.3.4", 40000),
       R"(<command name="STUN" step="CONFIRM" id="inv-1"><host bind_ip="1.2.3.4" bind_port="40000"/></command>)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.built, Doc(c.expected));
    EXPECT_EQ(c.built.find('\0'), std::string::npos);
  }
}

TEST(IceDatagramsTest, SpecialCharactersAreEscapedAndNonAsciiIsUtf8) {
  EXPECT_EQ(IceLoginDatagram(L"S&1", L"a\"b", L"<Tom's>"),
            Doc(R"(<command name="ICE" step="LOGIN" sid="S&amp;1" user_account="a&quot;b" )"
                R"(user_name="&lt;Tom&apos;s&gt;"/>)"));
  EXPECT_EQ(IceRenameDatagram(L"S", L"a", L"\u5F20\u4E09"),
            Doc("<command name=\"ICE\" step=\"RENAME\" sid=\"S\" user_account=\"a\" "
                "user_name=\"\xE5\xBC\xA0\xE4\xB8\x89\"/>"));
  // "]]>" in a payload is split across two sections; other markup stays raw.
  EXPECT_EQ(CDataText(L"a]]>b<&]]>"), "a]]]]><![CDATA[>b<&]]]]><![CDATA[>");
  EXPECT_EQ(CDataText(L"]]"), "]]");
}

// Whatever the values, what a receiver reads back is what was sent.
TEST(IceDatagramsTest, EscapedValuesReadBackUnchanged) {
  const std::wstring nasty = L"x\"/><command name=\"ICE\" step=\"LOGOUT\"/>&amp;'";
  const std::wstring payload = L"{\"k\": \"]]>\"}]]>]]]>";
  std::string doc = IceInviteDatagram(L"S", nasty, L"me", nasty, payload);
  // The server adds from_name; emulate a forwarded invitation.
  doc.replace(doc.find(" sid=\"S\""), 8, " from_name=\"" + XmlAttributeText(nasty) + "\"");
  RouteResult r = RouteDatagram(doc.data(), doc.size(), ICE_STATE_LOGGED_IN, L"me");
  ASSERT_TRUE(r.event);
  auto* invite = static_cast<ICEEvent_ice_invite*>(r.event.get());
  EXPECT_EQ(invite->from, nasty);
  EXPECT_EQ(invite->id, nasty);
  EXPECT_EQ(invite->from_name, nasty);
  EXPECT_EQ(invite->data, payload);
}

}  // namespace
}  // namespace ice
