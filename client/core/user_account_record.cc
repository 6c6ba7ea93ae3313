#include "client/core/user_account_record.h"

#include <json/json.h>

#include <cstdlib>

#include "runtime/util/json_parse.h"
#include "runtime/util/key_path.h"
#include "runtime/util/text_convert.h"

namespace {

bool ParseJson(const std::wstring& text, Json::Value* root) {
  return brx::util::ParseUntrustedJson(brx::util::WideToUtf8(text), root);
}

class Reader {
 public:
  Reader(const Json::Value& root, std::string prefix) : root_(root), prefix_(std::move(prefix)) {}
  std::string Raw(const char* key) const {
    std::string value;
    brx::util::JsonPathGet(prefix_ + key, &value, root_, "");
    return value;
  }
  std::wstring Text(const char* key) const { return brx::util::Utf8ToWide(Raw(key)); }
  int32_t Int(const char* key) const { return atoi(Raw(key).c_str()); }
  bool Flag(const char* key) const { return ParseReplyFlag(Raw(key)); }

 private:
  const Json::Value& root_;
  std::string prefix_;
};

void ReadAccount(const Reader& r, UserAccountRecord* u) {
  u->UserAccountId = r.Text("UserAccountId");
  u->Account = r.Text("Account");
  u->DisplayRoleId = r.Text("DisplayRoleId");
  u->DisplayRoleName = r.Text("DisplayRoleName");
  u->NickName = r.Text("NickName");
  u->HeadImageUrl = r.Text("HeadImageUrl");
  u->BlogCount = r.Int("BlogCount");
  u->FollowCount = r.Int("FollowCount");
  u->FollowByOtherCount = r.Int("FollowByOtherCount");
  u->Email = r.Text("Email");
  u->Mood = r.Text("Mood");
  u->IsCertificated = r.Flag("IsCertificated");
  u->RegisterTime = r.Text("RegisterTime");
  u->RegisterIP = r.Text("RegisterIP");
  u->LastLoginTime = r.Text("LastLoginTime");
  u->LastLoginIP = r.Text("LastLoginIP");
  u->Birthday = r.Text("Birthday");
  u->Province = r.Text("Province");
  u->City = r.Text("City");
  u->Status = r.Text("Status");
  u->RegFrom = r.Text("RegFrom");
  u->IsSetRelevanceUser = r.Flag("IsSetRelevanceUser");
  u->OnlineTimeHours = r.Int("OnlineTimeHours");
  u->LastOnlineTimeStatDate = r.Text("LastOnlineTimeStatDate");
  u->PrivateDomain = r.Text("PrivateDomain");
}

}  // namespace

bool ParseReplyFlag(const std::string& value) {
  size_t b = value.find_first_not_of(" \t\r\n");
  std::string trimmed =
      b == std::string::npos ? "" : value.substr(b, value.find_last_not_of(" \t\r\n") - b + 1);
  if (trimmed == "true") return true;
  if (trimmed == "false") return false;
  return atoi(trimmed.c_str()) != 0;
}

bool ParseLoginReply(const std::wstring& text, UserAccountRecord* record) {
  Json::Value root;
  if (!ParseJson(text, &root)) return false;
  Reader top(root, "");
  record->BindBlogIds = top.Text("BindBlogIds");
  record->SessionID = top.Text("SessionID");
  record->CipherPassword = top.Text("CipherPassword");
  record->TGNickName = top.Text("TGNickName");
  ReadAccount(Reader(root, "UserAccount."), record);
  return true;
}

bool ParseUserAccount(const std::wstring& text, UserAccountRecord* record) {
  Json::Value root;
  if (!ParseJson(text, &root)) return false;
  ReadAccount(Reader(root, ""), record);
  return true;
}
