#include "client/core/game_config_set.h"

#include <tinyxml.h>

#include "client/core/config_keys.h"
#include "client/core/config_xml.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/edition.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"

using namespace config_keys;

namespace {

constexpr wchar_t kFallbackId[] = L"other";
constexpr wchar_t kDefaultGameName[] = L"翎岚社区";

// Paths in log lines are relative to the program folder, which is the
// current folder of the client.
std::string LogPath(const std::wstring& relative) { return brx::util::WideToUtf8(relative); }

}  // namespace

GameConfigSet::GameConfigSet(std::wstring program_folder)
    : GameConfigSet(std::move(program_folder), brx::util::GetEditionGameId()) {}

GameConfigSet::GameConfigSet(std::wstring program_folder, std::wstring current_game_id)
    : program_folder_(std::move(program_folder)),
      current_game_id_(std::move(current_game_id)),
      fallback_(std::make_unique<TiXmlDocument>()) {}

GameConfigSet::~GameConfigSet() = default;

std::wstring GameConfigSet::SkinFolder() const {
  return program_folder_ + L"/OBSkin/" + current_game_id_;
}
std::wstring GameConfigSet::GamesFolder() const { return program_folder_ + L"/games"; }
std::wstring GameConfigSet::FallbackFilePath() const { return GamesFolder() + L"/other.xml"; }

bool GameConfigSet::CheckSkinAndLoadGameConfigs(ConfigStore* owner) {
  if (current_game_id_.empty()) return false;
  if (!brx::util::IsDirectory(SkinFolder())) {
    LogWarnA("bad skin directory[%s]\n", LogPath(L"OBSkin/" + current_game_id_).c_str());
    return false;
  }
  owner_ = owner;
  LoadGameConfigs();
  return true;
}

void GameConfigSet::LoadGameConfigs() {
  games_.clear();
  fallback_ = std::make_unique<TiXmlDocument>();
  fallback_loaded_ = false;
  std::string text;
  // The file's own id and name stay in the document (the file is listed
  // and saved like every other game file); the fallback's fixed id and
  // name are given by the readers instead.
  if (brx::util::ReadWholeFile(FallbackFilePath(), &text) &&
      config_xml::ParseLegacy(fallback_.get(), text)) {
    fallback_loaded_ = true;
  } else {
    fallback_ = std::make_unique<TiXmlDocument>();
  }

  std::vector<std::wstring> files;
  brx::util::ListFilesRecursive(GamesFolder(), &files, L"xml");
  for (const std::wstring& path : files) {
    if (brx::util::GetParentPath(path) != GamesFolder()) continue;
    std::wstring relative = L"games/" + path.substr(GamesFolder().size() + 1);
    GameFile file{path, nullptr, nullptr};
    if (path == FallbackFilePath() && fallback_loaded_) {
      // The fallback already holds this file; a second copy would be saved
      // over the first and lose its changes.
      file.doc = fallback_.get();
    } else {
      if (!brx::util::ReadWholeFile(path, &text)) continue;
      file.owned = std::make_unique<TiXmlDocument>();
      if (!config_xml::ParseLegacy(file.owned.get(), text)) {
        LogWarnA("Parse [%s] failed!\n", LogPath(relative).c_str());
        continue;
      }
      file.doc = file.owned.get();
    }
    std::wstring id = config_xml::Get(file.doc, kGameId, L"");
    if (id.empty()) {
      LogWarnA("empty gameid in file[%s]\n", LogPath(relative).c_str());
      continue;
    }
    if (games_.count(id)) {
      LogWarnA("same gameid in file[%s]\n", LogPath(relative).c_str());
      continue;
    }
    games_.emplace(id, std::move(file));
  }
}

void GameConfigSet::Save() {
  // An empty fallback (no readable "other.xml" and nothing set since) would
  // only write an empty, unreadable file.
  if (fallback_->FirstChild()) {
    // An id-less file would stay unlisted (and be logged at every start):
    // it is saved as the game its readers already call it.
    bool listed = false;
    for (const auto& [id, file] : games_) listed = listed || file.doc == fallback_.get();
    if (!listed && !games_.count(kFallbackId) &&
        config_xml::Get(fallback_.get(), kGameId, L"").empty()) {
      config_xml::Set(fallback_.get(), kGameId, kFallbackId);
      if (config_xml::Get(fallback_.get(), kGameName, L"").empty())
        config_xml::Set(fallback_.get(), kGameName, kDefaultGameName);
      games_.emplace(kFallbackId, GameFile{FallbackFilePath(), nullptr, fallback_.get()});
      fallback_loaded_ = true;
    }
    config_xml::EnsureDeclaration(fallback_.get());
    config_xml::Save(*fallback_, FallbackFilePath());
  }
  for (auto& [id, file] : games_) {
    if (file.doc == fallback_.get()) continue;  // written above, once
    config_xml::EnsureDeclaration(file.doc);
    config_xml::Save(*file.doc, file.path);
  }
}

const TiXmlDocument* GameConfigSet::Find(const std::wstring& game_id) const {
  auto it = games_.find(game_id);
  return it == games_.end() ? fallback_.get() : it->second.doc;
}

TiXmlDocument* GameConfigSet::Find(const std::wstring& game_id) {
  auto it = games_.find(game_id);
  return it == games_.end() ? fallback_.get() : it->second.doc;
}

std::wstring GameConfigSet::GetGameConfigValue(const std::wstring& game_id, const std::wstring& key,
                                               const std::wstring& default_value) const {
  auto it = games_.find(game_id);
  if (it != games_.end()) return config_xml::Get(it->second.doc, key, default_value);
  if (fallback_loaded_ && key == kGameId) return kFallbackId;
  if (fallback_loaded_ && key == kGameName) return kDefaultGameName;
  return config_xml::Get(fallback_.get(), key, default_value);
}

void GameConfigSet::SetGameConfigValue(const std::wstring& game_id, const std::wstring& key,
                                       const std::wstring& value) {
  config_xml::Set(Find(game_id), key, value);
}

std::wstring GameConfigSet::GetKey(const std::wstring& game_id, const wchar_t* key,
                                   const wchar_t* default_value) const {
  return GetGameConfigValue(game_id, key, default_value);
}

std::wstring GameConfigSet::GetGameName(const std::wstring& game_id) const {
  return GetKey(game_id, kGameName, kDefaultGameName);
}

std::wstring GameConfigSet::GetOneShotKey(const std::wstring& game_id) const {
  return GetKey(game_id, kOneShotKey, L"HOME");
}
void GameConfigSet::SetOneShotKey(const std::wstring& game_id, const std::wstring& key_name) {
  SetGameConfigValue(game_id, kOneShotKey, key_name);
}
std::wstring GameConfigSet::GetManyShotKey(const std::wstring& game_id) const {
  return GetKey(game_id, kManyShotKey, L"END");
}
void GameConfigSet::SetManyShotKey(const std::wstring& game_id, const std::wstring& key_name) {
  SetGameConfigValue(game_id, kManyShotKey, key_name);
}
std::wstring GameConfigSet::GetRegionOneShotKey(const std::wstring& game_id) const {
  return GetKey(game_id, kRegionOneShotKey, L"INSERT");
}
void GameConfigSet::SetRegionOneShotKey(const std::wstring& game_id, const std::wstring& key_name) {
  SetGameConfigValue(game_id, kRegionOneShotKey, key_name);
}
std::wstring GameConfigSet::GetRegionManyShotKey(const std::wstring& game_id) const {
  return GetKey(game_id, kRegionManyShotKey, L"DELETE");
}
void GameConfigSet::SetRegionManyShotKey(const std::wstring& game_id,
                                         const std::wstring& key_name) {
  SetGameConfigValue(game_id, kRegionManyShotKey, key_name);
}
std::wstring GameConfigSet::GetShowHideKey(const std::wstring& game_id) const {
  return GetKey(game_id, kShowHideKey, L"F10");
}
void GameConfigSet::SetShowHideKey(const std::wstring& game_id, const std::wstring& key_name) {
  SetGameConfigValue(game_id, kShowHideKey, key_name);
}
std::wstring GameConfigSet::GetQuickPublishKey(const std::wstring& game_id) const {
  return GetKey(game_id, kQuickPublishKey, L"F1");
}
void GameConfigSet::SetQuickPublishKey(const std::wstring& game_id, const std::wstring& key_name) {
  SetGameConfigValue(game_id, kQuickPublishKey, key_name);
}

int GameConfigSet::GetManyShotDuration(const std::wstring& game_id) const {
  return config_xml::ParseInt(GetKey(game_id, kManyShotDuration, L"5"));
}
void GameConfigSet::SetManyShotDuration(const std::wstring& game_id, int duration) {
  SetGameConfigValue(game_id, kManyShotDuration, std::to_wstring(duration));
}
float GameConfigSet::GetManyShotInterval(const std::wstring& game_id) const {
  return static_cast<float>(config_xml::ParseDouble(GetKey(game_id, kManyShotInterval, L"0.3")));
}
void GameConfigSet::SetManyShotInterval(const std::wstring& game_id, float seconds) {
  SetGameConfigValue(game_id, kManyShotInterval, config_xml::FormatOneDecimal(seconds));
}
bool GameConfigSet::IsTimeShotEnabled(const std::wstring& game_id) const {
  return config_xml::ParseInt(GetKey(game_id, kTimeShotEnable, L"0")) == 1;
}
void GameConfigSet::SetTimeShotEnabled(const std::wstring& game_id, bool on) {
  SetGameConfigValue(game_id, kTimeShotEnable, on ? L"1" : L"0");
}
int GameConfigSet::GetTimeShotInterval(const std::wstring& game_id) const {
  return config_xml::ParseInt(GetKey(game_id, kTimeShotInterval, L"5"));
}
void GameConfigSet::SetTimeShotInterval(const std::wstring& game_id, int interval) {
  SetGameConfigValue(game_id, kTimeShotInterval, std::to_wstring(interval));
}
int GameConfigSet::GetQuality(const std::wstring& game_id) const {
  return config_xml::ParseInt(GetKey(game_id, kQuality, L"90"));
}
void GameConfigSet::SetQuality(const std::wstring& game_id, int quality) {
  SetGameConfigValue(game_id, kQuality, std::to_wstring(quality));
}
bool GameConfigSet::IsExitWithGame(const std::wstring& game_id) const {
  return config_xml::ParseInt(GetKey(game_id, kExitWithGame, L"1")) == 1;
}
void GameConfigSet::SetExitWithGame(const std::wstring& game_id, bool on) {
  SetGameConfigValue(game_id, kExitWithGame, on ? L"1" : L"0");
}

bool GameConfigSet::HasGame(const std::wstring& game_id) const {
  return games_.count(game_id) != 0;
}

void GameConfigSet::GetGameIds(std::vector<std::wstring>* ids) const {
  for (const auto& [id, file] : games_) ids->push_back(id);
}
