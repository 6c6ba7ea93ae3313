#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The documents the signalling client and the binding tasks send: one XML
// document per datagram, UTF-8, without a terminating NUL. Values are
// escaped for their place (attribute or CDATA); a value without special
// characters comes out exactly as given.
namespace ice {

// Receivers read at most this many bytes of a datagram; senders refuse to
// send more.
inline constexpr size_t kMaxDatagramBytes = 4096;
inline constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

// UTF-8 with & < > " ' as entities.
std::string XmlAttributeText(const std::wstring& value);
// UTF-8 for a CDATA section: every "]]>" becomes "]]]]><![CDATA[>", which
// closes the section after "]]" and opens a new one for ">".
std::string CDataText(const std::wstring& value);

// "ACCEPT" for 0, "REJECT" 1, "BUSY" 2, "OPTIMEOUT" for anything else.
const char* ReplyResultText(int result);
// "even" for 0, "odd" 1, "any" for anything else.
const char* PortTypeText(int port_type);

// To the server's signalling port.
std::string IceLoginDatagram(const std::wstring& sid, const std::wstring& account,
                             const std::wstring& name);
std::string IceLogoutDatagram(const std::wstring& sid);
std::string IceRenameDatagram(const std::wstring& sid, const std::wstring& account,
                              const std::wstring& name);
std::string IceKeepAliveDatagram(const std::wstring& sid);
std::string IceGetOnlineFriendDatagram(const std::wstring& sid, const std::wstring& account,
                                       int page, int page_count);
std::string IceInviteDatagram(const std::wstring& sid, const std::wstring& from,
                              const std::wstring& to, const std::wstring& id,
                              const std::wstring& payload);
std::string IceReplyDatagram(const std::wstring& sid, const std::wstring& target,
                             const std::wstring& id, int result, const std::wstring& payload);
std::string IceHangupDatagram(const std::wstring& sid, const std::wstring& id,
                              const std::wstring& target);
std::string RelayInviteDatagram(const std::wstring& sid, const std::wstring& target,
                                const std::wstring& id);

// To the server's STUN port, from a binding socket.
std::string StunInviteDatagram(const std::wstring& sid, const std::wstring& target,
                               const std::wstring& id, int port_type, const std::wstring& local_ip,
                               int local_port);
std::string StunRingingDatagram(const std::wstring& sid, const std::wstring& target,
                                const std::wstring& id, const std::wstring& local_ip,
                                int local_port, const std::wstring& remote_ip, int remote_port);

// Between the peers' binding sockets.
std::string StunBindDatagram(const std::wstring& id);
std::string StunConfirmDatagram(const std::wstring& id, const std::wstring& bind_ip, int bind_port);

}  // namespace ice
