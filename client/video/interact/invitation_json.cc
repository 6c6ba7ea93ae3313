#include "client/video/interact/invitation_json.h"

#include <json/json.h>

#include <memory>

#include "runtime/util/json_parse.h"
#include "runtime/util/text_convert.h"

namespace ombrix::video {
namespace {

std::wstring Write(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "   ";
  return brx::util::Utf8ToWide(Json::writeString(builder, value) + "\n");
}

}  // namespace

std::wstring InvitationJson(const std::wstring& sender) {
  Json::Value value(Json::objectValue);
  value["type"] = "video";
  value["video_type"] = "webm";
  value["sender"] = brx::util::WideToUtf8(sender);
  return Write(value);
}

std::wstring AcceptJson() {
  Json::Value value(Json::objectValue);
  value["type"] = "video";
  value["video_type"] = "webm";
  return Write(value);
}

bool ParseInvitationJson(const std::wstring& text, InvitationFields* fields, std::string* error) {
  const std::string utf8 = brx::util::WideToUtf8(text);
  // A peer's text: read without exceptions or unbounded nesting.
  Json::Value root;
  std::string errors;
  if (!brx::util::ParseUntrustedJson(utf8, &root, &errors) || !root.isObject()) {
    *error = errors.empty() ? "not a JSON object" : errors;
    return false;
  }
  const Json::Value& type = root["video_type"];
  if (type.isString()) fields->video_type = brx::util::Utf8ToWide(type.asString());
  const Json::Value& sender = root["sender"];
  if (sender.isString()) fields->sender = brx::util::Utf8ToWide(sender.asString());
  return true;
}

}  // namespace ombrix::video
