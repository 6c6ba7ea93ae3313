#include "client/video/signalling/ice_datagram_router.h"

#include <gtest/gtest.h>

#include <string>

#include "client/core/online_friend_info.h"

namespace ice {
namespace {

constexpr int32_t kOff = ICE_STATE_OFFLINE;
constexpr int32_t kIn = ICE_STATE_LOGGING_IN;
constexpr int32_t kOn = ICE_STATE_LOGGED_IN;
constexpr int32_t kNone = -1;  // no event / state unchanged

RouteResult Route(const std::string& body, int32_t state, const std::wstring& me = L"me") {
  std::string doc = std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>") + body;
  return RouteDatagram(doc.data(), doc.size(), state, me);
}

const std::string kLoginOk =
    R"(<command name="ICE" step="LOGIN" result="OK"><host server_port_udp="3478" local_pub_ip="1.2.3.4" local_pub_port="15001"/></command>)";
const std::string kLoginFail =
    R"(<command name="ICE" step="LOGIN" result="FAIL"><host server_port_udp="3478" local_pub_ip="1.2.3.4" local_pub_port="15001"/></command>)";
const std::string kKickout =
    R"(<command name="ICE" step="KICKOUT"><host new_pub_ip="5.6.7.8" new_pub_port="999"/></command>)";
const std::string kInvite =
    R"(<command name="ICE" step="INVITE" from="bob" to="me" id="i1" from_name="Bob"><data><![CDATA[{"a":1}]]></data></command>)";
const std::string kStunInvite =
    R"(<command name="STUN" step="INVITE" id="i1" port_type="odd"><host remote_pri_ip="10.0.0.2" remote_pri_port="14001" remote_pub_ip="1.1.1.1" remote_pub_port="2222"/></command>)";
const std::string kRelayReply =
    R"(<command name="RELAY" step="REPLY" id="i1"><host ip="9.9.9.9" port="3001"/></command>)";

// The router's drop and state rules, document by document and state by state.
TEST(IceDatagramRouterTest, StateAndDropRules) {
  struct Case {
    const char* what;
    std::string body;
    int32_t state;
    int32_t event_type;
    int32_t new_state;
  } cases[] = {
      {"login reply while logging in", kLoginOk, kIn, ICE_EVENT_LOGIN, kOn},
      {"failed login reply", kLoginFail, kIn, ICE_EVENT_LOGIN, kOff},
      {"stale login reply after logout", kLoginOk, kOff, kNone, kNone},
      {"second login reply while logged in", kLoginOk, kOn, kNone, kNone},
      {"login reply without host", R"(<command name="ICE" step="LOGIN" result="FAIL"/>)", kIn,
       kNone, kNone},
      {"login reply without a host field",
       R"(<command name="ICE" step="LOGIN" result="OK"><host server_port_udp="1" local_pub_ip="x"/></command>)",
       kIn, kNone, kNone},
      {"login reply without result",
       R"(<command name="ICE" step="LOGIN"><host server_port_udp="1" local_pub_ip="x" local_pub_port="2"/></command>)",
       kIn, kNone, kNone},
      {"server logout when offline", R"(<command name="ICE" step="LOGOUT"/>)", kOff,
       ICE_EVENT_LOGOUT, kNone},
      {"server logout when logged in", R"(<command name="ICE" step="LOGOUT"/>)", kOn,
       ICE_EVENT_LOGOUT, kNone},
      {"kickout", kKickout, kOn, ICE_EVENT_KICKOUT, kOff},
      {"kickout while logging in", kKickout, kIn, kNone, kNone},
      {"kickout without host", R"(<command name="ICE" step="KICKOUT"/>)", kOn, kNone, kNone},
      {"keepalive echo", R"(<command name="ICE" step="KEEPALIVE"/>)", kOn, kNone, kNone},
      {"invite", kInvite, kOn, ICE_EVENT_INVITE, kNone},
      {"invite while offline", kInvite, kOff, kNone, kNone},
      {"invite for another account",
       R"(<command name="ICE" step="INVITE" from="bob" to="eve" id="i1" from_name="Bob"><data>x</data></command>)",
       kOn, kNone, kNone},
      {"invite without from_name",
       R"(<command name="ICE" step="INVITE" from="bob" to="me" id="i1"><data>x</data></command>)",
       kOn, kNone, kNone},
      {"invite without data",
       R"(<command name="ICE" step="INVITE" from="bob" to="me" id="i1" from_name="B"/>)", kOn,
       kNone, kNone},
      {"invite with empty data",
       R"(<command name="ICE" step="INVITE" from="bob" to="me" id="i1" from_name="B"><data></data></command>)",
       kOn, kNone, kNone},
      {"reply accept",
       R"(<command name="ICE" step="REPLY" id="i1" result="ACCEPT"><data>{}</data></command>)", kOn,
       ICE_EVENT_REPLY, kNone},
      {"reply accept without data", R"(<command name="ICE" step="REPLY" id="i1" result="ACCEPT"/>)",
       kOn, kNone, kNone},
      {"reply accept with empty data",
       R"(<command name="ICE" step="REPLY" id="i1" result="ACCEPT"><data/></command>)", kOn, kNone,
       kNone},
      {"reply accept with an empty section",
       R"(<command name="ICE" step="REPLY" id="i1" result="ACCEPT"><data><![CDATA[]]></data></command>)",
       kOn, kNone, kNone},
      {"reply accept with a blank section",
       R"(<command name="ICE" step="REPLY" id="i1" result="ACCEPT"><data><![CDATA[ ]]></data></command>)",
       kOn, ICE_EVENT_REPLY, kNone},
      {"reply reject", R"(<command name="ICE" step="REPLY" id="i1" result="REJECT"/>)", kOn,
       ICE_EVENT_REPLY, kNone},
      {"reply unknown result", R"(<command name="ICE" step="REPLY" id="i1" result="MAYBE"/>)", kOn,
       kNone, kNone},
      {"reply without id", R"(<command name="ICE" step="REPLY" result="BUSY"/>)", kOn, kNone,
       kNone},
      {"reply while logging in", R"(<command name="ICE" step="REPLY" id="i1" result="BUSY"/>)", kIn,
       kNone, kNone},
      {"hangup", R"(<command name="ICE" step="HANGUP" id="i1"/>)", kOn, ICE_EVENT_HANGUP, kNone},
      {"hangup without id", R"(<command name="ICE" step="HANGUP"/>)", kOn, kNone, kNone},
      {"friends",
       R"(<command name="ICE" step="GetOnlineFriend" record_count="0" page="1"><list/></command>)",
       kOn, ICE_EVENT_GETONLINEFRIEND, kNone},
      {"friends without list",
       R"(<command name="ICE" step="GetOnlineFriend" record_count="0" page="1"/>)", kOn, kNone,
       kNone},
      {"stun invite", kStunInvite, kOn, ICE_EVENT_STUN_INVITE, kNone},
      {"stun invite while logging in", kStunInvite, kIn, kNone, kNone},
      {"stun invite without host",
       R"(<command name="STUN" step="INVITE" id="i1" port_type="any"/>)", kOn, kNone, kNone},
      {"other stun step", R"(<command name="STUN" step="RINGING" id="i1"/>)", kOn, kNone, kNone},
      {"relay reply", kRelayReply, kOn, ICE_EVENT_RELAY_REPLY, kNone},
      {"relay reply while offline", kRelayReply, kOff, kNone, kNone},
      {"relay reply without host", R"(<command name="RELAY" step="REPLY" id="i1"/>)", kOn, kNone,
       kNone},
      {"other relay step", R"(<command name="RELAY" step="INVITE" id="i1"/>)", kOn, kNone, kNone},
      {"unknown name", R"(<command name="FOO" step="LOGOUT"/>)", kOn, kNone, kNone},
      {"lower-case name", R"(<command name="ice" step="LOGOUT"/>)", kOn, kNone, kNone},
      {"no name", R"(<command step="LOGOUT"/>)", kOn, kNone, kNone},
      {"no command", R"(<other name="ICE" step="LOGOUT"/>)", kOn, kNone, kNone},
      {"not XML", "<command name=\"ICE\" step=\"LOGOUT\"", kOn, kNone, kNone},
      {"empty", "", kOn, kNone, kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RouteResult r = Route(c.body, c.state);
    EXPECT_EQ(r.event ? r.event->type : kNone, c.event_type);
    EXPECT_EQ(r.new_state, c.new_state);
  }
}

TEST(IceDatagramRouterTest, LoginReplyCarriesStunPortAndPublicAddress) {
  RouteResult ok = Route(kLoginOk, kIn);
  ASSERT_TRUE(ok.event);
  auto* login = static_cast<ICEEvent_ice_login*>(ok.event.get());
  EXPECT_EQ(login->error_code, 0);
  EXPECT_EQ(login->result, 1);
  EXPECT_EQ(login->public_ip, L"1.2.3.4");
  EXPECT_EQ(login->public_port, 15001);
  EXPECT_TRUE(ok.has_login_info);
  EXPECT_EQ(ok.stun_port, 3478);

  RouteResult failed = Route(kLoginFail, kIn);
  ASSERT_TRUE(failed.event);
  auto* refused = static_cast<ICEEvent_ice_login*>(failed.event.get());
  EXPECT_EQ(refused->result, 0);
  EXPECT_EQ(refused->public_ip, L"");
  EXPECT_TRUE(failed.has_login_info);  // the STUN port is taken either way
}

TEST(IceDatagramRouterTest, FieldsOfEachEvent) {
  {
    RouteResult r = Route(kKickout, kOn);
    auto* e = static_cast<ICEEvent_ice_kickout*>(r.event.get());
    EXPECT_EQ(e->new_public_ip, L"5.6.7.8");
    EXPECT_EQ(e->new_public_port, 999);
  }
  {
    RouteResult r = Route(kInvite, kOn);
    auto* e = static_cast<ICEEvent_ice_invite*>(r.event.get());
    EXPECT_EQ(e->id, L"i1");
    EXPECT_EQ(e->from, L"bob");
    EXPECT_EQ(e->inviter, L"bob");
    EXPECT_TRUE(e->invited.empty());
    EXPECT_EQ(e->from_name, L"Bob");
    EXPECT_EQ(e->data, L"{\"a\":1}");
  }
  {
    struct {
      const char* word;
      int32_t result;
    } results[] = {{"REJECT", 5}, {"OFFLINE", 1}, {"BUSY", 6}, {"OPTIMEOUT", 7}};
    for (auto& c : results) {
      // Results other than ACCEPT never read their data.
      RouteResult r = Route(std::string(R"(<command name="ICE" step="REPLY" id="i9" result=")") +
                                c.word + R"("><data>ignored</data></command>)",
                            kOn);
      auto* e = static_cast<ICEEvent_ice_reply*>(r.event.get());
      ASSERT_TRUE(e) << c.word;
      EXPECT_EQ(e->id, L"i9");
      EXPECT_EQ(e->result, c.result);
      EXPECT_EQ(e->data, L"");
    }
    RouteResult r = Route(
        R"(<command name="ICE" step="REPLY" id="i9" result="ACCEPT"><data><![CDATA[{"x":"]]]]><![CDATA[>"}]]></data></command>)",
        kOn);
    auto* e = static_cast<ICEEvent_ice_reply*>(r.event.get());
    EXPECT_EQ(e->result, 4);
    EXPECT_EQ(e->data, L"{\"x\":\"]]>\"}");
  }
  {
    RouteResult r = Route(kStunInvite, kOn);
    auto* e = static_cast<ICEEvent_stun_invite*>(r.event.get());
    EXPECT_EQ(e->id, L"i1");
    EXPECT_EQ(e->port_type, ICE_PORT_ODD);
    EXPECT_EQ(e->remote_private_ip, L"10.0.0.2");
    EXPECT_EQ(e->remote_private_port, 14001);
    EXPECT_EQ(e->remote_public_ip, L"1.1.1.1");
    EXPECT_EQ(e->remote_public_port, 2222);
    for (auto [word, type] : {std::pair{"even", 0}, {"odd", 1}, {"any", 2}, {"", 2}, {"EVEN", 2}}) {
      std::string body = kStunInvite;
      body.replace(body.find("\"odd\""), 5, std::string("\"") + word + "\"");
      RouteResult t = Route(body, kOn);
      EXPECT_EQ(static_cast<ICEEvent_stun_invite*>(t.event.get())->port_type, type) << word;
    }
  }
  {
    RouteResult r = Route(kRelayReply, kOn);
    auto* e = static_cast<ICEEvent_relay_reply*>(r.event.get());
    EXPECT_EQ(e->id, L"i1");
    EXPECT_EQ(e->relay_ip, L"9.9.9.9");
    EXPECT_EQ(e->relay_port, 3001);
  }
}

TEST(IceDatagramRouterTest, FriendListKeepsOrderSkipsIncompleteUsers) {
  RouteResult r = Route(
      "<command name=\"ICE\" step=\"GetOnlineFriend\" record_count=\"12\" page=\"2\"><list>"
      "<user user_account=\"a\" user_name=\"A\" head_icon=\"http://h/a.png\"/>"
      "<user user_account=\"b\"/>"
      "<user user_name=\"C\"/>"
      "<user user_account=\"d\" user_name=\"\xE5\xBC\xA0\"/>"
      "</list></command>",
      kOn);
  auto* e = static_cast<ICEEvent_ice_getonlinefriend*>(r.event.get());
  ASSERT_TRUE(e);
  EXPECT_EQ(e->record_count, 12);
  EXPECT_EQ(e->page, 2);
  ASSERT_EQ(e->friends.size(), 2u);
  EXPECT_EQ(e->friends[0].user_account, L"a");
  EXPECT_EQ(e->friends[0].head_icon, L"http://h/a.png");
  EXPECT_EQ(e->friends[1].user_account, L"d");
  EXPECT_EQ(e->friends[1].user_name, L"\u5F20");
  EXPECT_EQ(e->friends[1].head_icon, L"");
}

TEST(IceDatagramRouterTest, ReadsOnlyUpToTheFirstNulAndTheBufferSize) {
  std::string doc = "<command name=\"ICE\" step=\"LOGOUT\"/>";
  std::string with_nul = doc + std::string(1, '\0') + "garbage";
  EXPECT_TRUE(RouteDatagram(with_nul.data(), with_nul.size(), kOn, L"me").event);
  std::string cut = doc.substr(0, doc.size() - 2);
  EXPECT_FALSE(RouteDatagram(doc.data(), cut.size(), kOn, L"me").event);
}

}  // namespace
}  // namespace ice
