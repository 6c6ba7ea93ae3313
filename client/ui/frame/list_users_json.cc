#include "client/ui/frame/list_users_json.h"

#include <json/json.h>

#include <memory>

#include "runtime/util/json_parse.h"
#include "runtime/util/text_convert.h"

namespace {

std::wstring Text(const Json::Value& value) {
  if (value.isString()) return brx::util::Utf8ToWide(value.asString());
  if (value.isIntegral()) return std::to_wstring(value.asLargestInt());
  if (value.isNumeric()) return std::to_wstring(static_cast<long long>(value.asDouble()));
  return L"";
}

}  // namespace

bool ParseListUsers(const std::wstring& json, const std::wstring& own_id,
                    std::vector<OBListRecord>* users) {
  users->clear();
  std::string text = brx::util::WideToUtf8(json);
  Json::Value root;
  if (!brx::util::ParseUntrustedJson(text, &root) || !root.isArray()) return false;
  for (const Json::Value& item : root) {
    if (!item.isObject() || !item.isMember("UserAccountId")) return false;
    std::wstring id = Text(item["UserAccountId"]);
    if (id == own_id) continue;
    if (!item.isMember("NickName")) return false;
    OBListRecord record;
    record.account = id;
    record.nickname = Text(item["NickName"]);
    record.head_image = Text(item.get("HeadImageUrl", ""));
    record.role_name = Text(item.get("ProfileName", ""));
    const Json::Value& certified = item.get("IsCertificated", 0);
    record.verified = certified.isNumeric() ? certified.asDouble() != 0
                                            : Text(certified) != L"0" && !Text(certified).empty();
    users->push_back(std::move(record));
  }
  return true;
}
