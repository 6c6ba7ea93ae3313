#include "client/video/signalling/ice_datagrams.h"

#include "runtime/util/text_convert.h"

namespace ice {
namespace {

using brx::util::WideToUtf8;

// Builds `<command name=".." step=".." a="v" ...` after the declaration;
// the caller closes it.
class Document {
 public:
  Document(const char* name, const char* step) {
    text_ = kXmlDeclaration;
    text_ += "<command name=\"";
    text_ += name;
    text_ += "\" step=\"";
    text_ += step;
    text_ += '"';
  }
  Document& Attr(const char* name, const std::wstring& value) {
    Raw(name, XmlAttributeText(value));
    return *this;
  }
  Document& Attr(const char* name, int value) {
    Raw(name, std::to_string(value));
    return *this;
  }
  Document& Raw(const char* name, const std::string& value) {
    text_ += ' ';
    text_ += name;
    text_ += "=\"";
    text_ += value;
    text_ += '"';
    return *this;
  }
  Document& Append(const std::string& text) {
    text_ += text;
    return *this;
  }
  std::string Close() { return text_ + "/>"; }
  std::string CloseWithData(const std::wstring& payload) {
    return text_ + "><data><![CDATA[" + CDataText(payload) + "]]></data></command>";
  }
  std::string& text() { return text_; }

 private:
  std::string text_;
};

}  // namespace

std::string XmlAttributeText(const std::wstring& value) {
  std::string utf8 = WideToUtf8(value);
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
        break;
    }
  }
  return out;
}

std::string CDataText(const std::wstring& value) {
  std::string utf8 = WideToUtf8(value);
  std::string out;
  out.reserve(utf8.size());
  size_t from = 0;
  for (size_t at; (at = utf8.find("]]>", from)) != std::string::npos; from = at + 3) {
    out.append(utf8, from, at - from);
    out += "]]]]><![CDATA[>";
  }
  out.append(utf8, from, std::string::npos);
  return out;
}

const char* ReplyResultText(int result) {
  switch (result) {
    case 0:
      return "ACCEPT";
    case 1:
      return "REJECT";
    case 2:
      return "BUSY";
    default:
      return "OPTIMEOUT";
  }
}

const char* PortTypeText(int port_type) {
  switch (port_type) {
    case 0:
      return "even";
    case 1:
      return "odd";
    default:
      return "any";
  }
}

std::string IceLoginDatagram(const std::wstring& sid, const std::wstring& account,
                             const std::wstring& name) {
  return Document("ICE", "LOGIN")
      .Attr("sid", sid)
      .Attr("user_account", account)
      .Attr("user_name", name)
      .Close();
}

std::string IceLogoutDatagram(const std::wstring& sid) {
  return Document("ICE", "LOGOUT").Attr("sid", sid).Close();
}

std::string IceRenameDatagram(const std::wstring& sid, const std::wstring& account,
                              const std::wstring& name) {
  return Document("ICE", "RENAME")
      .Attr("sid", sid)
      .Attr("user_account", account)
      .Attr("user_name", name)
      .Close();
}

std::string IceKeepAliveDatagram(const std::wstring& sid) {
  return Document("ICE", "KEEPALIVE").Attr("sid", sid).Close();
}

std::string IceGetOnlineFriendDatagram(const std::wstring& sid, const std::wstring& account,
                                       int page, int page_count) {
  return Document("ICE", "GetOnlineFriend")
      .Attr("sid", sid)
      .Attr("user_account", account)
      .Attr("page", page)
      .Attr("page_count", page_count)
      .Close();
}

std::string IceInviteDatagram(const std::wstring& sid, const std::wstring& from,
                              const std::wstring& to, const std::wstring& id,
                              const std::wstring& payload) {
  return Document("ICE", "INVITE")
      .Attr("sid", sid)
      .Attr("from", from)
      .Attr("to", to)
      .Attr("id", id)
      .CloseWithData(payload);
}

std::string IceReplyDatagram(const std::wstring& sid, const std::wstring& target,
                             const std::wstring& id, int result, const std::wstring& payload) {
  return Document("ICE", "REPLY")
      .Attr("sid", sid)
      .Attr("target", target)
      .Attr("id", id)
      .Raw("result", ReplyResultText(result))
      .CloseWithData(payload);
}

std::string IceHangupDatagram(const std::wstring& sid, const std::wstring& id,
                              const std::wstring& target) {
  return Document("ICE", "HANGUP").Attr("sid", sid).Attr("id", id).Attr("target", target).Close();
}

std::string RelayInviteDatagram(const std::wstring& sid, const std::wstring& target,
                                const std::wstring& id) {
  return Document("RELAY", "INVITE").Attr("sid", sid).Attr("target", target).Attr("id", id).Close();
}

std::string StunInviteDatagram(const std::wstring& sid, const std::wstring& target,
                               const std::wstring& id, int port_type, const std::wstring& local_ip,
                               int local_port) {
  Document doc("STUN", "INVITE");
  doc.Attr("sid", sid)
      .Attr("target", target)
      .Attr("id", id)
      .Raw("port_type", PortTypeText(port_type));
  doc.Append("><host").Attr("local_pri_ip", local_ip).Attr("local_pri_port", local_port);
  return doc.Append("/></command>").text();
}

std::string StunRingingDatagram(const std::wstring& sid, const std::wstring& target,
                                const std::wstring& id, const std::wstring& local_ip,
                                int local_port, const std::wstring& remote_ip, int remote_port) {
  Document doc("STUN", "RINGING");
  doc.Attr("sid", sid).Attr("target", target).Attr("id", id);
  doc.Append("><host")
      .Attr("local_pri_ip", local_ip)
      .Attr("local_pri_port", local_port)
      .Attr("remote_pub_ip", remote_ip)
      .Attr("remote_pub_port", remote_port);
  return doc.Append("/></command>").text();
}

std::string StunBindDatagram(const std::wstring& id) {
  return Document("STUN", "BIND").Attr("id", id).Close();
}

std::string StunConfirmDatagram(const std::wstring& id, const std::wstring& bind_ip,
                                int bind_port) {
  Document doc("STUN", "CONFIRM");
  doc.Attr("id", id).Append("><host").Attr("bind_ip", bind_ip).Attr("bind_port", bind_port);
  return doc.Append("/></command>").text();
}

}  // namespace ice
