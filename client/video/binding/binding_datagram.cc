#include "client/video/binding/binding_datagram.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "client/video/signalling/ice_datagrams.h"
#include "runtime/util/text_convert.h"
#include "runtime/util/xml_parse.h"

namespace ice {

BindingDatagram ParseBindingDatagram(const char* data, size_t length, const std::wstring& task_id) {
  BindingDatagram out;
  std::string text(data, strnlen(data, std::min(length, kMaxDatagramBytes)));
  TiXmlDocument doc;
  if (!brx::util::ParseUntrustedXml(text, &doc)) {
    out.kind = BindingDatagram::kIgnoredWithWarning;
    return out;
  }
  const TiXmlElement* command = doc.FirstChildElement("command");
  const char* name = command ? command->Attribute("name") : nullptr;
  const char* id = command ? command->Attribute("id") : nullptr;
  if (!name || !id || brx::util::Utf8ToWide(id) != task_id) {
    out.kind = BindingDatagram::kIgnoredWithWarning;
    return out;
  }
  if (strcmp(name, "STUN") != 0) return out;
  const char* step = command->Attribute("step");
  if (!step) {
    out.kind = BindingDatagram::kIgnoredWithWarning;
    return out;
  }
  const TiXmlElement* host = command->FirstChildElement("host");
  if (strcmp(step, "OFFLINE") == 0) {
    out.kind = BindingDatagram::kOffline;
  } else if (strcmp(step, "TRYING") == 0) {
    out.kind = BindingDatagram::kTrying;
  } else if (strcmp(step, "RINGING") == 0) {
    if (!host) {
      out.kind = BindingDatagram::kIgnoredWithWarning;
      return out;
    }
    const char* pri_ip = host->Attribute("remote_pri_ip");
    const char* pri_port = host->Attribute("remote_pri_port");
    const char* pub_ip = host->Attribute("remote_pub_ip");
    const char* pub_port = host->Attribute("remote_pub_port");
    if (!pri_ip || !pri_port || !pub_ip || !pub_port) {
      out.kind = BindingDatagram::kMalformedRinging;
      return out;
    }
    out.kind = BindingDatagram::kRinging;
    out.remote_private_ip = brx::util::Utf8ToWide(pri_ip);
    out.remote_private_port = atoi(pri_port);
    out.remote_public_ip = brx::util::Utf8ToWide(pub_ip);
    out.remote_public_port = atoi(pub_port);
  } else if (strcmp(step, "BIND") == 0) {
    out.kind = BindingDatagram::kBind;
  } else if (strcmp(step, "CONFIRM") == 0) {
    const char* ip = host ? host->Attribute("bind_ip") : nullptr;
    const char* port = host ? host->Attribute("bind_port") : nullptr;
    if (!ip || !port) {
      out.kind = BindingDatagram::kMalformedConfirm;
      return out;
    }
    out.kind = BindingDatagram::kConfirm;
    out.bind_ip = brx::util::Utf8ToWide(ip);
    out.bind_port = atoi(port);
  }
  return out;
}

}  // namespace ice
