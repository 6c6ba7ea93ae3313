#include "client/web/ob_logic_web_server_config.h"

#include <tinyxml.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <random>

#include "client/core/event_chain.h"
#include "client/core/web_events.h"
#include "client/web/jober_web.h"
#include "client/web/server_config_address.h"
#include "client/web/web_logic_manager.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/tick_clock.h"
#include "runtime/util/edition.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"
#include "runtime/util/xml_parse.h"

namespace {

struct CommandNode {
  const wchar_t* command;
  const wchar_t* node;
};

constexpr wchar_t kClient[] = L"ClientInterfaceServer";
constexpr uint64_t kMaxServerConfigBytes = 1 << 20;

// Which node serves each command. Rows whose command nobody sends stay, so
// the table reads the same as the service's own list.
constexpr CommandNode kCommandNodes[] = {
    {L"ClientInterfaceServer", kClient},
    {L"UserLogin", kClient},
    {L"UserLoginByTicket", kClient},
    {L"UserLogout", kClient},
    {L"ModfyNickName", kClient},
    {L"GetUserFriends", kClient},
    {L"GetUserAccountByAccount", kClient},
    {L"SearchByNickAndProfile", kClient},
    {L"UserAdvancedSearch", kClient},
    {L"GetUserAccountByUserAccountId", kClient},
    {L"GetUserAccountByGameUserProfile", kClient},
    {L"UpdateUserInfo", kClient},
    {L"UpdateUserHeadImage", kClient},
    {L"GetDataPrompt", kClient},
    {L"AddFollowList", kClient},
    {L"Upload", L"ImageStorageServer"},
    {L"AddBlog", kClient},
    {L"GetServerDateTime", kClient},
    {L"GetCurrentUserQtidByEncrypt", kClient},
    {L"CheckNewData", kClient},
    {L"RecommendedAdd", kClient},
    {L"GetWYGameUserFriend", kClient},
    {L"GetUserGameProfilePageListByPrivacy", kClient},
    {L"GetGameUserProfileList", kClient},
    {L"UpdateGameProfile", kClient},
    {L"GetServerByProfile", kClient},
    {L"GetServerByCity", kClient},
    {L"GetServerByGuild", kClient},
    {L"GetServerByGameJob", kClient},
    {L"GetGameCharacterAreaList", kClient},
    {L"GetGameCharacterServerList", kClient},
    {L"WhenStart", L"DCServer"},
    {L"CommitShot", L"DCServer"},
    {L"IceServer", L"IceServer"},
};

// The temporary name a transfer writes to: "<target>.part-XXXXXX".
bool IsTransferTempName(const std::string& name) {
  size_t part = name.rfind(".part-");
  if (part == std::string::npos || name.size() - part != 12) return false;
  for (size_t i = part + 6; i < name.size(); ++i)
    if (!isalnum(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

bool IsServerConfigText(const std::string& text) {
  TiXmlDocument doc;
  return brx::util::ParseUntrustedXml(text, &doc) && doc.RootElement() &&
         doc.RootElement()->ValueStr() == "Node";
}

}  // namespace

int64_t OBLogicWeb_ServerConfig::DownloadServerConfig() {
  ServerConfigAddress address =
      GetServerConfigAddress(brx::util::GetEditionGlobalConfig(), StaticContentHostOverride());
  auto job = std::make_unique<JoberDesc_WebDownload>(
      [this](const JoberDescReturn_Web* r) { OnDownloaded(r); }, FromHandle{});
  job->request.command_name = L"DownloadServerConfig";
  job->url.base = address.base;
  job->url.path = address.path;
  // Fetched beside "gsc" and moved over it only once it reads as a server
  // configuration, so a broken download never costs the good file.
  job->file = manager_->ProgramFile(L"gsc.download");
  // A list of a few servers: anything near this is not one.
  job->max_bytes = kMaxServerConfigBytes;
  return manager_->PostJob(WebLogicManager::kDownloadWorker, std::make_unique<Jober_WebDownload>(),
                           std::move(job));
}

void OBLogicWeb_ServerConfig::OnDownloaded(const JoberDescReturn_Web* result) {
  if (!result->ok) return;
  std::string text;
  std::string downloaded = brx::util::WideToUtf8(result->text);
  std::wstring target = manager_->ProgramFile(L"gsc");
  bool readable = brx::util::ReadWholeFile(result->text, &text) && IsServerConfigText(text);
  bool stored = readable && rename(downloaded.c_str(), brx::util::WideToUtf8(target).c_str()) == 0;
  if (!stored) {
    if (!readable)
      LogWarnA("%s:%d:downloaded server configuration is not readable, kept the old one\n",
               "OnDownloaded", __LINE__);
    unlink(downloaded.c_str());
  }
  // Every download that arrives is followed by a read, as at start: of
  // "gsc.test" when it lies there, else of the new "gsc". Without
  // "gsc.test" a broken download is not followed by a read of the old
  // file, which would only pick its servers again.
  if (stored || TestOverridePresent()) LoadLocalConfig(target);
}

void OBLogicWeb_ServerConfig::RemoveLeftoverDownloads() {
  // What a download cut off by a crash or a kill left behind: the fetched
  // copy that was never read, and the transfer's temporary files.
  std::string folder = brx::util::WideToUtf8(manager_->program_folder());
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name == "gsc.download" || IsTransferTempName(name)) {
      std::error_code kind;
      if (it->is_regular_file(kind) || it->is_symlink(kind)) unlink(it->path().c_str());
    }
  }
}

bool OBLogicWeb_ServerConfig::TestOverridePresent() const {
  std::wstring test = manager_->ProgramFile(L"gsc.test");
  return brx::util::FileExists(test) && !brx::util::IsDirectory(test);
}

void OBLogicWeb_ServerConfig::LoadLocalConfig(const std::wstring& path) {
  std::wstring chosen = TestOverridePresent() ? manager_->ProgramFile(L"gsc.test") : path;
  std::string text;
  if (brx::util::ReadWholeFile(chosen, &text)) ParseServerConfig(text);
}

bool OBLogicWeb_ServerConfig::ParseServerConfig(const std::string& text) {
  TiXmlDocument doc;
  bool parsed = brx::util::ParseUntrustedXml(text, &doc);
  const TiXmlElement* root = doc.RootElement();
  if (!parsed || !root || root->ValueStr() != "Node") return false;
  for (const TiXmlElement* node = root->FirstChildElement(); node;
       node = node->NextSiblingElement()) {
    std::vector<std::wstring> found;
    const TiXmlElement* rule = node->FirstChildElement("Rule");
    const TiXmlElement* server = rule ? rule->FirstChildElement("Server") : nullptr;
    for (; server; server = server->NextSiblingElement())
      if (server->GetText() && *server->GetText())
        found.push_back(brx::util::AnsiToWide(server->GetText()));
    if (found.empty()) continue;
    // A fresh generator seeded with the tick count for each node: nodes read
    // within one tick pick the same index modulo their sizes.
    std::minstd_rand pick(manager_->clock().Now());
    servers_[brx::util::AnsiToWide(node->ValueStr())] = {found[pick() % found.size()]};
  }
  payload::SEVENT_RESPONSE_DownloadServerConfig event;
  manager_->chain()->FireEvent(&event);
  return true;
}

std::wstring OBLogicWeb_ServerConfig::GetServerUrlForCommand(const std::wstring& command) const {
  for (const CommandNode& row : kCommandNodes) {
    if (command != row.command) continue;
    auto it = servers_.find(row.node);
    if (it == servers_.end() || it->second.empty()) return std::wstring();
    return L"http://" + it->second.front();
  }
  return std::wstring();
}
