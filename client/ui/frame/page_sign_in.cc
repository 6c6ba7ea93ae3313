#include "client/ui/frame/page_sign_in.h"

#include <json/json.h>

#include "runtime/util/json_parse.h"
#include "runtime/util/text_convert.h"

namespace {

constexpr char kSecret[] = "CipherPassword";

// True when something was removed.
bool RemoveSecret(Json::Value* value) {
  bool removed = false;
  if (value->isObject()) {
    if (value->isMember(kSecret)) {
      value->removeMember(kSecret);
      removed = true;
    }
    for (const std::string& name : value->getMemberNames())
      removed = RemoveSecret(&(*value)[name]) || removed;
  } else if (value->isArray()) {
    for (Json::Value& item : *value) removed = RemoveSecret(&item) || removed;
  }
  return removed;
}

}  // namespace

std::wstring SignInTextForPage(const std::wstring& reply) {
  Json::Value root;
  if (!brx::util::ParseUntrustedJson(brx::util::WideToUtf8(reply), &root)) {
    return reply.find(L"CipherPassword") == std::wstring::npos ? reply : std::wstring();
  }
  // Left as it came when there is nothing to take out.
  if (!RemoveSecret(&root)) return reply;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  writer["emitUTF8"] = true;
  return brx::util::Utf8ToWide(Json::writeString(writer, root));
}
