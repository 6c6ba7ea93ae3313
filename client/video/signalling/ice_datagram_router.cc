#include "client/video/signalling/ice_datagram_router.h"

#include <tinyxml.h>

#include <cstdlib>
#include <cstring>

#include "client/video/signalling/ice_datagrams.h"
#include "runtime/http/reply_redact.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "runtime/util/xml_parse.h"

namespace ice {
namespace {

using brx::util::Utf8ToWide;

// The names the warnings carry, one per reading step.
constexpr char kOnRecvData[] = "ice::IceClient::OnRecvData";
constexpr char kOnIce[] = "ice::IceClient::OnIce";
constexpr char kOnIceLogin[] = "ice::IceClient::OnIceLogin";
constexpr char kOnIceKickout[] = "ice::IceClient::OnIceKickout";
constexpr char kOnIceInvite[] = "ice::IceClient::OnIceInvite";
constexpr char kOnIceReply[] = "ice::IceClient::OnIceReply";
constexpr char kOnIceHangup[] = "ice::IceClient::OnIceHangup";
constexpr char kOnIceGetOnlineFriend[] = "ice::IceClient::OnIceGetOnlineFriend";
constexpr char kOnStunInvite[] = "ice::IceClient::OnStunInvite";
constexpr char kOnRelay[] = "ice::IceClient::OnRelay";
constexpr char kOnRelayReply[] = "ice::IceClient::OnRelayReply";
constexpr char kOnStun[] = "ice::IceClient::OnStun";

void Warn(const char* where, int line) { LogWarn(L"%s:%d\n", where, line); }

std::wstring Wide(const char* utf8) { return Utf8ToWide(utf8); }
int32_t Number(const char* text) { return atoi(text); }

// All character data of an element: a payload whose "]]>" was split over
// two CDATA sections comes back whole.
std::wstring ElementText(const TiXmlElement* element) {
  std::string text;
  for (const TiXmlNode* node = element->FirstChild(); node; node = node->NextSibling()) {
    if (const TiXmlText* part = node->ToText()) text += part->Value();
  }
  return Utf8ToWide(text);
}

// The text of the command's child "data"; false when there is no such
// child or it holds no text (an empty element or an empty section).
bool DataText(const TiXmlElement* command, std::wstring* text) {
  const TiXmlElement* data = command->FirstChildElement("data");
  if (!data) return false;
  *text = ElementText(data);
  return !text->empty();
}

// Reads named attributes, remembering whether all were present.
class Attributes {
 public:
  explicit Attributes(const TiXmlElement* element) : element_(element) {}
  const char* operator[](const char* name) {
    const char* value = element_ ? element_->Attribute(name) : nullptr;
    if (!value) {
      complete_ = false;
      return "";
    }
    return value;
  }
  bool complete() const { return complete_; }

 private:
  const TiXmlElement* element_;
  bool complete_ = true;
};

void OnIceLogin(const TiXmlElement* command, RouteResult* out) {
  Attributes attrs(command);
  std::string result = attrs["result"];
  Attributes host(command->FirstChildElement("host"));
  const char* stun_port = host["server_port_udp"];
  const char* public_ip = host["local_pub_ip"];
  const char* public_port = host["local_pub_port"];
  if (!attrs.complete() || !host.complete()) return Warn(kOnIceLogin, __LINE__);
  out->has_login_info = true;
  out->stun_port = Number(stun_port);
  out->public_ip = Wide(public_ip);
  out->public_port = Number(public_port);
  auto event = std::make_unique<ICEEvent_ice_login>();
  if (result == "OK") {
    out->new_state = ICE_STATE_LOGGED_IN;
    event->result = 1;
    event->public_ip = out->public_ip;
    event->public_port = out->public_port;
  } else {
    out->new_state = ICE_STATE_OFFLINE;
  }
  out->event = std::move(event);
}

void OnIceKickout(const TiXmlElement* command, RouteResult* out) {
  Attributes host(command->FirstChildElement("host"));
  const char* ip = host["new_pub_ip"];
  const char* port = host["new_pub_port"];
  if (!host.complete()) return Warn(kOnIceKickout, __LINE__);
  auto event = std::make_unique<ICEEvent_ice_kickout>();
  event->new_public_ip = Wide(ip);
  event->new_public_port = Number(port);
  out->new_state = ICE_STATE_OFFLINE;
  out->event = std::move(event);
}

void OnIceInvite(const TiXmlElement* command, const std::wstring& own_account, RouteResult* out) {
  Attributes attrs(command);
  const char* from = attrs["from"];
  const char* to = attrs["to"];
  const char* id = attrs["id"];
  const char* from_name = attrs["from_name"];
  if (!attrs.complete()) return Warn(kOnIceInvite, __LINE__);
  if (Wide(to) != own_account) return Warn(kOnIceInvite, __LINE__);
  std::wstring data;
  if (!DataText(command, &data)) return;
  auto event = std::make_unique<ICEEvent_ice_invite>();
  event->id = Wide(id);
  event->from = Wide(from);
  event->inviter = event->from;
  event->from_name = Wide(from_name);
  event->data = std::move(data);
  out->event = std::move(event);
}

void OnIceReply(const TiXmlElement* command, RouteResult* out) {
  Attributes attrs(command);
  const char* id = attrs["id"];
  std::string result = attrs["result"];
  if (!attrs.complete()) return Warn(kOnIceReply, __LINE__);
  auto event = std::make_unique<ICEEvent_ice_reply>();
  event->id = Wide(id);
  if (result == "ACCEPT") {
    // An acceptance carries the answer the session is built from.
    if (!DataText(command, &event->data)) return Warn(kOnIceReply, __LINE__);
    event->result = ICE_REPLY_ACCEPT;
  } else if (result == "REJECT") {
    event->result = ICE_REPLY_REJECT;
  } else if (result == "OFFLINE") {
    event->result = ICE_REPLY_OFFLINE;
  } else if (result == "BUSY") {
    event->result = ICE_REPLY_BUSY;
  } else if (result == "OPTIMEOUT") {
    event->result = ICE_REPLY_OPTIMEOUT;
  } else {
    return;
  }
  out->event = std::move(event);
}

void OnIceHangup(const TiXmlElement* command, RouteResult* out) {
  const char* id = command->Attribute("id");
  if (!id) return Warn(kOnIceHangup, __LINE__);
  auto event = std::make_unique<ICEEvent_ice_hangup>();
  event->id = Wide(id);
  out->event = std::move(event);
}

void OnIceGetOnlineFriend(const TiXmlElement* command, RouteResult* out) {
  Attributes attrs(command);
  const char* record_count = attrs["record_count"];
  const char* page = attrs["page"];
  if (!attrs.complete()) return Warn(kOnIceGetOnlineFriend, __LINE__);
  const TiXmlElement* list = command->FirstChildElement("list");
  if (!list) return Warn(kOnIceGetOnlineFriend, __LINE__);
  auto event = std::make_unique<ICEEvent_ice_getonlinefriend>();
  event->record_count = Number(record_count);
  event->page = Number(page);
  for (const TiXmlElement* user = list->FirstChildElement("user"); user;
       user = user->NextSiblingElement("user")) {
    Attributes fields(user);
    const char* account = fields["user_account"];
    const char* name = fields["user_name"];
    if (!fields.complete()) {
      Warn(kOnIceGetOnlineFriend, __LINE__);
      continue;
    }
    const char* head_icon = user->Attribute("head_icon");
    event->friends.push_back(
        {Wide(account), Wide(name), head_icon ? Wide(head_icon) : std::wstring()});
  }
  out->event = std::move(event);
}

void OnIce(const TiXmlElement* command, int32_t state, const std::wstring& own_account,
           RouteResult* out) {
  const char* step_attr = command->Attribute("step");
  std::string step = step_attr ? step_attr : "";
  if (step == "LOGIN") {
    if (state == ICE_STATE_LOGGING_IN) OnIceLogin(command, out);
    return;
  }
  if (step == "LOGOUT") {
    out->event = std::make_unique<ICEEvent_ice_logout>();
    return;
  }
  if (state != ICE_STATE_LOGGED_IN) return;
  if (!step_attr) return Warn(kOnIce, __LINE__);
  if (step == "KICKOUT") return OnIceKickout(command, out);
  if (step == "INVITE") return OnIceInvite(command, own_account, out);
  if (step == "REPLY") return OnIceReply(command, out);
  if (step == "HANGUP") return OnIceHangup(command, out);
  if (step == "GetOnlineFriend") return OnIceGetOnlineFriend(command, out);
  // KEEPALIVE and unknown steps mean nothing to the client.
}

void OnStunInvite(const TiXmlElement* command, RouteResult* out) {
  Attributes attrs(command);
  const char* id = attrs["id"];
  std::string port_type = attrs["port_type"];
  Attributes host(command->FirstChildElement("host"));
  const char* private_ip = host["remote_pri_ip"];
  const char* private_port = host["remote_pri_port"];
  const char* public_ip = host["remote_pub_ip"];
  const char* public_port = host["remote_pub_port"];
  if (!attrs.complete() || !host.complete()) return Warn(kOnStunInvite, __LINE__);
  auto event = std::make_unique<ICEEvent_stun_invite>();
  event->id = Wide(id);
  event->port_type = port_type == "even"  ? ICE_PORT_EVEN
                     : port_type == "odd" ? ICE_PORT_ODD
                                          : ICE_PORT_ANY;
  event->remote_private_ip = Wide(private_ip);
  event->remote_private_port = Number(private_port);
  event->remote_public_ip = Wide(public_ip);
  event->remote_public_port = Number(public_port);
  out->event = std::move(event);
}

void OnRelayReply(const TiXmlElement* command, RouteResult* out) {
  const char* id = command->Attribute("id");
  if (!id) return Warn(kOnRelayReply, __LINE__);
  Attributes host(command->FirstChildElement("host"));
  const char* ip = host["ip"];
  const char* port = host["port"];
  if (!host.complete()) return Warn(kOnRelayReply, __LINE__);
  auto event = std::make_unique<ICEEvent_relay_reply>();
  event->id = Wide(id);
  event->relay_ip = Wide(ip);
  event->relay_port = Number(port);
  out->event = std::move(event);
}

}  // namespace

RouteResult RouteDatagram(const char* data, size_t length, int32_t state,
                          const std::wstring& own_account) {
  RouteResult out;
  // Stop at a NUL as the terminated receive buffer does.
  std::string text(data, strnlen(data, std::min(length, kMaxDatagramBytes)));
  TiXmlDocument doc;
  if (!brx::util::ParseUntrustedXml(text, &doc)) return out;
  const TiXmlElement* command = doc.FirstChildElement("command");
  const char* name_attr = command ? command->Attribute("name") : nullptr;
  if (!name_attr) {
    LogWarnA("%s:%d:%s\n", kOnRecvData, __LINE__, brx::http::ReplyTextForLog(text).c_str());
    return out;
  }
  std::string name = name_attr;
  if (name == "ICE") {
    OnIce(command, state, own_account, &out);
  } else if (name == "STUN" && state == ICE_STATE_LOGGED_IN) {
    const char* step = command->Attribute("step");
    if (!step) {
      LogWarnA("%s:%d:%s\n", kOnStun, __LINE__, brx::http::ReplyTextForLog(text).c_str());
    } else if (strcmp(step, "INVITE") == 0) {
      OnStunInvite(command, &out);
    }
  } else if (name == "RELAY" && state == ICE_STATE_LOGGED_IN) {
    const char* step = command->Attribute("step");
    if (!step) {
      Warn(kOnRelay, __LINE__);
    } else if (strcmp(step, "REPLY") == 0) {
      OnRelayReply(command, &out);
    }
  }
  return out;
}

}  // namespace ice
