#include "client/ui/avatar/avatar_request.h"

#include <tinyxml.h>

#include <cstring>

#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "runtime/util/xml_parse.h"

namespace {

const char* ChildText(const TiXmlElement* parent, const char* name) {
  const TiXmlElement* child = parent ? parent->FirstChildElement(name) : nullptr;
  const char* text = child ? child->GetText() : nullptr;
  return text ? text : "";
}

std::wstring EscapeXml(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    switch (c) {
      case L'&':
        out += L"&amp;";
        break;
      case L'<':
        out += L"&lt;";
        break;
      case L'>':
        out += L"&gt;";
        break;
      case L'"':
        out += L"&quot;";
        break;
      case L'\'':
        out += L"&apos;";
        break;
      default:
        out += c;
        break;
    }
  }
  return out;
}

}  // namespace

std::wstring HeadImageUrlOfUploadArgument(const std::wstring& argument) {
  size_t at = 0;
  for (int comma = 0; comma < 3; ++comma) {
    at = argument.find(L',', at);
    if (at == std::wstring::npos) return L"";
    ++at;
  }
  return argument.substr(at);
}

AvatarRequest ParseAvatarRequest(const std::wstring& xml) {
  AvatarRequest request;
  TiXmlDocument doc;
  if (!brx::util::ParseUntrustedXml(brx::util::WideToUtf8(xml), &doc)) {
    LogWarnA("avatar editor: a request that is not XML was ignored\n");
    return request;
  }
  const TiXmlElement* invoke = doc.RootElement();
  const char* name = invoke ? invoke->Attribute("name") : nullptr;
  const char* returntype = invoke ? invoke->Attribute("returntype") : nullptr;
  if (invoke == nullptr || std::strcmp(invoke->Value(), "invoke") != 0 || name == nullptr ||
      returntype == nullptr || std::strcmp(returntype, "xml") != 0) {
    LogWarnA("avatar editor: a request without the invoke head was ignored\n");
    return request;
  }
  request.name = name;
  if (request.name == "CB_RoleAvatarReady") {
    request.kind = AvatarRequest::Kind::kReady;
  } else if (request.name == "CB_RoleAvatarClose") {
    request.kind = AvatarRequest::Kind::kClose;
  } else if (request.name == "CB_RoleAvatarUpload") {
    const TiXmlElement* arguments = invoke->FirstChildElement("arguments");
    std::wstring argument = brx::util::Utf8ToWide(ChildText(arguments, "string"));
    request.head_image_url = HeadImageUrlOfUploadArgument(argument);
    if (request.head_image_url.empty()) {
      // Sending an empty text would take the user's picture away.
      LogWarnA("avatar editor: an upload report without an address was ignored\n");
    } else {
      request.kind = AvatarRequest::Kind::kUpload;
    }
  }
  return request;
}

std::wstring AvatarKeyCall(const std::wstring& key) {
  return L"<invoke name=\"CB_RoleAvatarGetId\"><arguments><string>" + EscapeXml(key) +
         L"</string></arguments></invoke>";
}
